"""Times the binding reading every topic and its text, as bench_topics_bench
times the document layer doing the same (ReadAll and PlainText, opening
included): run both on the same files and compare.

    PYTHONPATH=build/python python3 python/bench/topics.py [FILE ...]

Without files it takes the largest files of the shared corpus.  Prints the
best and the median of several rounds per file, in milliseconds.
"""

import os
import pathlib
import statistics
import sys
import time

import quillon

CORPUS = pathlib.Path(os.environ.get("QUILLON_CORPUS", pathlib.Path(__file__).resolve().parents[3] / "shared" / "corpus"))
DEFAULT = ["eudora-win__EUDORA.HLP", "AsyncPro__Apro.hlp", "oemdisplay-tandy__DDAG31WH.HLP"]


def read_all(path):
    topics = characters = 0
    with quillon.open(path) as help_file:
        for topic in help_file.topics():
            characters += len(topic.text)
            topics += 1
    return topics, characters


def main(paths):
    for path in paths:
        read_all(path)  # warm the page cache and the module
        rounds = []
        deadline = time.perf_counter() + 3
        while len(rounds) < 10 or (time.perf_counter() < deadline and len(rounds) < 200):
            start = time.perf_counter()
            topics, characters = read_all(path)
            rounds.append((time.perf_counter() - start) * 1000)
        print(f"{pathlib.Path(path).name}: {topics} topics, {characters} characters: "
              f"best {min(rounds):.2f} ms, median {statistics.median(rounds):.2f} ms ({len(rounds)} rounds)")


if __name__ == "__main__":
    main(sys.argv[1:] or [CORPUS / "hlp" / name for name in DEFAULT])
