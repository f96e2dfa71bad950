#!/usr/bin/env python3
"""Benchmarks of the episode transfer and of answers that must be refused,
measured on the real executable as a child process (make bench runs them).

  throughput  a 1 GiB episode over loopback from nginx: `--download` against
              `curl -o FILE URL && sync FILE` (the program syncs the episode
              before it replaces the old one, so curl gets the same sync);
              interleaved pairs, the median of the ratios
  resume      a 200 MB episode whose first answer is cut at 190 MB: the bytes
              the server sent in all until the episode stood whole
  refused     peak memory of --check-feed against a feed that never ends and
              a gzip bomb, and of --download against a live stream

Usage: transfer_bench.py EXECUTABLE [throughput|resume|refused ...]
BENCH_PAIRS sets the number of throughput pairs (5 by default).
"""
import http.server
import os
import shutil
import socket
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import zlib

EXE = os.path.abspath(sys.argv[1])
BLANK = os.path.join(os.path.dirname(EXE), "dbBlank.mdb")
MiB = 1 << 20
RSS = ('<?xml version="1.0"?><rss version="2.0"><channel><title>t</title><item><title>e</title>'
       '<enclosure url="{}" type="audio/mpeg"/></item></channel></rss>')


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def home_with_feed(name, url, work):
    """A home whose feed list holds one feed saving into work/pods."""
    home = tempfile.mkdtemp(prefix="tidewell-bench-", dir=work)
    data = os.path.join(home, "data", "Marrowby", "Tidewell Episode Keeper")
    os.makedirs(data)
    pods = os.path.join(home, "pods")
    os.makedirs(pods)
    shutil.copy(BLANK, os.path.join(data, "dbData.mdb"))
    db = sqlite3.connect(os.path.join(data, "dbData.mdb"))
    db.execute("insert into rss values (?, 60, 'episode.mp3', ?, ?, 1)", (name, pods + "/", url))
    db.commit()
    db.close()
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=home + "/data", XDG_CONFIG_HOME=home + "/config",
               XDG_STATE_HOME=home + "/state", XDG_CACHE_HOME=home + "/cache")
    return home, env, os.path.join(pods, "episode.mp3")


def timed(command, env=None):
    started = time.monotonic()
    result = subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit("%s failed: %s" % (command[0], result.stderr.strip()))
    return time.monotonic() - started


class Nginx:
    """nginx on a loopback port serving a folder, as a child process."""

    def __init__(self, root):
        self.prefix = tempfile.mkdtemp(prefix="nginx-", dir=root)
        self.port = free_port()
        conf = os.path.join(self.prefix, "nginx.conf")
        with open(conf, "w") as out:
            out.write("""user root; worker_processes 1; error_log %s/error.log; pid %s/nginx.pid;
events { worker_connections 64; }
http { access_log off; sendfile on; types { audio/mpeg mp3; application/xml xml; }
  server { listen 127.0.0.1:%d; root %s; } }
""" % (self.prefix, self.prefix, self.port, root))
        self.process = subprocess.Popen(["nginx", "-p", self.prefix, "-c", conf, "-g", "daemon off;"])
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port)).close()
                return
            except OSError:
                time.sleep(0.05)
        sys.exit("nginx did not start")

    def url(self, path):
        return "http://127.0.0.1:%d/%s" % (self.port, path)

    def stop(self):
        self.process.terminate()
        self.process.wait()


def throughput(work):
    if not shutil.which("nginx"):
        sys.exit("nginx is needed: scripts/install-deps.sh bench")
    served = os.path.join(work, "served")
    os.makedirs(served)
    with open(os.path.join(served, "episode.mp3"), "wb") as out:
        block = os.urandom(MiB)
        for _ in range(1024):
            out.write(block)
    nginx = Nginx(served)
    with open(os.path.join(served, "feed.xml"), "w") as out:
        out.write(RSS.format(nginx.url("episode.mp3")))
    home, env, ours = home_with_feed("Big", nginx.url("feed.xml"), work)
    theirs = os.path.join(work, "by-curl.mp3")
    curl = ["sh", "-c", 'curl -s -o "$1" "$2" && sync "$1"', "curl", theirs, nginx.url("episode.mp3")]
    ratios, ours_s, curl_s = [], [], []
    for _ in range(int(os.environ.get("BENCH_PAIRS", "5"))):
        for path in (ours, theirs):
            if os.path.exists(path):
                os.remove(path)
        os.sync()
        a = timed([EXE, "--download", "Big"], env)
        os.sync()
        b = timed(curl)
        ours_s.append(a)
        curl_s.append(b)
        ratios.append(b / a)
    if os.path.getsize(ours) != 1024 * MiB:
        sys.exit("the episode did not arrive whole")
    nginx.stop()
    gib = 1024 * MiB / 1e6
    print("1 GiB from nginx, %d interleaved pairs (whole processes, sync included)" % len(ratios))
    print("  --download: median %.2f s (%.0f MB/s); curl -o && sync: median %.2f s (%.0f MB/s)"
          % (statistics.median(ours_s), gib / statistics.median(ours_s), statistics.median(curl_s),
             gib / statistics.median(curl_s)))
    print("  throughput ours / curl: median %.2f (min %.2f, max %.2f); goal at least 0.90"
          % (statistics.median(ratios), min(ratios), max(ratios)))


class CuttingServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    size = 200 * 1000 * 1000
    cut_at = 190 * 1000 * 1000
    sent = 0
    answers = 0


class CuttingHandler(http.server.BaseHTTPRequestHandler):
    """A 200 MB episode with a strong ETag; the first answer stops at 190 MB;
    Range with a matching If-Range is honoured."""
    protocol_version = "HTTP/1.1"
    block = b"r" * MiB

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        port = server.server_address[1]
        if self.path == "/feed.xml":
            body = RSS.format("http://127.0.0.1:%d/episode.mp3" % port).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        start = 0
        asked = self.headers.get("Range", "")
        if asked.startswith("bytes=") and self.headers.get("If-Range") == '"v1"':
            start = int(asked[6:].split("-")[0])
        server.answers += 1
        self.send_response(206 if start else 200)
        self.send_header("ETag", '"v1"')
        self.send_header("Content-Type", "audio/mpeg")
        self.send_header("Content-Length", str(server.size - start))
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, server.size - 1, server.size))
        self.end_headers()
        stop = server.cut_at if server.answers == 1 else server.size
        position = start
        try:
            while position < stop:
                piece = self.block[:min(MiB, stop - position)]
                self.wfile.write(piece)
                position += len(piece)
                server.sent += len(piece)
        except (BrokenPipeError, ConnectionResetError):
            return
        if position < server.size:
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True


def resume(work):
    server = CuttingServer(("127.0.0.1", 0), CuttingHandler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    home, env, episode = home_with_feed("Cut", "http://127.0.0.1:%d/feed.xml" % server.server_address[1], work)
    result = subprocess.run([EXE, "--download", "Cut"], env=env, capture_output=True, text=True)
    whole = os.path.exists(episode) and os.path.getsize(episode) == server.size
    print("resume: a 200 MB episode cut at 190 MB: %s, %d answers, %.1f MB sent in all (goal at most 215 MB)"
          % ("whole" if whole else "NOT whole (%s)" % result.stderr.strip(), server.answers, server.sent / 1e6))
    server.shutdown()


def gzip_bomb(size):
    """A gzip stream of `size` spaces, made a block at a time so that this
    process stays small (a child's peak memory counts its parent's pages)."""
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)
    block = b" " * MiB
    parts = [packer.compress(b"<rss>")]
    for _ in range(size // MiB):
        parts.append(packer.compress(block))
    parts.append(packer.flush())
    return b"".join(parts)


class RefusedHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    bomb = gzip_bomb(1024 * MiB)

    def log_message(self, *args):
        pass

    def do_GET(self):
        port = self.server.server_address[1]
        try:
            if self.path == "/endless.xml":
                self.send_response(200)
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                chunk = b"%x\r\n" % 65536 + b" " * 65536 + b"\r\n"
                self.wfile.write(b"5\r\n<rss>\r\n")
                while True:
                    self.wfile.write(chunk)
            elif self.path == "/bomb.xml":
                self.send_response(200)
                self.send_header("Content-Encoding", "gzip")
                self.send_header("Content-Length", str(len(self.bomb)))
                self.end_headers()
                self.wfile.write(self.bomb)
            elif self.path == "/feed.xml":
                body = RSS.format("http://127.0.0.1:%d/live.mp3" % port).encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
            elif self.path == "/live.mp3":  # a live stream: no length, no end
                self.send_response(200)
                self.send_header("Content-Type", "audio/mpeg")
                self.send_header("Connection", "close")
                self.end_headers()
                while True:
                    self.wfile.write(b"l" * 65536)
        except (BrokenPipeError, ConnectionResetError):
            pass


def run_measured(command, env, work):
    """Runs a command; its output, its own peak memory (MiB) and its time."""
    with tempfile.TemporaryFile(mode="w+", dir=work) as output:
        started = time.monotonic()
        child = subprocess.Popen(command, env=env, stdout=output, stderr=subprocess.STDOUT)
        usage = os.wait4(child.pid, 0)[2]
        elapsed = time.monotonic() - started
        output.seek(0)
        return output.read(), usage.ru_maxrss / 1024, elapsed


class QuietServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients hang up on purpose here


def refused(work):
    server = QuietServer(("127.0.0.1", 0), RefusedHandler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_address[1]
    home, env, episode = home_with_feed("Live", base + "/feed.xml", work)
    partial = os.path.join(home, "state", "Marrowby", "Tidewell Episode Keeper", "partial")
    print("refused answers (whole processes; goal under 160 MiB)")
    print("%-22s %9s %8s  %s" % ("case", "peak MiB", "seconds", "what it said"))
    for case, command in (("endless feed", [EXE, "--check-feed", base + "/endless.xml"]),
                          ("gzip bomb feed", [EXE, "--check-feed", base + "/bomb.xml"]),
                          ("live stream episode", [EXE, "--download", "Live"])):
        output, peak, elapsed = run_measured(command, env, work)
        said = [line for line in output.splitlines() if line.startswith("Error") or "never said" in line]
        print("%-22s %9.1f %8.2f  %s" % (case, peak, elapsed, " / ".join(said)[:110]))
    left = os.listdir(partial) if os.path.isdir(partial) else []
    print("  the live stream wrote %s" % ("nothing" if not left else "a partial file: %s" % left))
    server.shutdown()


if __name__ == "__main__":
    work = tempfile.mkdtemp(prefix="transfer-bench-", dir=os.getcwd())
    try:
        for what in sys.argv[2:] or ["refused", "resume", "throughput"]:
            {"throughput": throughput, "resume": resume, "refused": refused}[what](work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
