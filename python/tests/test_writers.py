"""Topic.rtf() read back by a real RTF reader (unrtf) and Topic.html(): the
same text as Topic.text, letters beyond ASCII included (FlexDSL's Russian
is the test that matters: the reader must see Cyrillic, not Latin-1)."""

import html
import re
import shutil
import subprocess

import pytest

import quillon
from conftest import CORPUS, HALIBUT, SAMPLE

TAG = re.compile(r"<[^>]*>")
BREAK = re.compile(r"<(br|/?p|/?td|/?tr|/?table)\b[^>]*>", re.I)


def markup_text(markup):
    """The text of HTML: breaks, paragraphs and cells as blanks, other tags
    as nothing, references resolved."""
    return html.unescape(TAG.sub("", BREAK.sub(" ", markup)))


def folded(text):
    return " ".join(text.replace("\xa0", " ").split())


def unrtf_text(tmp_path, rtf):
    """What unrtf reads: its HTML output (its text output shows "?" for every
    character beyond ASCII), without the markup."""
    path = tmp_path / "topic.rtf"
    path.write_text(rtf, encoding="ascii")  # all beyond ASCII is escaped
    out = subprocess.run(["unrtf", "--html", str(path)], check=True, capture_output=True).stdout.decode()
    body = out[out.index("<body>"):] if "<body>" in out else out
    return folded(markup_text(body))


def sources():
    paths = [SAMPLE] + sorted(HALIBUT.glob("*.hlp"))
    if CORPUS is not None:
        paths += [CORPUS / "hlp" / name for name in
                  ("FlexDSL__HELP.HLP", "eudora-win__EUDORA.HLP", "oemdisplay-tandy__PIFEDIT.HLP",
                   "oemdisplay-tandy__DDAG31WH.HLP", "AsyncPro__AproFAQ.hlp")]
    return [pytest.param(path, id=path.name) for path in paths]


@pytest.mark.skipif(shutil.which("unrtf") is None, reason="unrtf is not installed (scripts/deps.sh installs it)")
@pytest.mark.parametrize("path", sources())
def test_rtf_reads_back_as_the_text(tmp_path, path):
    with quillon.open(path) as help_file:
        topics = [t for t in help_file.topics() if t.text.strip()]
        for topic in topics[:: max(1, len(topics) // 12)]:
            rtf = topic.rtf()
            assert rtf.isascii()
            assert f"\\ansicpg{help_file.code_page}" in rtf
            read = unrtf_text(tmp_path, rtf)
            # Macro buttons are "[label]" in RTF; plain text leaves them out.
            for hotspot in topic.hotspots:
                if hotspot.kind == "macro" and hotspot.text and f"[{hotspot.text}]" not in topic.text:
                    read = read.replace(f"[{hotspot.text}]", " ", 1)
            assert folded(read) == folded(topic.text), topic


@pytest.mark.skipif(CORPUS is None, reason="no shared corpus of real files on this machine")
def test_cyrillic_reaches_the_reader(tmp_path):
    if shutil.which("unrtf") is None:
        pytest.skip("unrtf is not installed")
    with quillon.open(CORPUS / "hlp" / "FlexDSL__HELP.HLP") as help_file:
        assert help_file.code_page == 1251
        topic = next(iter(help_file.topics()))
        assert "Справка" in topic.text
        assert "Справка" in unrtf_text(tmp_path, topic.rtf())


@pytest.mark.parametrize("path", sources())
def test_html_holds_the_text(path):
    with quillon.open(path) as help_file:
        for topic in list(help_file.topics())[:10]:
            fragment = topic.html()
            assert fragment.count("<main>") == 1
            # The fragment's text is the topic's, popovers aside.
            main = fragment[fragment.index("<main>"):fragment.index("</main>")]
            header = fragment[:fragment.index("<main>")]
            shown = folded(markup_text(header + main))
            assert shown == folded(topic.text)
            for hotspot in topic.hotspots:
                if hotspot.kind == "jump" and hotspot.target is not None and hotspot.text.strip():
                    assert 'href="' in fragment
