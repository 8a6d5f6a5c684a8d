"""The Windows build's viewer as Windows runs it, here under Wine: qarvex.exe --serve starts
qarvex-viewer.exe beside it, which serves until Ctrl+C; Ctrl+C reaches both programs, as a console
sends it to all of its programs, and qarvex.exe ends with the viewer's status. A port holds one
viewer only, and the viewer does not outlive qarvex.exe.
    viewer_windows_test.py WINE_RUN QARVEX_EXE EXAMPLES_DIR"""
import os
import signal
import subprocess
import sys
import time
import unittest

from viewer_process import Viewer, free_port

WINE_RUN, QARVEX, EXAMPLES = sys.argv[1], sys.argv[2], sys.argv[3]
VOLUME = os.path.join(EXAMPLES, "graphics.vol")


def viewer_process(port):
    """The process id of the qarvex-viewer.exe serving port (Wine shows the Windows command line)."""
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as file:
                    line = file.read().replace(b"\0", b" ")
            except OSError:
                continue
            if b"qarvex-viewer.exe" in line and f"--port {port} ".encode() in line:
                return int(pid)
        time.sleep(0.2)
    raise RuntimeError("no qarvex-viewer.exe for port %d" % port)


class ViewerUnderWine(unittest.TestCase):
    def test_serves_refuses_and_stops_on_ctrl_c(self):
        port = free_port()
        viewer = Viewer(QARVEX, ["--port", str(port), VOLUME], launcher=[WINE_RUN])
        try:
            self.assertEqual(viewer.port, port)
            status, headers, body = viewer.get("")
            self.assertEqual(status, 200)
            self.assertIn(b"<title>qarvex viewer</title>", body)
            self.assertEqual(viewer.get("", token="0" * 32)[0], 403)
            self.assertEqual(viewer.request(b"\x00\x01\x02 garbage\r\n\r\n")[0], 400)
            # The port is taken: a second viewer cannot have it.
            second = subprocess.run([WINE_RUN, QARVEX, "--serve", "--port", str(port), VOLUME],
                                    capture_output=True, timeout=120)
            self.assertEqual(second.returncode, 1)
            self.assertIn(b"cannot listen", second.stderr)
            self.assertEqual(viewer.get("catalog")[0], 200)
            os.kill(viewer_process(port), signal.SIGINT)
            status, out, _ = viewer.stop()  # Ctrl+C to qarvex.exe too, which waits for the viewer
            self.assertEqual(status, 0)
            self.assertIn("qarvex viewer stopped", out)
        finally:
            if viewer.process.poll() is None:  # left running by a failure: no viewer may outlive the test
                os.kill(viewer_process(port), signal.SIGTERM)
                viewer.process.kill()

    def test_the_viewer_ends_with_qarvex(self):
        port = free_port()
        viewer = Viewer(QARVEX, ["--port", str(port), VOLUME], launcher=[WINE_RUN])
        served = viewer_process(port)
        viewer.process.kill()  # qarvex.exe ended from outside: the viewer sees no Ctrl+C
        viewer.process.wait(timeout=30)  # not its output: a viewer left running would hold it open
        deadline = time.monotonic() + 30
        while os.path.exists(f"/proc/{served}") and time.monotonic() < deadline:
            time.sleep(0.2)
        alive = os.path.exists(f"/proc/{served}")
        if alive:
            os.kill(served, signal.SIGTERM)
        self.assertFalse(alive, "qarvex-viewer.exe outlived qarvex.exe")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
