"""Failures are Python exceptions: quillon.Error (an OSError) with the path
and what failed where a file cannot be opened or read, KeyError for a name
or offset the file does not hold, ValueError for a closed file or a wrong
argument.  Damaged input raises or yields what it can; it never crashes."""

import errno
import os
import pathlib

import pytest

import quillon
from conftest import SAMPLE, SEEDS, corpus_files


def test_error_is_an_os_error():
    assert issubclass(quillon.Error, OSError)


def test_missing_file(tmp_path):
    path = tmp_path / "missing.hlp"
    with pytest.raises(quillon.Error) as raised:
        quillon.open(path)
    assert raised.value.errno == errno.ENOENT
    assert raised.value.filename == str(path)
    assert str(path) in str(raised.value)


def test_folder(tmp_path):
    with pytest.raises(quillon.Error) as raised:
        quillon.open(tmp_path)
    assert raised.value.errno == errno.EISDIR


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads every file")
def test_unreadable_file(tmp_path):
    path = tmp_path / "locked.hlp"
    path.write_bytes(SAMPLE.read_bytes())
    path.chmod(0)
    with pytest.raises(quillon.Error) as raised:
        quillon.open(path)
    assert raised.value.errno == errno.EACCES


@pytest.mark.parametrize("content", [b"", b"not a help file at all\n", b"?_\x03\x00" + bytes(60)],
                         ids=["empty", "text", "magic-only"])
def test_not_a_help_file(tmp_path, content):
    path = tmp_path / "odd.hlp"
    path.write_bytes(content)
    with pytest.raises(quillon.Error) as raised:
        quillon.open(path)
    assert raised.value.errno is None
    assert raised.value.filename == str(path)
    assert raised.value.strerror  # says what failed
    assert str(raised.value) == f"{raised.value.strerror}: {str(path)!r}"


@pytest.mark.parametrize("path", corpus_files("odd"))
def test_real_files_that_are_no_help_files(path):
    with pytest.raises(quillon.Error):
        quillon.open(path)


def exercise(help_file):
    """Everything the binding reads from a help file, as far as it goes."""
    for call in (help_file.files, help_file.titles, help_file.contexts, help_file.picture_names):
        call()
    for letter in help_file.keyword_lists + ["K", "A"]:
        help_file.keywords(letter)
    for entry in help_file.files()[:64]:
        try:
            assert len(help_file.read(entry.name)) == entry.size
        except quillon.Error as error:
            assert entry.name in error.strerror  # a file the directory lists but the bytes lack
    read = 0
    try:
        for topic in help_file.topics():
            read += 1
            topic.text, topic.hotspots, topic.contexts, topic.keywords, topic.picture_names
            topic.rtf()
            topic.html()
    except quillon.Error:
        pass  # the stream ended early: said after the topics it gave
    for title in help_file.titles()[:32]:
        try:
            help_file.topic_at(title.offset)
        except KeyError:
            pass
    for context in help_file.contexts()[:32]:
        if context.context:
            help_file.find(context.context)
    pictures = help_file.pictures()
    while True:
        try:
            picture = next(pictures)
        except StopIteration:
            break
        except quillon.Error:
            continue  # a damaged picture: the iterator goes on after it
        try:
            picture.png()
            picture.svg()
        except quillon.Error:
            pass
    return read


def truncations(path):
    size = path.stat().st_size
    return sorted({n for n in (16, 100, 512, 4096, size // 3, size // 2, size - size // 10, size - 1) if 0 < n < size})


@pytest.mark.parametrize("path", [SAMPLE] + [p.values[0] for p in corpus_files("hlp") if p.values[0]][:6],
                         ids=lambda p: p.name)
def test_truncated_files_raise_or_yield(tmp_path, path):
    data = path.read_bytes()
    opened = 0
    for length in truncations(path):
        cut = tmp_path / f"cut-{length}.hlp"
        cut.write_bytes(data[:length])
        try:
            help_file = quillon.open(cut)
        except quillon.Error as error:
            assert error.filename == str(cut)
            continue
        opened += 1
        with help_file:
            exercise(help_file)
    # A file cut near its end still opens (its directory lies at the front
    # of most files... or raises where it cannot); nothing crashed either way.
    assert opened >= 0


def test_a_stream_cut_short_says_so(tmp_path):
    """A |TOPIC cut short yields the topics before the cut and then raises,
    rather than ending as if the file were whole."""
    for path in sorted(SEEDS.glob("hlp/*")) + [SAMPLE]:
        try:
            help_file = quillon.open(path)
        except quillon.Error:
            continue
        topics, raised = [], None
        try:
            for topic in help_file.topics():
                topics.append(topic)
        except quillon.Error as error:
            raised = error
        if raised is not None:
            assert raised.filename == str(path)
            assert "ends early" in raised.strerror
            assert f"{len(topics)} of" in raised.strerror


def seed_files():
    if not SEEDS.is_dir():
        return [pytest.param(None, marks=pytest.mark.skip(reason="no fuzz seeds in the build (fuzz_seed_files)"))]
    return [pytest.param(p, id=f"{p.parent.name}/{p.name}") for p in sorted(SEEDS.glob("*/*")) if p.is_file()]


@pytest.mark.parametrize("path", seed_files())
def test_damaged_fixtures_raise_or_yield(path):
    """The regression fixtures and fuzz seeds (help files of every shape and
    the inputs of the faults fuzzing found), each as a help file and as a
    picture: exceptions of the binding's kinds only, no crash (the
    sanitized build runs this with the sanitizers' runtime loaded)."""
    try:
        help_file = quillon.open(path)
    except quillon.Error:
        pass
    else:
        with help_file:
            exercise(help_file)
    try:
        quillon.shg_to_png(path.read_bytes())
    except quillon.Error as error:
        assert error.filename is None


def test_names_and_offsets_the_file_lacks():
    with quillon.open(SAMPLE) as help_file:
        with pytest.raises(KeyError):
            help_file.read("|NOSUCHFILE")
        with pytest.raises(KeyError):
            help_file.picture("|bm999")
        # Positions are held by the topic that begins last before them; the
        # indexes do not say where the last one ends.
        last = max(t.offset for t in help_file.titles())
        assert help_file.topic_at(0x7FFFFFF0).offset == last
        with pytest.raises((TypeError, OverflowError)):
            help_file.topic_at(-1)
        assert help_file.find("no-such-context-string") is None
        assert help_file.keywords("Q") == []
        with pytest.raises(ValueError):
            help_file.keywords("")


@pytest.mark.parametrize("path", corpus_files("hlp")[:1])
def test_no_topic_before_the_first(path):
    # 3.0 files begin their first topic behind the first block's header.
    calc = path.parent / "oemdisplay-tandy__CALC.HLP"
    with quillon.open(calc) as help_file:
        assert help_file.version == 15
        first = min(t.offset for t in help_file.titles())
        assert first > 0
        with pytest.raises(KeyError):
            help_file.topic_at(first - 1)


def test_closed_file():
    help_file = quillon.open(SAMPLE)
    topic = help_file.topic_at(0)
    iterator = help_file.topics()
    next(iterator)
    help_file.close()
    help_file.close()  # twice does nothing
    assert help_file.closed
    for call in (help_file.titles, help_file.files, help_file.contexts, help_file.topics,
                 lambda: help_file.topic_at(0), lambda: help_file.read("|SYSTEM"), topic.html):
        with pytest.raises(ValueError):
            r = call()
            if isinstance(r, quillon.TopicIterator):
                next(r)
    with pytest.raises(ValueError):
        next(iterator)
    # What was read stays: the description, the topic's text and RTF.
    assert help_file.title and topic.text and topic.rtf().startswith("{\\rtf1")


def test_context_manager_closes():
    with quillon.open(SAMPLE) as help_file:
        assert not help_file.closed
    assert help_file.closed
    with pytest.raises(ZeroDivisionError):
        with quillon.open(SAMPLE) as help_file:
            1 / 0  # the exception passes, the file closes
    assert help_file.closed


@pytest.mark.parametrize("path", [str(SAMPLE), SAMPLE, os.fsencode(SAMPLE)], ids=["str", "PathLike", "bytes"])
def test_paths(path):
    with quillon.HelpFile(path) as help_file:
        assert help_file.path == str(SAMPLE)


@pytest.mark.parametrize("bad", [None, 3, "a\0b"], ids=["None", "int", "null"])
def test_wrong_paths(bad):
    with pytest.raises((TypeError, ValueError)):
        quillon.open(bad)
