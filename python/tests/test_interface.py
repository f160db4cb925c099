"""What help() and editors see: the type stubs name what the module has, and
every public class, method and function has a docstring.  And the module
works installed: cmake --install into a scratch prefix, imported from there."""

import ast
import os
import pathlib
import subprocess
import sys

import pytest

import quillon
from conftest import SAMPLE, SOURCE

STUB = SOURCE / "python" / "quillon" / "__init__.pyi"


def stub_names():
    tree = ast.parse(STUB.read_text())
    top, members = set(), {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            top.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            top.add(node.target.id)
        if isinstance(node, ast.ClassDef):
            members[node.name] = {n.name if isinstance(n, ast.FunctionDef) else n.target.id
                                  for n in node.body if isinstance(n, (ast.FunctionDef, ast.AnnAssign))}
    return top, members


def test_stub_names_what_the_module_has():
    top, members = stub_names()
    if not hasattr(quillon, "Picture"):  # built without the picture layer
        top.discard("Picture")
        del members["Picture"]
    public = {name for name in quillon.__all__} | {"__version__"}
    assert top == public
    for cls, names in members.items():
        runtime = getattr(quillon, cls)
        have = set(getattr(runtime, "_fields", ())) | {n for n in dir(runtime) if not n.startswith("_")}
        wanted = {n for n in names if not n.startswith("_")}
        assert wanted <= have, (cls, wanted - have)
        # Nothing public the stub leaves out (named tuples' own methods aside).
        extra = {n for n in dir(runtime) if not n.startswith("_") and n not in ("count", "index")} - wanted
        if not hasattr(runtime, "_fields") and not issubclass(runtime, BaseException):
            assert extra == set(), (cls, extra)


def test_docstrings():
    assert quillon.__doc__
    for name in quillon.__all__:
        obj = getattr(quillon, name)
        assert obj.__doc__, name
        if isinstance(obj, type) and not hasattr(obj, "_fields"):
            for member, value in vars(obj).items():  # its own, not what it inherits
                if not member.startswith("_"):
                    assert value.__doc__, f"{name}.{member}"
    assert "symbol_fonts" in quillon.open.__doc__


def test_classes_belong_to_quillon():
    for name in quillon.__all__:
        obj = getattr(quillon, name)
        if isinstance(obj, type):
            assert obj.__module__ == "quillon", name
    with quillon.open(SAMPLE) as help_file:
        assert repr(help_file).startswith("<quillon.HelpFile ")
        assert repr(help_file.topic_at(0)) == "<quillon.Topic offset=0x00000000 title='Contents'>"


def test_installed(tmp_path):
    build = pathlib.Path(quillon.__file__).resolve().parents[2]
    if not (build / "CMakeCache.txt").exists():
        pytest.skip("not run from a build tree")
    prefix = tmp_path / "prefix"
    # cmake is no program of ours: it runs without the sanitizer runtime the
    # sanitized build preloads into the interpreter (under which it hangs).
    plain = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
    subprocess.run(["cmake", "--install", str(build), "--prefix", str(prefix)], check=True, capture_output=True,
                   env=plain, timeout=600)
    sites = [p.parent.parent for p in prefix.glob("lib/**/quillon/__init__.py")]
    assert len(sites) == 1
    for file in ("__init__.pyi", "py.typed", "_types.py"):
        assert (sites[0] / "quillon" / file).exists()
    environment = dict(os.environ, PYTHONPATH=str(sites[0]))
    code = "import quillon, sys; print(quillon.open(sys.argv[1]).title, quillon.__file__)"
    out = subprocess.run([sys.executable, "-c", code, str(SAMPLE)], check=True, capture_output=True,
                         env=environment, cwd=tmp_path, text=True).stdout
    title, where = out.rsplit(" ", 1)
    assert title == "Quillon: reading old Windows Help files"
    assert pathlib.Path(where.strip()).is_relative_to(prefix)
