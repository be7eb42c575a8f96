"""The Dask example on a local cluster of two workers: 2,000 generated pages listed, every
listing byte for byte what ToolMqlInputH writes for its page, bad pages failure records that
do not end the batch."""

import concurrent.futures
import os
import shutil
import subprocess
import sys
import unittest

import support

EXAMPLE = os.path.join(support.SOURCE_DIR, "examples", "dask_listing.py")
PAGE_COUNT = 2000

# Pages the classic scanner refuses, and one it lists with characters replaced.
BAD_PAGES = {
    "bad-slash.html": b"<HTML><BODY><P>a<BR />b</P></BODY></HTML>\r\n",
    "bad-late.html": b"<HTML><BODY>\r\n" + b"<P>text</P>\r\n" * 50 + b'<P>last</P class="x">\r\n</BODY></HTML>\r\n',
}
WARNED_PAGE = ("emoji.html", "<HTML><BODY><P>絵文字 😀</P></BODY></HTML>\r\n".encode())


def run_example(*arguments):
    return subprocess.run([sys.executable, EXAMPLE, *arguments], capture_output=True, text=True, check=False,
                          stdin=subprocess.DEVNULL, timeout=240)


def summary_lines(path):
    with open(path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    return lines[0], [line.split("\t") for line in lines[1:]]


class DaskListingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reason = support.missing_programs()
        if reason:
            raise unittest.SkipTest(reason)
        cls.folder = support.scratch_dir()
        cls.pages = os.path.join(cls.folder, "pages")
        support.make_pages(PAGE_COUNT, cls.pages, 20)
        for name, content in [*BAD_PAGES.items(), WARNED_PAGE]:
            with open(os.path.join(cls.pages, name), "wb") as file:
                file.write(content)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def tool_listing(self, name):
        """ToolMqlInputH on one page, into a listing name that does not exist yet."""
        folder = os.path.join(self.folder, "tool", name)
        os.makedirs(folder)
        with open(os.path.join(self.pages, name), "rb") as file:
            return support.run_tool(support.TOOL_H, file.read(), folder=folder)

    def test_every_listing_is_the_tools_and_bad_pages_are_failure_records(self):
        output = os.path.join(self.folder, "out")
        done = run_example(self.pages, output, "--workers", "2")
        self.assertEqual(done.returncode, 0, done.stderr)
        total = PAGE_COUNT + len(BAD_PAGES) + 1
        self.assertIn("pages %d, listed %d, failed %d, warnings 1, records " % (total, total - len(BAD_PAGES),
                                                                                  len(BAD_PAGES)), done.stdout)
        self.assertIn("workers 2;", done.stdout)

        names = sorted(os.listdir(self.pages))
        self.assertEqual(len(names), total)
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            expected = dict(zip(names, pool.map(self.tool_listing, names)))
        header, lines = summary_lines(os.path.join(output, "failures.txt"))
        self.assertEqual(header, "status\tpage\tcode\trow\tcolumn\tmessage")
        problems = {os.path.basename(line[1]): line for line in lines}
        self.assertEqual(len(problems), len(lines), "one line per page")
        compared = 0
        for name in names:
            status, listing, report = expected[name]
            listed = os.path.join(output, os.path.splitext(name)[0] + ".tsv")
            if name in BAD_PAGES:
                self.assertNotEqual(status, 0, name)
                self.assertFalse(os.path.exists(listed), name)
                _, _, code, row, column, message = problems[name]
                self.assertEqual(message, report)
                self.assertEqual(code, "1021")
                self.assertIn("ROWS = [%s] COLS = [%s]" % (row, column), report)
                continue
            self.assertEqual(status, 0, report)
            with open(listed, "rb") as file:
                self.assertEqual(file.read(), listing, name)
            compared += 1
        self.assertEqual(compared, PAGE_COUNT + 1)
        self.assertEqual(problems[WARNED_PAGE[0]][:3], ["warning", os.path.join(self.pages, WARNED_PAGE[0]), "5023"])
        self.assertEqual(sorted(problems), sorted([*BAD_PAGES, WARNED_PAGE[0]]))

    def test_a_page_list_with_a_missing_page_in_strict_mode(self):
        output = os.path.join(self.folder, "strict")
        os.makedirs(output)
        pages = [os.path.join(self.pages, "page%05d.html" % n) for n in range(1, 11)]
        missing = os.path.join(self.pages, "gone.html")
        stale = os.path.join(output, "gone.tsv")
        with open(stale, "wb") as file:
            file.write(b"an old listing\r\n")
        # A name no file can have brings its task down: the pages sharing the task are listed
        # one by one after it.
        impossible = os.path.join(self.pages, "nul\0.html")
        page_list = os.path.join(self.folder, "pages.txt")
        with open(page_list, "w", encoding="utf-8") as file:
            file.write("# ten pages and two that cannot be read\n\n" +
                       "\n".join(pages[:5] + [missing] + pages[5:8] + [impossible] + pages[8:]) + "\n")
        summary = os.path.join(self.folder, "strict-summary.tsv")
        done = run_example(page_list, output, "--workers", "1", "--summary", summary, "--strict", "--utf8")
        self.assertEqual(done.returncode, 3, done.stderr)
        self.assertIn("pages 12, listed 10, failed 2, warnings 0", done.stdout)
        _, lines = summary_lines(summary)
        self.assertEqual([line[:3] for line in lines], [["failed", missing, "1003"], ["failed", impossible, "0"]])
        self.assertFalse(os.path.exists(stale), "no old listing stands for a page that failed")
        self.assertEqual(len(os.listdir(output)), 10)
        with open(pages[7], "rb") as file:
            status, listing, report = support.run_tool(support.TOOL_H, file.read(), ["/u"])
        self.assertEqual(status, 0, report)
        with open(os.path.join(output, "page00008.tsv"), "rb") as file:
            self.assertEqual(file.read(), listing)

    def test_two_pages_for_one_listing_are_refused_before_the_run(self):
        page_list = os.path.join(self.folder, "twice.txt")
        with open(page_list, "w", encoding="utf-8") as file:
            file.write(os.path.join(self.pages, "page00001.html") + "\n/elsewhere/page00001.htm\n")
        done = run_example(page_list, os.path.join(self.folder, "never"))
        self.assertEqual(done.returncode, 2)
        self.assertIn("page00001.tsv", done.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "never")))


if __name__ == "__main__":
    unittest.main()
