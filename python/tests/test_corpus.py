"""Every real help file of the shared corpus through the binding, held
against the C tools and the corpus's own listings: titles as lustav lists
them, contexts as daskol does, topic texts as hlp2rtf -t prints them, and
pictures whose PNG a real decoder reads at the size of their DIB."""

import io
import struct

import pytest

import quillon
from conftest import corpus_files, expected, needs_pictures, run_program

HELP_FILES = corpus_files("hlp")


def decode(data, help_file):
    """Bytes in the help file's code page as the document layer gives them."""
    return data.decode(f"cp{help_file.code_page}", "replace")


@pytest.mark.parametrize("path", HELP_FILES)
def test_titles_are_lustav_s(path):
    with quillon.open(path) as help_file:
        listing = "".join(f'TopicOffset:{t.offset:08x}\tTitle:"{t.title}"\n' for t in help_file.titles())
        assert listing == decode(expected(path, "lustav"), help_file)
        assert listing == decode(run_program("lustav", path), help_file)


@pytest.mark.parametrize("path", HELP_FILES)
def test_contexts_are_daskol_s(path):
    # daskol lists in signed hash order; the binding's hashes are unsigned.
    def signed(value):
        return value - (1 << 32) if value >= 1 << 31 else value

    with quillon.open(path) as help_file:
        contexts = sorted(help_file.contexts(), key=lambda c: (signed(c.hash), c.offset))
        listing = "".join(f"Hash:0x{c.hash:08x} TopicOffset:0x{c.offset:08x} String:{c.context}\n" for c in contexts)
        assert listing == expected(path, "daskol").decode("ascii")
        assert listing == run_program("daskol", path).decode("ascii")
        assert [c.hash for c in help_file.contexts()] == sorted(c.hash for c in contexts)


def as_hlp2rtf_text(help_file):
    """The topics as hlp2rtf -t prints them: a line "== TITLE" on a line of
    its own at each titled topic and each untitled one of the title index
    (a 3.0 file's untitled popups have none), then the topic's text."""
    index = {t.offset: t.title for t in help_file.titles()}
    out = ""
    for topic in help_file.topics():
        if topic.title or topic.offset in index:
            if out and not out.endswith("\n"):
                out += "\n"
            out += f"== {topic.title or index[topic.offset]}\n"
        out += topic.text
    return out


@pytest.mark.parametrize("path", HELP_FILES)
def test_topic_texts_are_hlp2rtf_s(path):
    # hlp2rtf prints the bytes of Symbol-font text as they are.
    with quillon.open(path, symbol_fonts=False) as help_file:
        assert as_hlp2rtf_text(help_file) == decode(run_program("hlp2rtf", "-t", path), help_file)
        topics = list(help_file.topics())
        # Topics in file order, each found again where it begins.
        assert [t.offset for t in topics] == sorted(t.offset for t in topics)
        for topic in topics[:: max(1, len(topics) // 20)]:
            again = help_file.topic_at(topic.offset)
            assert (again.offset, again.title, again.text) == (topic.offset, topic.title, topic.text)


def dib_size(dib):
    """Width and height from a DIB's header (BITMAPINFOHEADER or the old
    BITMAPCOREHEADER); the height is negative for top-down rows."""
    (header,) = struct.unpack_from("<I", dib)
    if header == 12:
        width, height = struct.unpack_from("<HH", dib, 4)
    else:
        width, height = struct.unpack_from("<ii", dib, 4)
    return width, abs(height)


@needs_pictures
@pytest.mark.parametrize("path", HELP_FILES)
def test_pictures_decode_as_png(path):
    image = pytest.importorskip("PIL.Image")
    with quillon.open(path) as help_file:
        names = help_file.picture_names()
        pictures = list(help_file.pictures())
        assert [p.name for p in pictures] == names
        for picture in pictures:
            png = picture.png()
            with image.open(io.BytesIO(png)) as decoded:
                decoded.load()  # every row, through the real decoder
                assert decoded.format == "PNG"
                assert decoded.size == (picture.width, picture.height), picture.name
            if picture.kind == "bitmap":
                assert dib_size(picture.dib) == (picture.width, picture.height), picture.name
                assert picture.metafile is None and picture.svg() is None
            else:
                assert picture.metafile[:4] == b"\xd7\xcd\xc6\x9a"  # a placeable metafile
                svg = picture.svg()
                assert svg is None or (b"<svg" in svg and b'xmlns="http://www.w3.org/2000/svg"' in svg)
            for hotspot in picture.hotspots:
                assert 0 <= hotspot.left <= hotspot.right <= picture.width
                assert 0 <= hotspot.top <= hotspot.bottom <= picture.height
                if hotspot.target is not None:
                    help_file.topic_at(hotspot.target)
        # The pictures the topics show are the file's.
        shown = {name for topic in help_file.topics() for name in topic.picture_names}
        assert shown <= set(names)
        # The same image outside the help file.
        for picture in pictures[:3]:
            assert quillon.shg_to_png(help_file.read(picture.name)) == picture.png()


@needs_pictures
@pytest.mark.parametrize("path", corpus_files("shg"))
def test_corpus_pictures_convert(path):
    image = pytest.importorskip("PIL.Image")
    png = quillon.shg_to_png(path.read_bytes())
    with image.open(io.BytesIO(png)) as decoded:
        decoded.load()
        assert decoded.width > 0 and decoded.height > 0
