"""The viewer's rules, checked against the real program: only 127.0.0.1, only requests carrying
the token and a local Host, 400 for garbage and 404 for names outside the volumes while the
server keeps serving, 50 requests at once all answered, nothing written, Ctrl+C stops it.
    viewer_safety_test.py QARVEX EXAMPLES_DIR"""
import concurrent.futures
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest
from urllib.parse import quote

from viewer_process import Viewer, expected_picture, free_port, run

QARVEX, EXAMPLES = sys.argv[1], sys.argv[2]
VOLUME = os.path.join(EXAMPLES, "graphics.vol")


def digest(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


class ViewerSafety(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        cls.folder = os.path.join(cls.scratch.name, "run")
        os.mkdir(cls.folder)
        cls.volume_digest = digest(VOLUME)
        # Started in an empty folder, so that anything it wrote would show.
        cls.viewer = Viewer(QARVEX, [os.path.abspath(VOLUME)], cwd=cls.folder)
        status, _, body = cls.viewer.get("entries?filter=*")
        cls.entries = {entry["name"]: entry for entry in json.loads(body)}

    @classmethod
    def tearDownClass(cls):
        cls.viewer.stop()
        cls.scratch.cleanup()

    def entry_path(self, name):
        entry = self.entries[name]
        return f"entry/{entry['volume']}/{entry['position']}"

    def test_refuses_requests_without_the_token_or_a_local_host(self):
        viewer = self.viewer
        cases = [
            ("no token", dict(token="", path="/")),
            ("another token", dict(token="0" * 32)),
            ("the token cut short", dict(token=viewer.token[:-1])),
            ("the token made longer", dict(token=viewer.token + "0")),
            ("the token with another case", dict(token=viewer.token.upper())),
            ("a foreign host", dict(host=f"example.com:{viewer.port}")),
            ("a rebound name", dict(host=f"attacker.localhost.example:{viewer.port}")),
            ("another port", dict(host=f"127.0.0.1:{viewer.port + 1}")),
            ("no port", dict(host="127.0.0.1")),
            ("no host", dict(host="")),
        ]
        for label, case in cases:
            with self.subTest(label):
                status, _, body = viewer.get(case.get("path", ""), host=case.get("host"), token=case.get("token"))
                self.assertEqual(status, 403, body)
                self.assertNotIn(b"qarvex viewer", body)
        for host in [f"127.0.0.1:{viewer.port}", f"LOCALHOST:{viewer.port}"]:
            status, headers, body = viewer.get("", host=host)
            self.assertEqual(status, 200)
            self.assertIn(b"<title>qarvex viewer</title>", body)
            self.assertIn("default-src 'none'", headers["content-security-policy"])

    def test_malformed_requests_get_400_and_unknown_names_404(self):
        viewer = self.viewer
        token, host = viewer.token.encode(), f"Host: 127.0.0.1:{viewer.port}\r\n".encode()
        requests = [
            (400, b"\x00\x01\x02 garbage\r\n\r\n"),
            (400, b"GET\r\n\r\n"),
            (400, b"GET /" + token + b"/ HTTP/2.5\r\n" + host + b"\r\n"),
            (400, b"GET /" + token + b"/ HTTP/1.1 more\r\n" + host + b"\r\n"),
            (400, b"BREW /" + token + b"/ HTTP/1.1\r\n" + host + b"\r\n"),
            (400, b"GET /" + token + b"/entry/%FF%00/1 HTTP/1.1\r\n" + host + b"\r\n"),
            (414, b"GET /" + token + b"/" + b"a" * 9000 + b" HTTP/1.1\r\n" + host + b"\r\n"),
            (403, b"GET /" + token + b"/ HTTP/1.1\r\nHost 127.0.0.1\r\n\r\n"),  # no Host header
        ]
        for expected, raw in requests:
            with self.subTest(raw=raw):
                status, _, _ = viewer.request(raw)
                self.assertEqual(status, expected)
        names = [
            (400, "entry/x/0"),
            (400, "entry/0/-1"),
            (400, "entries"),
            (400, self.entry_path("title.pbm") + "/picture?suffix=.png&palette=first"),
            (400, self.entry_path("small.pft") + "/picture?suffix=.sample.png&sample=" + "x" * 201),
            (404, "entry/0/999"),
            (404, "entry/7/0"),
            (404, "entry/0/0/elsewhere"),
            (404, "../etc/passwd"),
            (404, "examples/graphics.vol"),
            (404, self.entry_path("title.pbm") + "/picture?suffix=.3.png"),
            (404, self.entry_path("title.pbm") + "/picture?suffix=.png&palette=99"),
            (404, self.entry_path("ReadMe.txt") + "/picture?suffix=.png"),
        ]
        for expected, path in names:
            with self.subTest(path):
                status, _, body = viewer.get(path)
                self.assertEqual(status, expected, body)
        # Still serving, and only reading: no other method reaches a volume.
        status, _, body = viewer.request(
            f"POST /{viewer.token}/entries HTTP/1.1\r\nHost: 127.0.0.1:{viewer.port}\r\n"
            "Content-Length: 0\r\nConnection: close\r\n\r\n".encode())
        self.assertNotEqual(status, 200)
        self.assertEqual(viewer.get("catalog")[0], 200)

    def test_filter_matches_as_the_command_line_does(self):
        for expression in ["*", "*.PB?", "t*", "?????.*", "*.txt", "nothing*"]:
            with self.subTest(expression):
                status, _, body = self.viewer.get("entries?filter=" + quote(expression))
                self.assertEqual(status, 200)
                listed = run([QARVEX, "-l", expression, VOLUME]).stdout.decode().splitlines()
                names = [line.split()[-1] for line in listed[1:-1]]
                self.assertEqual([entry["name"] for entry in json.loads(body)], names)

    def test_downloads_equal_what_the_command_line_writes(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ["title.pbm", "tiles.pba", "small.pft", "game.ppl"]:
                with self.subTest(name):
                    suffix = ".0.png" if name.endswith(".pba") else ".png"
                    expected, _ = expected_picture(QARVEX, VOLUME, name, folder, suffix=suffix)
                    status, headers, body = self.viewer.get(
                        self.entry_path(name) + f"/picture?suffix={suffix}&download=1")
                    self.assertEqual(status, 200)
                    self.assertEqual(headers["content-type"], "image/png")
                    self.assertIn("attachment", headers["content-disposition"])
                    self.assertEqual(body, expected)
                    status, _, raw = self.viewer.get(self.entry_path(name) + "/raw")
                    with open(os.path.join(folder, name), "rb") as entry:
                        self.assertEqual(raw, entry.read())

    def test_fifty_parallel_requests_are_all_answered(self):
        paths = ["", "app.js", "catalog", "entries?filter=*", self.entry_path("small.pft"),
                 self.entry_path("tiles.pba") + "/picture?suffix=.png&sheet=1",
                 self.entry_path("title.pbm") + "/picture?suffix=.png&palette=0",
                 self.entry_path("ReadMe.txt") + "/raw", "entry/0/999", "entry/x/1"]
        alone = {path: self.viewer.get(path) for path in paths}
        with concurrent.futures.ThreadPoolExecutor(max_workers=50) as pool:
            answers = list(pool.map(lambda i: (paths[i % len(paths)], self.viewer.get(paths[i % len(paths)])),
                                    range(50)))
        self.assertEqual(len(answers), 50)
        for path, (status, _, body) in answers:
            self.assertEqual((status, body), (alone[path][0], alone[path][2]), path)

    def test_zz_nothing_written_and_ctrl_c_stops_it(self):
        self.assertEqual(os.listdir(self.folder), [])
        self.assertEqual(digest(VOLUME), self.volume_digest)
        status, out, _ = self.viewer.stop()
        self.assertEqual(status, 0)
        self.assertIn("stopped", out)


class ViewerCommandLine(unittest.TestCase):
    def test_usage_errors_and_missing_volumes(self):
        cases = [
            (2, ["--serve"]),
            (2, ["--serve", "--port", "0", VOLUME]),
            (2, ["--serve", "--port", "http", VOLUME]),
            (2, ["--serve", "--color", VOLUME]),
            (1, ["--serve", os.path.join(EXAMPLES, "none-such.vol")]),
        ]
        for expected, arguments in cases:
            with self.subTest(arguments):
                result = subprocess.run([QARVEX, *arguments], capture_output=True, timeout=30)
                self.assertEqual(result.returncode, expected, result.stderr)
                self.assertTrue(result.stderr.startswith(b"qarvex: "), result.stderr)

    def test_port_and_folder(self):
        port = free_port()
        viewer = Viewer(QARVEX, ["--port", str(port), EXAMPLES])
        try:
            self.assertEqual(viewer.port, port)
            self.assertIn("3 volumes", viewer.output)
            status, _, body = viewer.get("catalog")
            self.assertEqual(len(json.loads(body)["volumes"]), 3)
            # The port is taken now: a second viewer says so.
            result = subprocess.run([QARVEX, "--serve", "--port", str(port), VOLUME], capture_output=True,
                                    timeout=30)
            self.assertEqual(result.returncode, 1)
            self.assertIn(b"cannot listen", result.stderr)
        finally:
            viewer.stop()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
