"""Help files the test builders make (tests/browser/fixtures.cpp): a picture
whose hotspots jump and pop up, and a file whose every text is an attempt at
markup.  The binding resolves the picture's hotspots to their topics and
keeps the hostile text text."""

import subprocess

import pytest

import quillon
from conftest import BIN, needs_pictures


@pytest.fixture(scope="module")
def built(tmp_path_factory):
    program = BIN / "browser_fixtures"
    if not program.exists():
        pytest.skip("browser_fixtures is built with hlp2html in the plain build only")
    out = tmp_path_factory.mktemp("built")
    subprocess.run([str(program), str(out)], check=True)
    return out


@needs_pictures
def test_picture_hotspots_lead_to_their_topics(built):
    with quillon.open(built / "pictures.hlp") as help_file:
        (picture,) = list(help_file.pictures())
        assert (picture.kind, picture.width, picture.height) == ("bitmap", 64, 32)
        jump, popup = picture.hotspots
        assert (jump.kind, jump.context, jump.left, jump.right) == ("jump", "second", 0, 32)
        # The builder writes the popup's code as 0x04E2, which marlet's table
        # of hotspot codes does not hold (it has 0x00E2 and 0x04E6): its kind
        # is not checked here, its target is.
        assert (popup.context, popup.left, popup.right) == ("note", 32, 64)
        assert help_file.topic_at(jump.target).title == "Second"
        assert help_file.topic_at(popup.target).text == "A note in a popup.\n"
        assert jump.hash == quillon.hash("second")
        first = help_file.find("pictures")
        assert first.picture_names == [picture.name]
        (word,) = first.hotspots
        assert (word.kind, word.text, word.target) == ("popup", "note", popup.target)


def test_hostile_text_stays_text(built):
    script = "<script>alert(1)</script>"
    with quillon.open(built / "hostile.hlp") as help_file:
        assert help_file.title == script
        (topic,) = list(help_file.topics())
        assert script in topic.text
        fragment = topic.html()
        assert "<script" not in fragment and "&lt;script&gt;" in fragment
        assert 'href="javascript' not in fragment.replace(" ", "")
        (macro,) = topic.hotspots
        assert macro.kind == "macro" and macro.url is None  # no web address: it stays a macro
        rtf = topic.rtf()
        assert "HYPERLINK" not in rtf
