"""quillon.library: a collection converted through the binding's pieces, on
Dask's distributed scheduler with worker processes, writes the library that
hlp2html writes, byte for byte."""

import os
import pathlib
import shutil
import subprocess
import sys
import zipfile

import pytest

from conftest import BIN, CORPUS, HALIBUT, SANITIZED
from quillon import _library, library


def make_collection(root: pathlib.Path) -> pathlib.Path:
    """Halibut's files with their contents files, in a folder and in a ZIP;
    real files with pictures and an SZDD file where the corpus is here; a
    damaged help file and a file that is no help file."""
    root.mkdir(parents=True)
    names = [name for name in ("manual", "atlas", "plain") if (HALIBUT / f"{name}.hlp").exists()]
    if not names:
        pytest.skip("halibut made no help files")
    for name in names:
        (root / "docs").mkdir(exist_ok=True)
        for ext in ("hlp", "cnt"):
            shutil.copy(HALIBUT / f"{name}.{ext}", root / "docs" / f"{name}.{ext}")
    with zipfile.ZipFile(root / "disk1.zip", "w", zipfile.ZIP_DEFLATED) as disk:
        for name in names:
            disk.write(HALIBUT / f"{name}.hlp", f"SETUP/{name.upper()}.HLP")
        disk.writestr("SETUP/README.TXT", "Not a help file.\n")
    if CORPUS is not None:
        for relative in ("hlp/eudora-win__PureVoice.hlp", "hlp/oemdisplay-tandy__PROGMAN.HLP",
                         "odd/oemdisplay-tandy__TTY.HLP.szdd", "gid/dean-chapman-alarm-v2-0__1-12898__help.GID"):
            if (CORPUS / relative).exists():
                (root / "real").mkdir(exist_ok=True)
                shutil.copy(CORPUS / relative, root / "real" / pathlib.Path(relative).name)
    (root / "broken.hlp").write_bytes(b"\x3f\x5f\x03\x00" + b"\x55" * 200)
    (root / "notes.txt").write_text("Not a help file either.\n")
    return root


def tree(root: pathlib.Path):
    return {str(p.relative_to(root)): p.read_bytes() for p in sorted(root.rglob("*")) if p.is_file()}


def threaded_library(source: pathlib.Path, out: pathlib.Path):
    run = subprocess.run([str(BIN / "hlp2html"), "-q", "-j", "2", str(source), str(out)], capture_output=True)
    assert run.returncode == 1, run.stderr  # the damaged file
    return tree(out)


def assert_same(a, b):
    assert sorted(a) == sorted(b)
    different = [name for name in a if a[name] != b[name]]
    assert not different, different[:10]


def test_pieces_in_process_equal_the_threaded_library(tmp_path):
    """The binding's pieces, one help file after another in this process
    (what each worker runs), write what hlp2html writes."""
    source = make_collection(tmp_path / "in")
    expected = threaded_library(source, tmp_path / "threads")
    out = tmp_path / "pieces"
    catalogue = _library.scan(str(source))
    assert catalogue.help_count >= 4
    results = [None] * catalogue.help_count
    sent = []

    def each(index, data):
        sent.append(index)
        results[index] = _library.convert(catalogue, index, data, str(out))
        return True

    _library.read_help_files(catalogue, str(source), list(range(catalogue.help_count)), each)
    assert sent == list(range(catalogue.help_count))
    summary = _library.write_library_pages(catalogue, results, str(source), str(out))
    assert summary["failed"] == 1 and summary["failures"][0].startswith("broken.hlp: ")
    assert_same(tree(out), expected)
    # Kept sites, read back: the same results.
    for index in range(catalogue.help_count):
        kept = _library.kept_site(catalogue, index, str(out))
        assert kept == results[index].replace('"status":"converted"', '"status":"unchanged"')
    # The catalogue crosses processes as JSON.
    again = _library.Catalogue.from_json(catalogue.to_json())
    assert again.to_json() == catalogue.to_json()
    with pytest.raises(ValueError):
        _library.Catalogue.from_json("{}")
    with pytest.raises(ValueError):
        _library.write_library_pages(catalogue, results[:-1], str(source), str(out))


def test_an_exception_in_the_callback_stops_the_walk(tmp_path):
    source = make_collection(tmp_path / "in")
    catalogue = _library.scan(str(source))

    def each(index, data):
        raise KeyError("stop")

    with pytest.raises(KeyError):
        _library.read_help_files(catalogue, str(source), [0, 1], each)


@pytest.mark.skipif(SANITIZED, reason="Dask's worker processes under the sanitizers: left to the plain build")
def test_dask_local_cluster_equals_the_threaded_library(tmp_path):
    distributed = pytest.importorskip("distributed")
    source = make_collection(tmp_path / "in")
    expected = threaded_library(source, tmp_path / "threads")
    out = tmp_path / "dask"
    with distributed.LocalCluster(n_workers=3, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        report = library.build_library(str(source), str(out), client)
        assert report.help_files >= 4 and report.failed == 1 and report.any_failed
        assert report.converted == report.help_files  # the damaged file is no help file of the catalogue
        assert_same(tree(out), expected)

        # The command, pointed at the same scheduler: everything kept, the
        # same library, exit code 1 for the damaged file.
        env = dict(os.environ)
        run = subprocess.run([sys.executable, "-m", "quillon.library", str(source), str(out),
                              "--scheduler", cluster.scheduler_address], capture_output=True, text=True, env=env)
        assert run.returncode == 1, run.stderr
        assert f"{report.help_files} unchanged" in run.stderr, run.stderr
        after = tree(out)
        assert after["index.html"] == expected["index.html"]
        assert after.keys() == expected.keys()


def test_command_line_errors():
    for args in (["only-one"], ["a", "b", "--workers", "0"], ["a", "b", "--max-file-bytes", "-1"]):
        run = subprocess.run([sys.executable, "-m", "quillon.library", *args], capture_output=True)
        assert run.returncode == 2, args
