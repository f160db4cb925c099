"""Separate HelpFile objects read in separate threads at once give what they
give one after another; one object shared by threads is read by one at a
time and stays whole."""

import concurrent.futures
import threading

import quillon
from conftest import CORPUS, HALIBUT, SAMPLE


def files():
    paths = [SAMPLE] + sorted(HALIBUT.glob("*.hlp"))
    if CORPUS is not None:
        paths += sorted((CORPUS / "hlp").iterdir())[:8]
    return paths


def everything(path):
    with quillon.open(path) as help_file:
        return (
            help_file.titles(),
            help_file.contexts(),
            help_file.keywords(),
            [(t.offset, t.title, t.text, t.hotspots) for t in help_file.topics()],
            [t.rtf() for t in help_file.topics()][:20],
        )


def test_separate_files_in_threads():
    paths = files() * 2
    alone = [everything(path) for path in paths]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        together = list(pool.map(everything, paths))
    assert together == alone


def test_one_file_shared_by_threads():
    with quillon.open(SAMPLE) as help_file:
        expected = [(t.offset, t.text) for t in help_file.topics()]
        offsets = [offset for offset, _ in expected]
        failures = []
        barrier = threading.Barrier(4)

        def work():
            barrier.wait()
            for _ in range(5):
                if [(t.offset, t.text) for t in help_file.topics()] != expected:
                    failures.append("topics")
                if [help_file.topic_at(o).offset for o in offsets] != offsets:
                    failures.append("topic_at")
                help_file.topic_at(offsets[1]).html()

        threads = [threading.Thread(target=work) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert failures == []


def test_iterators_left_unfinished():
    # Each iterator reads ahead on a thread of its own; dropping it halfway
    # (or never) ends that thread, at the latest when the interpreter ends.
    with quillon.open(SAMPLE) as help_file:
        for _ in range(20):
            iterator = help_file.topics()
            next(iterator)
        kept = help_file.topics()
        next(kept)
    assert help_file.closed
