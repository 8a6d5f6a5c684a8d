"""qarvex --json: every command's document validates against tool/qarvex.schema.json, names come
back as their stored bytes, and exit codes and diagnostics stay those of the text output."""
import json
import os
import shutil

import pytest

from conftest import EXAMPLES, ODD_NAME, name_bytes, run


def document(validator, *arguments, cwd, status=0):
    result = run("--json", *arguments, cwd=cwd)
    assert result.returncode == status, result.stderr
    parsed = json.loads(result.stdout)
    validator.validate(parsed)
    return parsed, result


def names(parsed):
    return [name_bytes(e["name"]) for v in parsed["volumes"] for e in v["entries"]]


@pytest.mark.parametrize(
    "arguments",
    [
        ["*", "odd.vol", "missing.vol"],
        ["-l", "*", "odd.vol", "demo.vol"],
        ["-l", "*.none", "odd.vol"],
        ["-t", "*", "odd.vol", "demo.vol"],
        ["-t", "*", "notavolume.txt"],
        ["-r", "-l", "*", "."],
    ],
)
def test_reading_commands_match_their_text_form(validator, odd_volume, arguments):
    folder = odd_volume.parent
    shutil.copy(os.path.join(EXAMPLES, "demo.vol"), folder)
    (folder / "notavolume.txt").write_text("text")
    parsed, as_json = document(validator, *arguments, cwd=folder, status=run(*arguments, cwd=folder).returncode)
    text = run(*arguments, cwd=folder)
    assert as_json.stderr == text.stderr
    assert parsed["schema"] == 1
    if "odd.vol" in arguments and "*" in arguments:
        assert ODD_NAME in names(parsed)


def test_the_odd_name_in_every_field(validator, odd_volume):
    folder = odd_volume.parent
    listed, _ = document(validator, "-l", "*", "odd.vol", cwd=folder)
    entries = listed["volumes"][0]["entries"]
    odd = next(e for e in entries if name_bytes(e["name"]) == ODD_NAME)
    assert odd["name"] == 'dir"\x01\u00e9\\b\x9d\x81\u20ac\u00ff.txt'
    assert odd["size"] == 9 and odd["method"] in ("lzh", "stored") and odd["id"] == 1
    tested, _ = document(validator, "-t", "*", "odd.vol", cwd=folder)
    assert tested["summary"] == {"tested": 2, "failed": 0}
    assert all(e["ok"] for e in tested["volumes"][0]["entries"])


def test_extraction_and_pictures(validator, tmp_path):
    (tmp_path / "out").mkdir()
    parsed, _ = document(validator, "-x", "--png", "-C", "out", "*", os.path.join(EXAMPLES, "graphics.vol"),
                         cwd=tmp_path)
    entries = {e["name"]: e for e in parsed["volumes"][0]["entries"]}
    assert entries["ReadMe.txt"]["extracted_to"] == os.path.join("out", "ReadMe.txt")
    assert entries["tiles.pba"]["pictures"] == [os.path.join("out", f"tiles.pba.{i}.png") for i in range(4)]
    for entry in entries.values():
        for written in [entry["extracted_to"], *entry.get("pictures", [])]:
            assert (tmp_path / written).is_file()
    assert parsed["summary"] == {"extracted": 6, "bytes": 33573, "failed": 0, "pictures": 8}
    # Again without -f: every entry fails, each with its diagnostic, and the exit code is 1.
    again, result = document(validator, "-x", "-C", "out", "*.txt", os.path.join(EXAMPLES, "graphics.vol"),
                             cwd=tmp_path, status=1)
    failed = again["volumes"][0]["entries"][0]
    assert failed["extracted_to"] is None
    assert failed["error"].endswith("ReadMe.txt: exists; not replaced without -f")
    assert "qarvex: " + failed["error"] in result.stderr.decode()

    parsed, _ = document(validator, "--png", "-C", "out", "-f", "out/title.pbm", "out/ReadMe.txt", cwd=tmp_path,
                         status=1)
    assert parsed["files"][0]["pictures"] == [os.path.join("out", "title.pbm.png")]
    assert "not a graphics file" in parsed["files"][1]["error"]
    assert parsed["summary"] == {"converted": 1, "pictures": 1, "failed": 1}

    # The pictures back: each graphics file once with the pictures named for it; one without a
    # sidecar fails with its diagnostic.
    (tmp_path / "back").mkdir()
    pictures = ["out/tiles.pba.0.png", "out/tiles.pba.3.png", "out/ReadMe.txt.png"]
    back, result = document(validator, "--from-png", "-C", "back", *pictures, cwd=tmp_path, status=1)
    assert back["files"][0]["error"] == "out/ReadMe.txt.png: no sidecar beside it lists it (-x --png and --png leave one)"
    assert back["files"][1] == {"path": os.path.join("back", "tiles.pba"), "pictures": pictures[:2]}
    assert back["summary"] == {"written": 1, "failed": 1}
    assert (tmp_path / "back" / "tiles.pba").read_bytes() == (tmp_path / "out" / "tiles.pba").read_bytes()


def test_writing_commands(validator, tmp_path, odd_volume):
    folder = odd_volume.parent
    (folder / "more.txt").write_text("more")
    created, _ = document(validator, "-c", "new.vol", "-m", "rle", "more.txt", cwd=folder)
    assert [e["action"] for e in created["volumes"][0]["entries"]] == ["written"]
    assert created["volumes"][0]["entries"][0]["method"] == "rle"
    added, _ = document(validator, "-a", "new.vol", "more.txt", "odd.vol", cwd=folder)
    assert [e["action"] for e in added["volumes"][0]["entries"]] == ["replaced", "added"]

    (folder / "copy").mkdir()
    assert run("-x", "-C", "copy", "*", "odd.vol", cwd=folder).returncode == 0
    (folder / "copy" / "plain.txt").write_text("changed")
    updated, _ = document(validator, "-u", "odd.vol", "-C", "copy", cwd=folder)
    actions = {bytes(name_bytes(e["name"])): e["action"] for e in updated["volumes"][0]["entries"]}
    assert actions == {ODD_NAME: "kept", b"plain.txt": "replaced"}
    assert updated["summary"] == {"replaced": 1, "added": 0, "kept": 1, "dry_run": False}


def test_the_match_limit_is_a_field(validator, tmp_path):
    files = tmp_path / "many"
    files.mkdir()
    for i in range(16385):
        (files / f"{i}.txt").touch()
    assert run("-c", "many.vol", "many", cwd=tmp_path).returncode == 0
    parsed, result = document(validator, "*", "many.vol", cwd=tmp_path)
    assert parsed["volumes"][0]["match_list_full"] is True
    assert len(parsed["volumes"][0]["entries"]) == 16384
    assert b"match list full" not in result.stdout
