"""Where the binding's tests find their data: the build tree and the shared
corpus, named by the environment ctest sets (python/tests/CMakeLists.txt)."""

import os
import pathlib
import subprocess

import pytest

SOURCE = pathlib.Path(os.environ.get("QUILLON_SOURCE", pathlib.Path(__file__).resolve().parents[2]))
BIN = pathlib.Path(os.environ.get("QUILLON_BIN", SOURCE / "build" / "bin"))
HALIBUT = pathlib.Path(os.environ.get("QUILLON_HALIBUT", SOURCE / "build" / "halibut"))
SEEDS = pathlib.Path(os.environ.get("QUILLON_SEEDS", SOURCE / "build" / "fuzz" / "seeds"))
CORPUS = pathlib.Path(os.environ["QUILLON_CORPUS"]) if os.environ.get("QUILLON_CORPUS") else None
SANITIZED = os.environ.get("QUILLON_SANITIZED") == "1"

SAMPLE = SOURCE / "samples" / "quillon-guide.hlp"


def corpus_files(folder):
    """The files of a corpus folder, as pytest parameters named after them."""
    if CORPUS is None or not (CORPUS / folder).is_dir():
        return [pytest.param(None, marks=pytest.mark.skip(reason="no shared corpus of real files on this machine"))]
    return [pytest.param(path, id=path.name) for path in sorted((CORPUS / folder).iterdir())]


def halibut_file(name):
    path = HALIBUT / name
    if not path.exists():
        pytest.skip(f"halibut made no {name} (is halibut installed?)")
    return path


def run_program(name, *args):
    """A program of the build (bin/), its standard output as bytes."""
    return subprocess.run([str(BIN / name), *map(str, args)], check=True, capture_output=True).stdout


def expected(path, kind):
    """The corpus's expected output of a C tool for a help file, as bytes."""
    return (CORPUS / "expected" / f"{path.name}.{kind}").read_bytes()


import quillon  # noqa: E402

needs_pictures = pytest.mark.skipif(not hasattr(quillon, "Picture"),
                                    reason="quillon was built without its picture layer (libpng, libwmf)")
