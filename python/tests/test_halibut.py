"""The help files halibut writes during the build, read through the binding
and held against their Halibut sources: the headings are the titles, the
index terms are the keywords of the sections they stand in, and every \\k
cross reference is a hotspot that leads to the section it names."""

import re

import pytest

import quillon
from conftest import SOURCE, halibut_file

SOURCES = sorted((SOURCE / "tests" / "data" / "halibut").glob("*.but")) + [SOURCE / "samples" / "quillon-guide.but"]

HEADING = re.compile(r"^\\([CHSA])\{([^}]*)\}\s*(.*)$")
INDEX_TERM = re.compile(r"\\[iI]\{([^}]*)\}")
CROSS_REFERENCE = re.compile(r"\\k\{([^}]*)\}")


def read_source(path):
    """The sections of a Halibut source in order: (id, title as halibut
    numbers it, index terms, cross references)."""
    sections = []
    numbers = {"C": 0, "H": 0, "S": 0, "A": 0}
    for line in path.read_text().splitlines():
        heading = HEADING.match(line)
        if heading:
            kind, ident, text = heading.groups()
            if kind == "C":
                numbers.update(C=numbers["C"] + 1, H=0, S=0)
                title = f"Chapter {numbers['C']}: {text}"
            elif kind == "A":
                numbers.update(A=numbers["A"] + 1, H=0, S=0)
                title = f"Appendix {chr(ord('A') + numbers['A'] - 1)}: {text}"
            elif kind == "H":
                numbers.update(H=numbers["H"] + 1, S=0)
                title = f"Section {numbers['C']}.{numbers['H']}: {text}"
            else:
                numbers["S"] += 1
                title = f"Section {numbers['C']}.{numbers['H']}.{numbers['S']}: {text}"
            sections.append({"id": ident, "title": title, "terms": set(), "references": []})
        elif sections:
            sections[-1]["terms"].update(INDEX_TERM.findall(line))
            sections[-1]["references"].extend(CROSS_REFERENCE.findall(line))
    return sections


@pytest.fixture(params=SOURCES, ids=lambda path: path.stem)
def source_and_file(request):
    path = halibut_file(request.param.stem + ".hlp")
    with quillon.open(path) as help_file:
        yield read_source(request.param), help_file


def test_headings_are_the_titles(source_and_file):
    sections, help_file = source_and_file
    titled = [topic.title for topic in help_file.topics() if topic.title]
    assert titled == ["Contents"] + [s["title"] for s in sections]
    assert [t.title for t in help_file.titles() if t.title] == titled


def test_index_terms_are_the_keywords_of_their_sections(source_and_file):
    sections, help_file = source_and_file
    offsets = {topic.title: topic.offset for topic in help_file.topics()}
    expected = {}
    for section in sections:
        for term in section["terms"]:
            expected.setdefault(term, set()).add(offsets[section["title"]])
    index = {entry.keyword: set(entry.topics) for entry in help_file.keywords()}
    assert index == expected
    # The topics list the same keywords themselves.
    for topic in help_file.topics():
        listed = {k.keyword for k in topic.keywords if k.list == "K"}
        assert listed == {term for term, places in expected.items() if topic.offset in places}, topic.title


def test_cross_references_lead_to_their_sections(source_and_file):
    sections, help_file = source_and_file
    by_id = {s["id"]: s["title"] for s in sections}
    topics = {topic.title: topic for topic in help_file.topics()}
    checked = 0
    for section in sections:
        targets = [help_file.topic_at(h.target).title for h in topics[section["title"]].hotspots
                   if h.kind == "jump" and h.target is not None]
        for reference in section["references"]:
            assert by_id[reference] in targets, (section["title"], reference)
            checked += 1
    assert checked == sum(len(s["references"]) for s in sections)
    # Every jump of the file leads to a topic it holds, found again by its
    # context string.
    for topic in topics.values():
        for hotspot in topic.hotspots:
            assert hotspot.kind == "jump" and hotspot.target is not None
            assert help_file.find(hotspot.context).offset == help_file.topic_at(hotspot.target).offset
            assert quillon.hash(hotspot.context) == hotspot.hash
