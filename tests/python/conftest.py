"""What the pytest suites share: the built tool and module, the schema, and volumes made by the tool."""
import json
import os
import subprocess
import sys

import pytest

SOURCE = os.environ.get("QARVEX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
TOOL = os.environ.get("QARVEX_TOOL", os.path.join(SOURCE, "build", "release", "tool", "qarvex"))
EXAMPLES = os.path.join(SOURCE, "examples")

# The five bytes Windows-1252 leaves unassigned stand for the control characters of their number.
UNASSIGNED = {0x81, 0x8D, 0x8F, 0x90, 0x9D}


def name_bytes(text):
    """The stored bytes of a name as text, encoded independently of the tool's own decoder."""
    return b"".join(bytes([ord(c)]) if ord(c) in UNASSIGNED else c.encode("cp1252") for c in text)


def run(*arguments, cwd=None):
    return subprocess.run([TOOL, *arguments], cwd=cwd, capture_output=True)


@pytest.fixture(scope="session")
def validator():
    jsonschema = pytest.importorskip("jsonschema")
    with open(os.path.join(SOURCE, "tool", "qarvex.schema.json")) as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


@pytest.fixture(scope="session")
def qarvex():
    """The built module; the suites that need it are skipped in builds without it."""
    folder = os.environ.get("QARVEX_MODULE_DIR")
    if not folder:
        pytest.skip("the Python module is not built")
    sys.path.insert(0, folder)
    import qarvex as module
    return module


# A name with bytes 0x80-0xFF (the unassigned ones among them), a quote, a backslash and a control
# byte. -c makes the backslash from a folder.
ODD_FOLDER = b'dir"\x01\xe9'
ODD_FILE = b"b\x9d\x81\x80\xff.txt"
ODD_NAME = ODD_FOLDER + b"\\" + ODD_FILE


@pytest.fixture
def odd_volume(tmp_path):
    """odd.vol made by qarvex -c: the odd name and a plain one."""
    files = tmp_path / "files"
    folder = os.path.join(os.fsencode(files), ODD_FOLDER)
    os.makedirs(folder)
    with open(os.path.join(folder, ODD_FILE), "wb") as f:
        f.write(b"odd bytes")
    (files / "plain.txt").write_bytes(b"plain " * 50)
    result = run("-c", str(tmp_path / "odd.vol"), "-m", "lzh", str(files))
    assert result.returncode == 0, result.stderr
    return tmp_path / "odd.vol"
