#!/usr/bin/env python3
"""Writes common/known_code_tables.cpp: the parts of the CP932 / EUC-JP-MS / JIS mappings
that are not arithmetic, as the machine's iconv maps them.

Re-run (needs Python 3 and the C library's iconv with the CP932 and EUC-JP-MS converters,
as glibc has them):

    python3 common/make_known_code_tables.py > common/known_code_tables.cpp

It asks iconv, through the C library, about every candidate code: CP932 -> UTF-8 -> CP932
(which codes are characters and which code each character comes back as), CP932 -> EUC-JP-MS
and EUC-JP-MS -> CP932. It stops with an error when the answers do not have the shape the
conversion code relies on. Nothing asks iconv at run time.
"""

import ctypes
import ctypes.util
import sys

_libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
_libc.iconv_open.restype = ctypes.c_void_p
_libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libc.iconv.restype = ctypes.c_size_t
_libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                        ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
_FAILED = ctypes.c_size_t(-1).value


class Converter:
    """One iconv conversion; calling it converts a whole character or gives None."""

    def __init__(self, source, target):
        self.handle = _libc.iconv_open(target.encode(), source.encode())
        if self.handle in (None, ctypes.c_void_p(-1).value):
            sys.exit(f"iconv has no converter from {source} to {target}")

    def __call__(self, data):
        _libc.iconv(self.handle, None, None, None, None)
        source = ctypes.create_string_buffer(data, len(data))
        in_pointer = ctypes.c_char_p(ctypes.addressof(source))
        in_left = ctypes.c_size_t(len(data))
        target = ctypes.create_string_buffer(64)
        out_pointer = ctypes.c_char_p(ctypes.addressof(target))
        out_left = ctypes.c_size_t(64)
        if _libc.iconv(self.handle, ctypes.byref(in_pointer), ctypes.byref(in_left), ctypes.byref(out_pointer),
                       ctypes.byref(out_left)) == _FAILED or in_left.value != 0:
            return None
        if _libc.iconv(self.handle, None, None, ctypes.byref(out_pointer), ctypes.byref(out_left)) == _FAILED:
            return None
        return target.raw[:64 - out_left.value]


to_utf8 = Converter("CP932", "UTF-8")
from_utf8 = Converter("UTF-8", "CP932")
to_euc = Converter("CP932", "EUC-JP-MS")
from_euc = Converter("EUC-JP-MS", "CP932")

LEADS = list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD))
TRAILS = list(range(0x40, 0x7F)) + list(range(0x80, 0xFD))


def code_of(pair):
    return pair[0] << 8 | pair[1]


def jis_of(code):
    """The standard Shift-JIS to JIS row and cell arithmetic, as 0xRRCC."""
    first, second = code >> 8, code & 0xFF
    row = 2 * (first - (0x71 if first <= 0x9F else 0xB1)) + 1
    low = second - 1 if second >= 0x80 else second
    if low >= 0x9E:
        return (row + 1) << 8 | (low - 0x7D)
    return row << 8 | (low - 0x1F)


def fail(text):
    sys.exit("unexpected iconv answer: " + text)


characters = {}  # code -> the code it comes back as from UTF-8
for lead in LEADS:
    for trail in TRAILS:
        pair = bytes([lead, trail])
        utf8 = to_utf8(pair)
        if utf8 is None:
            continue
        back = from_utf8(utf8)
        if back is None or len(back) != 2:
            fail(f"{pair.hex()} does not come back as a two-byte code")
        characters[code_of(pair)] = code_of(back)

duplicates = sorted((code, preferred) for code, preferred in characters.items() if code != preferred)
for code, preferred in duplicates:
    if characters.get(preferred) != preferred:
        fail(f"the preferred code {preferred:04X} of {code:04X} is not its own preferred code")

IBM_FIRST, IBM_LAST = 0xFA40, 0xFC4B
ibm_codes = [code for code in sorted(characters) if IBM_FIRST <= code <= IBM_LAST]
expected_ibm = [code_of(bytes([lead, trail])) for lead in (0xFA, 0xFB, 0xFC) for trail in TRAILS]
expected_ibm = [code for code in expected_ibm if code <= IBM_LAST]
if ibm_codes != expected_ibm:
    fail("the IBM extensions do not fill FA40-FC4B")

ibm_euc = []
for code in ibm_codes:
    euc = to_euc(bytes([code >> 8, code & 0xFF]))
    if euc is None or len(euc) not in (2, 3) or (len(euc) == 3 and euc[0] != 0x8F):
        fail(f"{code:04X} has no EUC code")
    ibm_euc.append(int.from_bytes(euc, "big"))

# The JIS form of a character: its own rows when it has a code outside the IBM extensions,
# else the NEC-selected twin (rows 89-92) of its preferred code.
nec_twin = {}
for code, preferred in duplicates:
    if 0xED40 <= code <= 0xEEFC:
        nec_twin[preferred] = code
ibm_jis = []
for code in ibm_codes:
    preferred = characters[code]
    if IBM_FIRST <= preferred <= IBM_LAST:
        if preferred not in nec_twin:
            fail(f"{code:04X} has no NEC-selected twin")
        preferred = nec_twin[preferred]
    ibm_jis.append(jis_of(preferred))

supplementary = []  # EUC 8F rows below the user-defined area that read as the code page
for first in range(0xA1, 0xF5):
    for second in range(0xA1, 0xFF):
        cp932 = from_euc(bytes([0x8F, first, second]))
        if cp932 is None:
            continue
        if len(cp932) != 2 or code_of(cp932) not in characters or characters[code_of(cp932)] != code_of(cp932):
            fail(f"8F {first:02X} {second:02X} does not read as a preferred two-byte code")
        supplementary.append((first << 8 | second, code_of(cp932)))

assigned_rows = []
for lead in LEADS:
    words = [0, 0, 0]
    for index, trail in enumerate(TRAILS):
        if code_of(bytes([lead, trail])) in characters:
            words[index // 64] |= 1 << (index % 64)
    assigned_rows.append(words)

out = sys.stdout
out.write("""\
// Generated by common/make_known_code_tables.py from the machine's iconv (CP932, EUC-JP-MS);
// do not edit by hand. Each table's length must be the one the header gives, or the build
// fails; the mappings are held against iconv by tests/known_code_conversion_test.cpp.
#include "common/known_code_tables.h"

#include <iterator>

namespace mq::known_tables {

// clang-format off
""")
out.write(f"""
// Which two-byte codes are characters: per first byte (81-9F, E0-FC) the bits of the second
// bytes 40-7E, 80-FC in that order, 64 to a word. {len(characters)} characters.
const uint64_t kAssigned[][3] = {{
""")
for lead, words in zip(LEADS, assigned_rows):
    out.write("    {" + ", ".join(f"0x{word:016X}" for word in words) + f"}},  // {lead:02X}\n")
out.write("};\n")


def write_rows(entries, per_row, format_entry, first_code):
    for start in range(0, len(entries), per_row):
        row = entries[start:start + per_row]
        out.write("    " + ", ".join(format_entry(entry) for entry in row) + f",  // {first_code(start)}\n")


out.write(f"""
// The {len(duplicates)} codes that hold a character the code page holds at another code too,
// by code, with the code that the character comes back as.
const DuplicateCode kDuplicates[] = {{
""")
write_rows(duplicates, 8, lambda entry: f"{{0x{entry[0]:04X}, 0x{entry[1]:04X}}}", lambda i: f"{duplicates[i][0]:04X}")
out.write("};\n")

out.write("""
// The EUC code of each IBM extension FA40-FC4B, in code order: two bytes, or 8F and two.
const uint32_t kIbmEuc[] = {
""")
write_rows(ibm_euc, 8, lambda euc: f"0x{euc:06X}", lambda i: f"{ibm_codes[i]:04X}")
out.write("};\n")

out.write("""
// The JIS row and cell of each IBM extension FA40-FC4B, in code order: the NEC-selected twin
// (rows 89-92) or, for a character that JIS X 0208 or row 13 holds, that code.
const uint16_t kIbmJis[] = {
""")
write_rows(ibm_jis, 8, lambda jis: f"0x{jis:04X}", lambda i: f"{ibm_codes[i]:04X}")
out.write("};\n")

out.write(f"""
// The EUC three-byte codes 8F A1A1-8F F4FE that read as a code page character, by the two
// bytes after 8F, with that character's code.
const SupplementaryCode kSupplementary[] = {{
""")
write_rows(supplementary, 8, lambda entry: f"{{0x{entry[0]:04X}, 0x{entry[1]:04X}}}",
           lambda i: f"8F {supplementary[i][0]:04X}")
out.write("};\n")

out.write("""// clang-format on

static_assert(std::size(kAssigned) == kLeadCount);
static_assert(std::size(kDuplicates) == kDuplicateCount);
static_assert(std::size(kIbmEuc) == kIbmCount);
static_assert(std::size(kIbmJis) == kIbmCount);
static_assert(std::size(kSupplementary) == kSupplementaryCount);

}  // namespace mq::known_tables
""")
print(f"{len(characters)} two-byte characters, {len(duplicates)} duplicates, {len(ibm_codes)} IBM extensions, "
      f"{len(supplementary)} supplementary EUC codes", file=sys.stderr)
