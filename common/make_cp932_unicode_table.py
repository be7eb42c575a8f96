#!/usr/bin/env python3
"""Writes common/cp932_unicode_table.cpp: the Unicode code point of every two-byte CP932
code, as the machine's iconv reads it (0 where it reads none).

Re-run (needs Python 3 and the C library's iconv with its CP932 converter, as glibc has it):

    python3 common/make_cp932_unicode_table.py > common/cp932_unicode_table.cpp

Nothing asks iconv at run time; the single bytes are arithmetic and live in the code.
"""

import ctypes
import ctypes.util
import sys

libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
libc.iconv_open.restype = ctypes.c_void_p
libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.iconv.restype = ctypes.c_size_t
libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                       ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
FAILED = ctypes.c_size_t(-1).value
handle = libc.iconv_open(b"UTF-32BE", b"CP932")
if handle in (None, ctypes.c_void_p(-1).value):
    sys.exit("iconv has no converter from CP932")


def code_point(data):
    libc.iconv(handle, None, None, None, None)
    source = ctypes.create_string_buffer(data, len(data))
    in_pointer = ctypes.c_char_p(ctypes.addressof(source))
    in_left = ctypes.c_size_t(len(data))
    target = ctypes.create_string_buffer(16)
    out_pointer = ctypes.c_char_p(ctypes.addressof(target))
    out_left = ctypes.c_size_t(16)
    if libc.iconv(handle, ctypes.byref(in_pointer), ctypes.byref(in_left), ctypes.byref(out_pointer),
                  ctypes.byref(out_left)) == FAILED or in_left.value != 0 or 16 - out_left.value != 4:
        return 0
    return int.from_bytes(target.raw[:4], "big")


LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
points = []
for lead in LEADS:
    for trail in range(0x40, 0xFD):
        point = 0 if trail == 0x7F else code_point(bytes([lead, trail]))
        if point > 0xFFFF:
            sys.exit(f"{lead:02X}{trail:02X} reads beyond the basic plane")
        points.append(point)

print("// Written by common/make_cp932_unicode_table.py from the machine's iconv; do not edit.")
print('#include "common/cp932_unicode_table.h"')
print()
print("namespace mq {")
print()
print("// Rows of 16 per line: lead bytes 81-9F then E0-FC, each with trail bytes 40-FC (189).")
print(f"const uint16_t kCp932Unicode[{len(points)}] = {{")
for at in range(0, len(points), 16):
    lead = LEADS[at // 189]
    trail = 0x40 + at % 189
    row = ", ".join(f"0x{p:04X}" for p in points[at:at + 16])
    print(f"    {row},  // {lead:02X}{trail:02X}")
print("};")
print()
print("}  // namespace mq")
