#!/usr/bin/python3
"""Tag listings of many pages on a Dask cluster, one listing file per page.

usage: examples/dask_listing.py [options] PAGES OUTPUT

PAGES is a folder (its files matching --glob, not its subfolders) or a text file of page
paths, one per line (blank lines and lines beginning with # are skipped). OUTPUT is the folder
the listings are written to: a page's listing is named after the page, its last extension
replaced by .tsv (pages/a01.html gives OUTPUT/a01.tsv), and holds byte for byte what
ToolMqlInputH (ToolMqlInputX with --kind xml) writes for the page with the same options. An
existing listing is replaced; the listing of a page that fails is removed, so that no old
listing stands for it.

A page that cannot be read or listed is a failure record in the summary file (default
OUTPUT/failures.txt, UTF-8): one line per page, TAB-separated: "failed", the page, the
message code (1021 a structure fault, 1003 the page unreadable, 1002 the listing not
written, 0 the page's task failed, its worker lost for one), row, column and the message. A page whose
characters were replaced is listed and gets a "warning" line (5023). The counts are printed
at the end.

Exit codes: 0 the batch ran to its end, whether or not some pages failed (see the summary
and the counts; with --strict such a run ends with 3); 1 the run itself failed (the cluster
not reached, a worker without the marquill module, the page list or the summary not
readable or writable); 2 a usage fault (including two pages that would write the same
listing).

Without --scheduler a local cluster of --workers processes is started. With --scheduler
tcp://HOST:8786 the batch runs on that cluster; every worker needs the marquill module
importable (PYTHONPATH) and must reach the pages and OUTPUT at the same paths as this
machine (a shared file system): workers read the pages and write the listings themselves.
"""

import argparse
import fnmatch
import logging
import math
import os
import sys
import time

SUMMARY_NAME = "failures.txt"
# Pages per task: enough that scheduling costs little beside listing, few enough that the
# workers share the last tasks evenly.
LARGEST_CHUNK = 100


def list_pages(jobs, options):
    """Runs on a worker: lists (page, listing) pairs; returns (listed, records, problems)."""
    import marquill

    listed = records = 0
    problems = []
    for page, target in jobs:
        try:
            with open(page, "rb") as file:
                data = file.read()
        except OSError as error:
            problems.append(("failed", page, 1003, 0, 0, "the page cannot be read: %s" % error.strerror))
            _remove(target)
            continue
        warnings = []
        try:
            text = marquill.listing(data, warnings=warnings, **options)
        except marquill.Error as error:
            problems.append(("failed", page, error.code, error.row, error.column, error.message))
            _remove(target)
            continue
        try:
            with open(target, "wb") as file:
                file.write(text)
        except OSError as error:
            problems.append(("failed", page, 1002, 0, 0, "the listing cannot be written: %s" % error.strerror))
            _remove(target)
            continue
        listed += 1
        records += text.count(b"\n")
        problems.extend(("warning", page, w.code, 0, 0, w.message) for w in warnings)
    return listed, records, problems


def _remove(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass
    except OSError:
        pass  # reported by the failure record already written for the page


def marquill_importable():
    """Runs on every worker before the batch."""
    import marquill

    return marquill.version()


class RunFailed(Exception):
    pass


class UsageFault(Exception):
    pass


def read_page_names(source, pattern):
    if os.path.isdir(source):
        names = sorted(name for name in os.listdir(source) if fnmatch.fnmatchcase(name, pattern))
        return [os.path.join(source, name) for name in names if os.path.isfile(os.path.join(source, name))]
    try:
        with open(source, encoding="utf-8") as file:
            lines = [line.rstrip("\r\n") for line in file]
    except (OSError, UnicodeDecodeError) as error:
        raise RunFailed("the page list %s cannot be read: %s" % (source, error)) from error
    return [line for line in lines if line.strip() and not line.startswith("#")]


def plan_jobs(pages, output):
    """(page, listing) pairs with absolute paths, for workers in other folders."""
    jobs = []
    taken = {}
    for page in pages:
        name = os.path.splitext(os.path.basename(page))[0] + ".tsv"
        if name in taken:
            raise UsageFault("%s and %s would both be listed into %s" % (taken[name], page, name))
        taken[name] = page
        jobs.append((os.path.abspath(page), os.path.join(os.path.abspath(output), name)))
    return jobs


def chunked(jobs, workers):
    size = max(1, min(LARGEST_CHUNK, math.ceil(len(jobs) / (workers * 4))))
    return [jobs[at : at + size] for at in range(0, len(jobs), size)]


def run_batch(client, jobs, options, workers):
    """Every job listed; a chunk whose task failed (its worker lost, say) is tried again page
    by page, so that only the page that brings a task down is a failure."""
    from distributed import as_completed

    listed = records = 0
    problems = []
    chunks = chunked(jobs, workers)
    futures = client.map(list_pages, chunks, options=options, pure=False)
    pending = {future.key: chunk for future, chunk in zip(futures, chunks)}
    retried = set()
    done = as_completed(futures)
    for future in done:
        chunk = pending.pop(future.key)
        try:
            chunk_listed, chunk_records, chunk_problems = future.result()
        except Exception as error:  # noqa: BLE001 - a lost task is a page's failure, not the run's
            if len(chunk) > 1:
                for job in chunk:
                    single = client.submit(list_pages, [job], options=options, pure=False)
                    pending[single.key] = [job]
                    retried.add(single.key)
                    done.add(single)
            else:
                problems.append(("failed", chunk[0][0], 0, 0, 0, "the task failed: %s" % error))
            continue
        listed += chunk_listed
        records += chunk_records
        problems.extend(chunk_problems)
    order = {job[0]: number for number, job in enumerate(jobs)}
    problems.sort(key=lambda problem: order[problem[1]])
    return listed, records, problems


def as_given(problems, jobs, pages):
    """The problems with each page named as the folder or list named it."""
    given = {job[0]: page for job, page in zip(jobs, pages)}
    return [(status, given[page], *rest) for status, page, *rest in problems]


def write_summary(path, problems):
    def field(value):
        return str(value).replace("\t", " ").replace("\r", " ").replace("\n", " ")

    try:
        with open(path, "w", encoding="utf-8", errors="surrogateescape", newline="\n") as file:
            file.write("status\tpage\tcode\trow\tcolumn\tmessage\n")
            for problem in problems:
                file.write("\t".join(field(value) for value in problem) + "\n")
    except OSError as error:
        raise RunFailed("the summary %s cannot be written: %s" % (path, error.strerror)) from error


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        description="Tag listings of many pages on a Dask cluster, one listing file per page.",
        epilog="Exit codes: 0 the batch ran to its end (failed pages are in the summary), 1 the run "
        "failed, 2 a usage fault, 3 pages failed and --strict was given.",
    )
    parser.add_argument("pages", help="a folder of pages, or a file of page paths, one per line")
    parser.add_argument("output", help="the folder for the listings (created)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster (default 2)")
    where.add_argument("--scheduler", help="the address of a running cluster's scheduler, e.g. tcp://host:8786")
    parser.add_argument("--kind", choices=["html", "xml"], default="html", type=str.lower)
    parser.add_argument("--parser", choices=["classic", "standard"], default="classic", type=str.lower,
                        help="standard: the tools' /s")
    parser.add_argument("--code", choices=["utf8", "utf16", "sjis", "euc", "jis"], type=str.lower,
                        help="the pages' code: the tools' /e (default: decided per page)")
    parser.add_argument("--utf8", action="store_true", help="listings in UTF-8: the tools' /u")
    parser.add_argument("--glob", default="*", help="the names taken from a folder (default: every file)")
    parser.add_argument("--summary", help="the failure summary (default: OUTPUT/%s)" % SUMMARY_NAME)
    parser.add_argument("--strict", action="store_true", help="end with exit code 3 when a page failed")
    args = parser.parse_args(argv)
    if args.workers < 1:
        parser.error("--workers must be at least 1")
    return args


def main(argv=None):
    args = parse_arguments(argv)
    started = time.monotonic()
    try:
        pages = read_page_names(args.pages, args.glob)
        jobs = plan_jobs(pages, args.output)
    except UsageFault as fault:
        print("dask_listing: %s" % fault, file=sys.stderr)
        return 2
    except RunFailed as failure:
        print("dask_listing: %s" % failure, file=sys.stderr)
        return 1
    summary = args.summary or os.path.join(args.output, SUMMARY_NAME)
    try:
        os.makedirs(args.output, exist_ok=True)
    except OSError as error:
        print("dask_listing: the folder %s cannot be made: %s" % (args.output, error.strerror), file=sys.stderr)
        return 1
    options = {"kind": args.kind, "parser": args.parser, "code": args.code, "utf8": args.utf8}

    import dask
    from distributed import Client, LocalCluster

    cluster = None
    try:
        if args.scheduler:
            client = Client(args.scheduler, timeout="30s")
        else:
            # Workers started from a fork server come up and go down in about half the time
            # of spawned ones, which import everything anew; a method set by the user stands.
            if "DASK_DISTRIBUTED__WORKER__MULTIPROCESSING_METHOD" not in os.environ:
                dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"})
            # Dask starts its workers with MALLOC_TRIM_THRESHOLD_=65536: memory freed is given
            # back to the system at once, and a listing's work areas, taken and freed for every
            # page, are faulted in anew every time (five times the page faults, twice the system
            # time). The allocator's own rule keeps them; a value the user set stands.
            if "MALLOC_TRIM_THRESHOLD_" not in os.environ:
                environ = dask.config.get("distributed.nanny.pre-spawn-environ")
                dask.config.set({"distributed.nanny.pre-spawn-environ":
                                 {k: v for k, v in environ.items() if k != "MALLOC_TRIM_THRESHOLD_"}})
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                                   dashboard_address=None, silence_logs=logging.ERROR)
            client = Client(cluster)
    except (OSError, TimeoutError) as error:
        print("dask_listing: the cluster cannot be reached: %s" % error, file=sys.stderr)
        return 1
    try:
        try:
            client.run(marquill_importable)
        except ImportError as error:
            print("dask_listing: a worker cannot import marquill (%s); set PYTHONPATH to the folder of "
                  "the module on every worker" % error, file=sys.stderr)
            return 1
        workers = max(1, len(client.scheduler_info()["workers"]))
        ready = time.monotonic()
        listed, records, problems = run_batch(client, jobs, options, workers)
        finished = time.monotonic()
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    try:
        write_summary(summary, as_given(problems, jobs, pages))
    except RunFailed as failure:
        print("dask_listing: %s" % failure, file=sys.stderr)
        return 1
    failed = sum(1 for problem in problems if problem[0] == "failed")
    warned = len(problems) - failed
    listing_s = finished - ready
    print("pages %d, listed %d, failed %d, warnings %d, records %d" % (len(jobs), listed, failed, warned, records))
    print("workers %d; %.2f s in all, %.2f s listing (%.0f pages/s); summary %s"
          % (workers, time.monotonic() - started, listing_s, len(jobs) / listing_s if listing_s > 0 else 0, summary))
    return 3 if args.strict and failed else 0


if __name__ == "__main__":
    sys.exit(main())
