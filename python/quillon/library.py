"""A collection of help files as one linked library, converted on Dask's
distributed scheduler: the same library that ``hlp2html COLLECTION OUTDIR``
writes, byte for byte, for collections too big for one machine.

    quillon-library INPUT OUTDIR --scheduler tcp://scheduler:8786
    python3 -m quillon.library INPUT OUTDIR --workers 4     # a local cluster

INPUT is a folder, an archive or a disc image.  The client (this process)
walks the input twice: once to catalogue every file (help files, their
contents files, what is not a help file, what is damaged), once to read the
help files again and send each one's bytes to a worker as a task of its own.
Workers convert them into OUTDIR/SITE/, so OUTDIR must be one folder for the
client and every worker (a shared file system on a real cluster).  The
client writes OUTDIR/index.html and OUTDIR/manifest.json at the end.

Memory on the client stays bounded: only the help files in flight (a few per
worker) are held.  A second run keeps the sites that are complete and still
right, as hlp2html does.
"""

from __future__ import annotations

import argparse
import functools
import os
import sys
from dataclasses import dataclass, field
from typing import List, Optional, Sequence

from quillon import _library


@dataclass
class Report:
    """What became of a collection: the counts hlp2html prints."""

    inputs: int = 0
    help_files: int = 0
    converted: int = 0
    unchanged: int = 0
    failed: int = 0
    topics: int = 0
    others: int = 0
    failures: List[str] = field(default_factory=list)

    @property
    def any_failed(self) -> bool:
        return self.failed > 0


@functools.lru_cache(maxsize=4)
def _catalogue(catalogue_json: str) -> "_library.Catalogue":
    # One per worker process and collection: the scattered JSON is the same
    # object for every task of the run.
    return _library.Catalogue.from_json(catalogue_json)


def convert_task(catalogue_json: str, help_index: int, data: Optional[bytes], out_dir: str) -> str:
    """A worker's task: one help file into its site.  Its result as JSON."""
    return _library.convert(_catalogue(catalogue_json), help_index, data, out_dir)


def build_library(
    input: str,
    out_dir: str,
    client=None,
    *,
    scheduler: Optional[str] = None,
    workers: Optional[int] = None,
    in_flight: Optional[int] = None,
    max_file_bytes: int = 0,
    max_unpacked_bytes: int = 0,
    progress=None,
) -> Report:
    """Converts the collection at ``input`` into a library in ``out_dir``.

    ``client`` is a ``distributed.Client``; without one, a client of the
    scheduler at ``scheduler``, or of a local cluster of ``workers`` worker
    processes (default: one per core), is made for the run.  ``in_flight``
    bounds the help files sent and not yet converted (default: two per
    worker thread).  ``progress(done, total)`` is called as files finish.
    """
    import distributed

    own_cluster = own_client = None
    if client is None:
        if scheduler is not None:
            client = own_client = distributed.Client(scheduler)
        else:
            own_cluster = distributed.LocalCluster(
                n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True
            )
            client = own_client = distributed.Client(own_cluster)
    try:
        return _build(client, str(input), str(out_dir), in_flight, max_file_bytes, max_unpacked_bytes, progress)
    finally:
        if own_client is not None:
            own_client.close()
        if own_cluster is not None:
            own_cluster.close()


def _build(client, input, out_dir, in_flight, max_file_bytes, max_unpacked_bytes, progress) -> Report:
    import distributed

    limits = dict(max_file_bytes=max_file_bytes, max_unpacked_bytes=max_unpacked_bytes)
    catalogue = _library.scan(input, **limits)
    os.makedirs(out_dir, exist_ok=True)
    count = catalogue.help_count
    results: List[Optional[str]] = [None] * count
    pending = []
    for index in range(count):
        kept = _library.kept_site(catalogue, index, out_dir)
        if kept is not None:
            results[index] = kept
        else:
            pending.append(index)
    done = count - len(pending)
    if progress:
        progress(done, count)

    if pending:
        catalogue_json = catalogue.to_json()
        [shared] = client.scatter([catalogue_json], broadcast=True)
        if in_flight is None:
            threads = sum(client.nthreads().values()) or 1
            in_flight = 2 * threads
        running = distributed.as_completed()
        tasks = {}

        def finish(future):
            nonlocal done
            results[tasks.pop(future)] = future.result()
            done += 1
            if progress:
                progress(done, count)

        def send(index, data):
            while running.count() >= in_flight:
                finish(next(running))
            future = client.submit(convert_task, shared, index, data, out_dir, pure=False)
            tasks[future] = index
            running.add(future)
            return True

        _library.read_help_files(catalogue, input, pending, send, **limits)
        for future in running:
            finish(future)

    unread = _library.unread_result()
    summary = _library.write_library_pages(
        catalogue, [r if r is not None else unread for r in results], input, out_dir
    )
    return Report(**summary)


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="quillon-library",
        description="Converts a folder, archive or disc image of help files into one linked library "
        "on Dask's distributed scheduler (the library hlp2html writes).",
    )
    parser.add_argument("input", help="a folder, an archive or a disc image")
    parser.add_argument("out_dir", help="the library's folder; shared by the client and every worker")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", help="the scheduler's address (tcp://host:8786)")
    where.add_argument("--workers", type=int, help="worker processes of a local cluster (default: one per core)")
    parser.add_argument("--in-flight", type=int, help="help files sent and not yet converted (default: 2 per worker)")
    parser.add_argument("--max-file-bytes", type=int, default=0, help="bytes of one file taken from an archive")
    parser.add_argument("--max-unpacked-bytes", type=int, default=0, help="bytes unpacked from archives in all")
    parser.add_argument("-q", "--quiet", action="store_true", help="no summary on standard error")
    args = parser.parse_args(argv)
    for name in ("workers", "in_flight"):
        if getattr(args, name) is not None and getattr(args, name) < 1:
            parser.error(f"--{name.replace('_', '-')} needs a positive number")
    for name in ("max_file_bytes", "max_unpacked_bytes"):
        if getattr(args, name) < 0:
            parser.error(f"--{name.replace('_', '-')} needs a positive number")

    shown = sys.stderr.isatty()

    def progress(done, total):
        if shown:
            print(f"\rquillon-library: {done} of {total} help files", end="", file=sys.stderr, flush=True)

    try:
        report = build_library(
            args.input,
            args.out_dir,
            scheduler=args.scheduler,
            workers=args.workers,
            in_flight=args.in_flight,
            max_file_bytes=args.max_file_bytes,
            max_unpacked_bytes=args.max_unpacked_bytes,
            progress=progress,
        )
    except (OSError, ValueError) as error:
        print(f"quillon-library: {args.input}: {error}", file=sys.stderr)
        return 1
    if shown:
        print("\r" + " " * 60 + "\r", end="", file=sys.stderr)
    if not args.quiet:
        print(
            f"quillon-library: {args.input}: {report.inputs} inputs, {report.help_files} help files: "
            f"{report.converted} converted, {report.unchanged} unchanged, {report.failed} failed; "
            f"{report.topics} topics; {report.others} other files",
            file=sys.stderr,
        )
        for failure in report.failures:
            print(f"quillon-library: failed: {failure}", file=sys.stderr)
        print(f"quillon-library: open {args.out_dir}/index.html", file=sys.stderr)
    return 1 if report.any_failed else 0


if __name__ == "__main__":
    sys.exit(main())
