"""The context hash and its reversal: hash() is the value help files store
(unsigned, as their indexes and daskol show it), context_string() a string
that hashes back to it."""

import pytest

import quillon
from conftest import CORPUS, SAMPLE, corpus_files, expected


@pytest.mark.parametrize("path", corpus_files("hlp"))
def test_daskol_strings_hash_to_their_values(path):
    # Each line of the corpus's daskol listing pairs a hash with a string the
    # listing's maker found for it: an independent table of hash values.
    for line in expected(path, "daskol").decode("ascii").splitlines():
        fields = dict(field.split(":", 1) for field in line.split(" "))
        value = int(fields["Hash"], 16)
        assert quillon.hash(fields["String"]) == value, line
        assert quillon.hash(quillon.context_string(value)) == value


@pytest.mark.parametrize(
    "one, other",
    [("Contents", "CONTENTS"), ("a.b_c", "A.B_C"), ("top", "t o-p!"), ("x", "x\u00e9"), ("Top", b"top")],
    ids=["case", "dot-underscore", "others-dropped", "beyond-ascii-dropped", "bytes"],
)
def test_what_counts_in_a_context_string(one, other):
    assert quillon.hash(one) == quillon.hash(other)


def test_signed_and_unsigned_are_one_hash():
    value = quillon.hash("zzzzzzzz")
    assert 0 <= value < 1 << 32
    signed = value - (1 << 32) if value >= 1 << 31 else value
    assert quillon.context_string(value) == quillon.context_string(signed)
    assert quillon.hash("") == 0


@pytest.mark.parametrize("bad", [1 << 32, -(1 << 31) - 1, 1 << 80])
def test_numbers_beyond_32_bits(bad):
    with pytest.raises(ValueError):
        quillon.context_string(bad)


def test_wrong_arguments():
    with pytest.raises(TypeError):
        quillon.hash(3)
    with pytest.raises(ValueError):
        quillon.hash("a\0b")


def test_round_trip_through_a_file():
    with quillon.open(SAMPLE) as help_file:
        for context in help_file.contexts():
            assert quillon.hash(context.context) == context.hash
            assert help_file.find(context.context).offset == help_file.topic_at(context.offset).offset
            named = help_file.topic_at(context.offset)
            assert context.hash in {c.hash for c in named.contexts}
