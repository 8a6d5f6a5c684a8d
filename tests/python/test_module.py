"""The qarvex Python module over the shipped examples and volumes made by the tool."""
import os
import struct
import subprocess
import sys

import pytest

from conftest import EXAMPLES, ODD_NAME, SOURCE, run

np = pytest.importorskip("numpy")


def test_entries_find_and_read(qarvex, odd_volume):
    demo = qarvex.open(os.path.join(EXAMPLES, "demo.vol"))
    assert len(demo) == 13
    log = demo.find("CHANGES.*")
    assert [(e.name, e.id, e.size, e.stored_size, e.method) for e in log] == [("changes.log", 13, 214, 145, "lzh")]
    text = demo.read(log[0])
    assert len(text) == 214 and text.startswith(b'1.0.0  volumes are searched, listed, extracted and tested')
    assert demo.read("changes.log") == text
    assert [e.name for e in demo.find("*.txt")] == ["ReadMe.txt", "Story.txt", "credits.TXT", "notes_v2.txt"]

    odd = qarvex.open(odd_volume)
    entry = next(e for e in odd.entries if e.name_bytes == ODD_NAME)
    assert entry.name == 'dir"\x01\u00e9\\b\x9d\x81\u20ac\u00ff.txt'
    assert odd.find(entry.name) == [] or odd.find(entry.name)[0].name_bytes == ODD_NAME
    assert odd.find("*\u20ac*")[0].name_bytes == ODD_NAME
    assert odd.read(entry) == b"odd bytes"
    with pytest.raises(ValueError):
        demo.read(entry)  # an entry of another volume
    with pytest.raises(KeyError):
        demo.read("no such entry")


@pytest.mark.parametrize("content,reason", [(b"", "not a volume"), (b"PVOL\xff\xff\xff\x7f", "damaged volume directory")])
def test_errors_carry_the_reason(qarvex, tmp_path, content, reason):
    (tmp_path / "bad.vol").write_bytes(content)
    with pytest.raises(qarvex.Error, match=reason):
        qarvex.open(tmp_path / "bad.vol")
    with pytest.raises(qarvex.Error, match="cannot open"):
        qarvex.open(tmp_path / "missing.vol")
    with pytest.raises(qarvex.Error):
        qarvex.Bitmap(content)


def test_a_damaged_entry_raises(qarvex, tmp_path):
    (tmp_path / "big.txt").write_bytes(bytes(range(250)) * 12)
    assert run("-c", "v.vol", "big.txt", cwd=tmp_path).returncode == 0
    # The directory record's size made ten times what the data holds.
    data = (tmp_path / "v.vol").read_bytes()
    at = data.rindex(struct.pack("<i", 3000))
    (tmp_path / "v.vol").write_bytes(data[:at] + struct.pack("<i", 30000) + data[at + 4 :])
    volume = qarvex.open(tmp_path / "v.vol")
    with pytest.raises(qarvex.Error, match="^big.txt: damaged: data ends before its 30000 bytes$"):
        volume.read("big.txt")


def test_extract_as_the_tool_does(qarvex, tmp_path):
    demo = qarvex.open(os.path.join(EXAMPLES, "demo.vol"))
    written = demo.extract("*.map", tmp_path)
    assert written == [os.path.join(str(tmp_path), n) for n in ("level01.map", "level02.map")]
    assert (tmp_path / "level01.map").read_bytes() == demo.read("level01.map")
    with pytest.raises(qarvex.Error, match="exists; not replaced without -f"):
        demo.extract(demo.find("level01.map")[0], tmp_path)
    assert demo.extract(demo.find("level01.map")[0], tmp_path, force=True) == [written[0]]
    assert not (tmp_path / ".qarvex-manifest").exists()


def test_graphics(qarvex):
    graphics = qarvex.open(os.path.join(EXAMPLES, "graphics.vol"))
    title = qarvex.Bitmap(graphics, graphics.find("title.pbm")[0])
    pixels = np.asarray(title)
    assert pixels.shape == (title.height, title.width) == (32, 64) and pixels.dtype == np.uint8
    assert np.shares_memory(pixels, np.asarray(title))  # no copy: the bitmap's own pixels
    assert title.to_png().startswith(b"\x89PNG")
    assert qarvex.Bitmap(graphics.read("title.pbm")).width == 64  # from bytes as well

    logo = qarvex.Bitmap(graphics, "logo.bmp")
    assert logo.bit_depth == 24 and np.asarray(logo).shape == (logo.height, logo.width, 3)

    palette = qarvex.Palette(graphics, "game.ppl")
    colours = np.asarray(palette)
    assert colours.shape == (palette.count, 256, 4) and palette.numbers == list(range(palette.count))
    tiles = qarvex.BitmapArray(graphics, "tiles.pba")
    assert len(tiles) == 4 and tiles[-1].width == tiles[3].width
    with pytest.raises(IndexError):
        tiles[4]
    tile = tiles[0]
    del tiles  # the bitmap keeps its array alive
    assert np.asarray(tile).sum() >= 0 and tile.to_png(palette).startswith(b"\x89PNG")

    font = qarvex.Font(graphics, "small.pft")
    glyph = font.glyph(ord("A"))
    assert set(glyph) == {"bitmap", "x", "y", "width", "height"} and font.glyph(1000) is None
    sheet = font.bitmaps[glyph["bitmap"]]
    assert glyph["x"] + glyph["width"] <= sheet.width and font.to_png().startswith(b"\x89PNG")
    assert palette.to_png().startswith(b"\x89PNG")


def test_the_readme_example(qarvex, tmp_path):
    readme = open(os.path.join(SOURCE, "README.md")).read()
    example = readme.split("## Python")[1].split("```python\n")[1].split("```")[0]
    result = subprocess.run([sys.executable, "-c", example], cwd=SOURCE, capture_output=True, text=True,
                            env={**os.environ, "PYTHONPATH": os.path.dirname(qarvex.__file__)})
    assert result.returncode == 0, result.stderr
    assert "changes.log 13 214 145 lzh" in result.stdout


def test_pip_installs_offline(tmp_path):
    """pip builds and installs the module from the source tree with the system's packages only."""
    if not os.environ.get("QARVEX_MODULE_DIR"):
        pytest.skip("the Python module is not built")
    environment = tmp_path / "env"
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", str(environment)], check=True)
    python = str(environment / "bin" / "python")
    install = subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--quiet",
                              SOURCE], capture_output=True, text=True, cwd=tmp_path)
    assert install.returncode == 0, install.stdout + install.stderr
    check = subprocess.run([python, "-c", "import qarvex; print(qarvex.open('" + os.path.join(EXAMPLES, "demo.vol")
                            + "').read('changes.log')[:5])"], capture_output=True, text=True, cwd=tmp_path)
    assert check.stdout == "b'1.0.0'\n", check.stderr
