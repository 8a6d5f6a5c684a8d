"""The viewer as a real process for the tests: started with "qarvex --serve", its address read
from what it prints, raw HTTP requests sent to it, and stopped with Ctrl+C (SIGINT)."""
import os
import re
import signal
import socket
import subprocess
import time


class Viewer:
    def __init__(self, qarvex, arguments, cwd=None, launcher=()):
        """launcher: what runs qarvex, when this system cannot (Wine for a Windows build)."""
        self.process = subprocess.Popen([*launcher, qarvex, "--serve", *arguments], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, cwd=cwd, text=True)
        self.output = ""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            line = self.process.stdout.readline()
            if not line:
                raise RuntimeError("the viewer ended: " + self.process.stderr.read())
            self.output += line
            found = re.match(r"http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/$", line.strip())
            if found:
                self.port, self.token = int(found.group(1)), found.group(2)
                self.url = line.strip()
                return
        raise RuntimeError("the viewer printed no address")

    def request(self, raw, timeout=20):
        """Sends raw bytes and returns (status, headers, body) of the answer; status 0 when the
        connection was closed without one."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as connection:
            connection.sendall(raw)
            reply = b""
            # Up to the end of the headers, then as many bytes as they announce: after a
            # malformed request the server may keep the connection open for another one.
            while b"\r\n\r\n" not in reply or len(reply.partition(b"\r\n\r\n")[2]) < self._length(reply):
                piece = connection.recv(65536)
                if not piece:
                    break
                reply += piece
        if not reply:
            return 0, {}, b""
        head, _, body = reply.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        status = int(lines[0].split()[1])
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        return status, headers, body

    @staticmethod
    def _length(reply):
        for line in reply.partition(b"\r\n\r\n")[0].split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                return int(value)
        return 0

    def get(self, path, host=None, token=None):
        """GET /TOKEN/path with a proper Host header (or the one given; "" for none)."""
        host = f"127.0.0.1:{self.port}" if host is None else host
        token = self.token if token is None else token
        target = f"/{token}/{path}" if token else path
        lines = [f"GET {target} HTTP/1.1", "Connection: close"]
        if host:
            lines.append(f"Host: {host}")
        return self.request(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))

    def stop(self):
        """Ctrl+C; returns the exit status and what was printed after the address."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
        try:
            out, err = self.process.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = self.process.communicate()
        return self.process.returncode, out, err


def run(command, cwd=None):
    return subprocess.run(command, cwd=cwd, capture_output=True, check=True)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def expected_picture(qarvex, volume, name, folder, palette=None, suffix=".png", options=()):
    """The PNG that "qarvex -x --png" writes for entry name (name + suffix), and its path."""
    os.makedirs(folder, exist_ok=True)
    command = [qarvex, "-x", "-f", "-C", folder, "--png", *options]
    if palette:
        command += ["--palette", palette]
    run(command + [name, os.path.abspath(volume)])
    path = os.path.join(folder, name + suffix)
    with open(path, "rb") as picture:
        return picture.read(), path
