#!/usr/bin/env python3
"""Writes COUNT Shift-JIS HTML pages of about SIZE KB each into FOLDER, for the batch runs.

usage: bench/make-pages.py [--size KB] [--generator PATH] COUNT FOLDER

The pages are cut from the benchmark document (mq_bench_gen): each one is the document's
head, as many of its sections as come closest to SIZE KB (a section is 0.2 to 40 KB), and the
closing tags, so every page is different, well formed for both parsers and the same bytes on every
machine. They are named page00001.html, page00002.html, ... (at least five digits).
"""

import argparse
import os
import subprocess
import sys
import tempfile

SECTION = b"<!-- section "
CLOSING = b"</BODY>\r\n</HTML>\r\n"
MEGABYTE = 1000000


def cut_document(document):
    """The head and the sections of a benchmark document."""
    first = document.index(SECTION)
    body_end = document.rindex(b"</BODY>")
    starts = []
    at = first
    while at != -1 and at < body_end:
        starts.append(at)
        at = document.find(SECTION, at + 1, body_end)
    ends = starts[1:] + [body_end]
    return document[:first], [document[s:e] for s, e in zip(starts, ends)]


def pages_from(head, sections, count, size):
    """count pages of about size bytes, or None when the sections run out."""
    pages = []
    at = 0
    for _ in range(count):
        parts = [head]
        length = len(head) + len(CLOSING)
        while length < size:
            if at == len(sections):
                return None
            # A section that would overshoot by more than it fills is left for the next page.
            grown = length + len(sections[at])
            if len(parts) > 1 and grown - size > size - length:
                break
            parts.append(sections[at])
            length = grown
            at += 1
        parts.append(CLOSING)
        pages.append(b"".join(parts))
    return pages


def make_pages(count, folder, size_kb=20, generator=None):
    """Writes the pages and returns their paths."""
    if generator is None:
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        generator = os.path.join(root, "build", "bin", "mq_bench_gen")
    size = size_kb * 1000
    # Room for a page's overshoot: a section is 11 KB in the middle.
    megabytes = max(1, (count * (size + 6000)) // MEGABYTE + 1)
    os.makedirs(folder, exist_ok=True)
    while True:
        with tempfile.TemporaryDirectory(dir=folder) as scratch:
            path = os.path.join(scratch, "document.html")
            subprocess.run([generator, str(megabytes), path], check=True)
            with open(path, "rb") as file:
                document = file.read()
        pages = pages_from(*cut_document(document), count, size)
        if pages is not None:
            break
        megabytes *= 2
    width = max(5, len(str(count)))
    paths = []
    for number, page in enumerate(pages, 1):
        path = os.path.join(folder, "page%0*d.html" % (width, number))
        with open(path, "wb") as file:
            file.write(page)
        paths.append(path)
    return paths


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=int, default=20, help="the size of a page in KB (1000 bytes), about")
    parser.add_argument("--generator", help="mq_bench_gen (default: build/bin/mq_bench_gen)")
    parser.add_argument("count", type=int)
    parser.add_argument("folder")
    args = parser.parse_args()
    if args.count < 1 or args.size < 1:
        parser.error("COUNT and SIZE must be above 0")
    paths = make_pages(args.count, args.folder, args.size, args.generator)
    total = sum(os.path.getsize(path) for path in paths)
    print("%d pages, %.1f KB on average, in %s" % (len(paths), total / len(paths) / 1000, args.folder))


if __name__ == "__main__":
    sys.exit(main())
