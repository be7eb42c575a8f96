"""What the Python tests share: the programs CTest names, the listing tools run on a page,
listings parsed into records, and the generated pages."""

import atexit
import importlib.util
import os
import shutil
import subprocess
import tempfile

SOURCE_DIR = os.environ.get("MQ_SOURCE_DIR") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL_H = os.environ.get("MQ_TOOL_H")
TOOL_X = os.environ.get("MQ_TOOL_X")
TOOL_RECAST = os.environ.get("MQ_TOOL_RECAST")
BENCH_GEN = os.environ.get("MQ_BENCH_GEN")

# The listings write TAB, LF and CR inside a value so.
ESCAPES = {"\t": "[09]", "\n": "[0A]", "\r": "[0D]"}


def missing_programs():
    """The reason to skip, when CTest did not name the programs."""
    names = [name for name in ("MQ_TOOL_H", "MQ_TOOL_X", "MQ_TOOL_RECAST", "MQ_BENCH_GEN") if not os.environ.get(name)]
    return "run through CTest: %s not set" % ", ".join(names) if names else None


_scratch_root = None


def scratch_dir():
    """A folder without blanks (the programs split their command line at blanks), removed
    when the tests end."""
    global _scratch_root
    if _scratch_root is None:
        _scratch_root = tempfile.mkdtemp(prefix="mq-python-")
        atexit.register(shutil.rmtree, _scratch_root, True)
    return tempfile.mkdtemp(dir=_scratch_root)


def run_tool(tool, page, options=(), folder=None):
    """Runs a listing tool (or ToolRecast) on page bytes; (exit code, output bytes or None,
    the report without the program's name)."""
    folder = folder or scratch_dir()
    source = os.path.join(folder, "in.dat")
    target = os.path.join(folder, "out.dat")
    with open(source, "wb") as file:
        file.write(page)
    if os.path.exists(target):
        os.remove(target)  # the tool would ask before replacing it
    done = subprocess.run([tool, source, target, *options], stdin=subprocess.DEVNULL, capture_output=True,
                          env=dict(os.environ, LC_ALL="C.UTF-8"), check=False)
    output = None
    if os.path.exists(target):
        with open(target, "rb") as file:
            output = file.read()
    report = (done.stdout + done.stderr).decode("utf-8", "replace").strip()
    name = os.path.basename(tool) + ": "
    return done.returncode, output, report[len(name):] if report.startswith(name) else report


def escaped(text):
    return "".join(ESCAPES.get(c, c) for c in text)


def records_of_listing(listing):
    """The (file, object, sequence, path, value) tuples of a UTF-8 listing with TAB fields."""
    records = []
    for line in listing.decode("utf-8").split("\r\n")[:-1]:
        file, number, sequence, path, value = line.split("\t")
        records.append((int(file), int(number), int(sequence), path, value))
    return records


def records_as_listed(records):
    """Records with TAB, LF and CR in values written as the listings write them."""
    return [(f, o, s, p, escaped(v)) for f, o, s, p, v in records]


def make_pages(count, folder, size_kb=20):
    spec = importlib.util.spec_from_file_location("make_pages", os.path.join(SOURCE_DIR, "bench", "make-pages.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module.make_pages(count, folder, size_kb, BENCH_GEN)
