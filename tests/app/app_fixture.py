"""Starts and stops a private pc50-app server for the tests, runs ipptool
against it, and checks the streams it writes with our own stream decoder
(`pc50 render`). The server listens on a free port on 127.0.0.1 without TLS,
writes its jobs to a file:// directory and keeps its spool, state and log in
a temporary directory. It is always stopped: jobs are cancelled, then
SIGTERM, then SIGKILL."""

import http.client
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request
import zlib


class Skip(Exception):
    """A tool the test needs is missing on this machine."""


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def need(program):
    path = shutil.which(program) or (os.path.exists(program) and program)
    if not path:
        raise Skip(program + " is not installed")
    return path


# ---- PNG, enough for 8-bit RGB pictures ------------------------------------

def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw))))
        f.write(chunk(b"IEND", b""))


def read_png(path):
    """Returns (width, height, rows of RGB bytes) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path + " is not a PNG"
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), path + ": not 8-bit RGB"
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        prev = line
        rows.append(bytes(line[x] for x in range(stride) if channels == 3 or x % 4 != 3))
    return width, height, rows


# ---- the server --------------------------------------------------------------

class Server:
    def __init__(self, app, name="app", device_uri=None):
        self.app = app
        self.dir = tempfile.mkdtemp(prefix="pc50-app-" + name + "-")
        self.out = os.path.join(self.dir, "out")
        os.mkdir(self.out)
        self.port = free_port()
        self.uri = "ipp://127.0.0.1:%d/ipp/print" % self.port
        self.url = "http://127.0.0.1:%d" % self.port
        self.log = os.path.join(self.dir, "server.log")
        self.process = None
        self.device_uri = device_uri or "file://" + self.out

    def __enter__(self):
        options = [
            "listen-hostname=127.0.0.1", "server-port=%d" % self.port, "tls=no",
            "device-uri=" + self.device_uri, "spool-directory=" + os.path.join(self.dir, "spool"),
            "state-file=" + os.path.join(self.dir, "state"), "log-file=" + self.log, "log-level=debug",
        ]
        argv = [self.app, "server"]
        for option in options:
            argv += ["-o", option]
        # Our own directory for the local socket too (as root it would be
        # /run/pc50-app.sock, shared with a real server).
        env = dict(os.environ, TMPDIR=self.dir, SNAP_COMMON=self.dir)
        self.process = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise AssertionError("the server exited with %d:\n%s" % (self.process.returncode, self.log_text()))
            try:
                with urllib.request.urlopen(self.url + "/", timeout=2) as page:
                    # Address reuse lets two servers share a port: make sure
                    # the one answering is ours.
                    if b"PC-50" in page.read():
                        return self
            except (OSError, http.client.HTTPException):
                pass
            time.sleep(0.1)
        self.stop()
        raise AssertionError("the server did not answer on " + self.url)

    def __exit__(self, *error):
        self.stop()
        if error[0] is None:
            shutil.rmtree(self.dir, ignore_errors=True)
        else:
            print("server files kept in " + self.dir, file=sys.stderr)
        return False

    def log_text(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        # Cancel what is left so that the server does not wait for jobs.
        subprocess.run(["ipptool", "-T", "5", self.uri, "/dev/stdin"],
                       input=b'{ OPERATION Cancel-Jobs GROUP operation-attributes-tag '
                             b'ATTR charset attributes-charset utf-8 '
                             b'ATTR language attributes-natural-language en '
                             b'ATTR uri printer-uri $uri ATTR name requesting-user-name $user }',
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def ipptool(self, test, **variables):
        """Runs one .test file; returns its output. Fails on a failed test."""
        argv = [need("ipptool"), "-t", "-T", "30"]
        for name, value in variables.items():
            if name == "file":
                argv += ["-f", value]
            else:
                argv += ["-d", "%s=%s" % (name.replace("_", "-"), value)]
        argv += [self.uri, test]
        result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120)
        if result.returncode != 0:
            raise AssertionError("%s failed:\n%s\n---- server log:\n%s" % (os.path.basename(test), result.stdout,
                                                                         self.log_text()[-1500:]))
        return result.stdout

    def stream(self, job_name):
        path = os.path.join(self.out, job_name + ".prn")
        deadline = time.time() + 10
        while not os.path.exists(path) and time.time() < deadline:
            time.sleep(0.1)
        return path


class VanishingPrinter:
    """A socket printer (socket://127.0.0.1:PORT) that takes the connection
    of one job, then goes away: it closes that connection and stops
    listening."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.uri = "socket://127.0.0.1:%d" % self.listener.getsockname()[1]
        self.connection = None

    def accept(self, timeout=30):
        self.listener.settimeout(timeout)
        self.connection, _ = self.listener.accept()

    def vanish(self):
        for s in (self.connection, self.listener):
            if s is not None:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                s.close()


# ---- pictures ----------------------------------------------------------------

def render(pc50, stream, directory, passes=None):
    """Decodes a stream with our own decoder; returns the page PNGs (and
    with passes, a directory, the pass PNGs: page<n>-pass<m>-<colour>.png)."""
    preview = os.path.join(directory, os.path.basename(stream) + ".png")
    argv = [pc50, "render", stream, "-o", preview] + (["--passes", passes] if passes else [])
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise AssertionError("the stream %s does not decode: %s" % (stream, result.stdout))
    return [line.split(": ", 1)[1] for line in result.stdout.splitlines() if line.startswith("page: ")]


def assert_picture(page_png, expected_png, copies_across=1, gap=0, tolerance=0.0):
    """The page shows the expected picture copies_across times side by side
    gap pixels apart, on white paper, from the first inked pixel at its top
    left (the margins). At most tolerance (a share of the picture's
    pixels) may differ."""
    width, height, rows = read_png(page_png)
    ew, eh, expected = read_png(expected_png)
    white = b"\xff\xff\xff"
    inked = [y for y in range(height) if rows[y] != white * width]
    assert inked, page_png + " is blank"
    top = inked[0]
    left = min(next(x for x in range(width) if rows[y][x * 3:x * 3 + 3] != white) for y in inked)
    assert height - top >= eh, "page %dx%d is too short for the picture %dx%d at row %d" % (width, height, ew, eh, top)
    wrong, first = 0, None
    for y in range(height):
        for x in range(width):
            copy, inside = divmod(x - left, ew + gap)
            want = white
            if 0 <= y - top < eh and x >= left and copy < copies_across and inside < ew:
                want = expected[y - top][inside * 3:inside * 3 + 3]
            got = rows[y][x * 3:x * 3 + 3]
            if got != want:
                wrong += 1
                first = first or "pixel (%d, %d) is %s, expected %s" % (x, y, got.hex(), want.hex())
    if wrong > tolerance * ew * eh * copies_across:
        raise AssertionError("%s: %d pixels differ; the first: %s" % (page_png, wrong, first))
