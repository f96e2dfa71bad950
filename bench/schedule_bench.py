#!/usr/bin/env python3
"""Benchmarks of the schedule and of feeds that never end, measured on the
real executable as a child process (make bench runs them all).

  endless   peak memory of --check-feed against a feed that never ends
            (chunked, no length) and a head line that never ends; requests made
  idle      CPU of the window with 100 feeds counting, and bytes written
  headless  200 feeds due every few seconds while another transfer trickles:
            how far each feed strays from its pace, and memory over the run
  burst     1,000 feeds due in the same second under ulimit -n 1024: how many
            were downloaded, the most files open at once, the most transfers
            at once, and how long until the last was done
  sigterm   SIGTERM in the middle of that burst: how long until the process
            is gone, and lines reported after the signal
  fsync     400 feeds due together under strace: fsync and fdatasync calls per
            download

Usage: schedule_bench.py EXECUTABLE [endless|idle|headless|burst|sigterm|fsync ...]
BENCH_MINUTES sets the headless run's length (10 by default).
"""
import http.server
import os
import re
import resource
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
from datetime import datetime

EXE = os.path.abspath(sys.argv[1])
BLANK = os.path.join(os.path.dirname(EXE), "dbBlank.mdb")
RSS = ('<?xml version="1.0"?><rss version="2.0"><channel><title>t</title><item><title>e</title>'
       '<enclosure url="{}" type="audio/mpeg"/></item></channel></rss>')


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 1024  # 200 feeds fall due together: no connection may wait for a retry


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    hits = {}
    answering = 0
    peak_answering = 0
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def send(self, body, kind="application/xml"):
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        with Handler.lock:
            Handler.hits[self.path] = Handler.hits.get(self.path, 0) + 1
            Handler.answering += 1
            Handler.peak_answering = max(Handler.peak_answering, Handler.answering)
        try:
            self.answer()
        finally:
            with Handler.lock:
                Handler.answering -= 1

    def answer(self):
        port = self.server.server_address[1]
        host = self.headers.get("Host", "127.0.0.1").split(":")[0]
        try:
            if self.path == "/endless.xml":
                self.send_response(200)
                self.send_header("Content-Type", "application/xml")
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                self.wfile.write(b"5\r\n<rss>\r\n")
                chunk = b"%x\r\n" % 65536 + b" " * 65536 + b"\r\n"
                while True:
                    self.wfile.write(chunk)
            elif self.path == "/endless-head.xml":
                self.wfile.write(b"HTTP/1.1 200 OK\r\nX-Never-Ends: ")
                while True:
                    self.wfile.write(b"a" * 65536)
            elif self.path.startswith("/feed/"):
                name = self.path[len("/feed/"):]
                self.send(RSS.format("http://%s:%d/episode/%s.mp3" % (host, port, name)).encode())
            elif self.path == "/episode/trickle.mp3":
                self.send_response(200)
                self.send_header("Content-Type", "audio/mpeg")
                self.send_header("Content-Length", "100000")
                self.end_headers()
                for _ in range(100000):  # one byte every 20 ms, for half an hour
                    self.wfile.write(b"t")
                    self.wfile.flush()
                    time.sleep(0.02)
            elif self.path.startswith("/episode/"):
                self.send(b"episode", "audio/mpeg")
            else:
                self.send_error(404)
        except (BrokenPipeError, ConnectionResetError):
            pass


def serve(address="127.0.0.1"):
    server = Server((address, 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d" % server.server_address[1]


def home_with_feeds(feeds):
    """A home whose feed list holds (name, minute, url) rows."""
    home = tempfile.mkdtemp(prefix="tidewell-bench-")
    data = os.path.join(home, "data", "Marrowby", "Tidewell Episode Keeper")
    os.makedirs(data)
    os.makedirs(os.path.join(home, "pods"))
    shutil.copy(BLANK, os.path.join(data, "dbData.mdb"))
    db = sqlite3.connect(os.path.join(data, "dbData.mdb"))
    db.executemany("insert into rss values (?, ?, ?, ?, ?, 1)",
                   [(n, m, n + ".mp3", os.path.join(home, "pods") + "/", u) for n, m, u in feeds])
    db.commit()
    db.close()
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=home + "/data", XDG_CONFIG_HOME=home + "/config",
               XDG_STATE_HOME=home + "/state", XDG_CACHE_HOME=home + "/cache")
    return home, env


def rss_mib(pid):
    with open("/proc/%d/statm" % pid) as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def written_bytes(pid):
    for line in open("/proc/%d/io" % pid):
        if line.startswith("write_bytes:"):
            return int(line.split()[1])
    return 0


def endless():
    server, base = serve()
    home, env = home_with_feeds([])
    print("endless feed (--check-feed, process start included)")
    print("%-22s %10s %10s %9s" % ("server", "peak MiB", "seconds", "requests"))
    for path in ("/endless.xml", "/endless-head.xml"):
        Handler.hits.clear()
        started = time.monotonic()
        child = subprocess.Popen([EXE, "--check-feed", base + path], env=env, stdout=subprocess.PIPE, text=True)
        output = child.stdout.read()
        _, _, usage = os.wait4(child.pid, 0)  # this child's own peak
        print("%-22s %10.1f %10.2f %9d   %s" % (path, usage.ru_maxrss / 1024, time.monotonic() - started,
                                              Handler.hits.get(path, 0),
                                              [l for l in output.splitlines() if l.startswith("Error")]))
    server.shutdown()
    shutil.rmtree(home)


def idle(seconds=60):
    feeds = [("Feed %03d" % i, 1000 + i, "http://127.0.0.1:9/feed") for i in range(100)]
    home, env = home_with_feeds(feeds)
    env["QT_QPA_PLATFORM"] = env.get("BENCH_QPA", "offscreen")
    child = subprocess.Popen([EXE], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(10)  # start-up and the first ticks
    cpu, writes, start = cpu_seconds(child.pid), written_bytes(child.pid), time.monotonic()
    time.sleep(seconds)
    used = cpu_seconds(child.pid) - cpu
    wrote = written_bytes(child.pid) - writes
    elapsed = time.monotonic() - start
    child.terminate()
    child.wait()
    shutil.rmtree(home)
    print("idle window, 100 feeds counting: %.2f%% of a core over %.0f s, %d bytes written (%s platform)"
          % (100 * used / elapsed, elapsed, wrote, env["QT_QPA_PLATFORM"]))


def headless(minutes):
    server, base = serve()
    feeds = [("Feed %03d" % i, 2 + i % 4, base + "/feed/f%03d" % i) for i in range(200)]
    feeds.append(("Trickle", 1, base + "/feed/trickle"))
    home, env = home_with_feeds(feeds)
    env["TIDEWELL_SECONDS_PER_MINUTE"] = "1"  # minutes 2 to 5 are seconds here
    out = open(os.path.join(home, "out.txt"), "w")
    child = subprocess.Popen([EXE, "--headless"], env=env, stdout=out, stderr=subprocess.DEVNULL)
    memory = []
    end = time.monotonic() + minutes * 60
    while time.monotonic() < end:
        time.sleep(10)
        memory.append(rss_mib(child.pid))
    child.send_signal(signal.SIGTERM)
    child.wait()
    out.close()
    done = {}
    for line in open(os.path.join(home, "out.txt")):
        match = re.match(r"(\S+) (.+?): (.*)", line.rstrip("\n"))
        if match:
            done.setdefault(match.group(2), []).append((datetime.fromisoformat(match.group(1)), match.group(3)))
    worst, late, count = 0.0, 0, 0
    for name, minute, _ in feeds[:-1]:
        times = [t for t, outcome in done.get(name, []) if outcome.startswith("Done.")]
        count += len(times)
        for a, b in zip(times, times[1:]):
            stray = abs((b - a).total_seconds() - minute)
            worst = max(worst, stray)
            late += stray > 1
    expected = sum(minutes * 60 / m for _, m, _ in feeds[:-1])
    print("headless, 200 feeds due every 2-5 s for %d min while a transfer trickles:" % minutes)
    print("  downloads: %d of about %.0f; worst stray from a feed's pace: %.0f s; gaps over 1 s: %d"
          % (count, expected, worst, late))
    print("  trickling feed finished: %s" % ("yes" if done.get("Trickle") else "no (still running, as meant)"))
    print("  memory (RSS MiB): first %.1f, last %.1f, max %.1f" % (memory[0], memory[-1], max(memory)))
    server.shutdown()
    shutil.rmtree(home)


def burst_feeds(count, port):
    """Feeds on two loopback hosts, so four transfers may run at once."""
    return [("Feed %04d" % i, 1, "http://127.0.0.%d:%d/feed/b%04d" % (1 + i % 2, port, i)) for i in range(count)]


def count_open_files(pid):
    try:
        return len(os.listdir("/proc/%d/fd" % pid))
    except OSError:
        return 0


def start_burst(count, command_prefix=()):
    """A headless scheduler whose `count` feeds all fall due a minute after it
    starts (minute 1: the same second for every feed)."""
    server, _ = serve("0.0.0.0")
    home, env = home_with_feeds(burst_feeds(count, server.server_address[1]))
    out = open(os.path.join(home, "out.txt"), "w")
    limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (1024, 1024))
    child = subprocess.Popen(list(command_prefix) + [EXE, "--headless"], env=env, stdout=out,
                             stderr=subprocess.DEVNULL, preexec_fn=limit)
    due = time.monotonic() + 60
    return server, home, out, child, due


def done_lines(home):
    with open(os.path.join(home, "out.txt")) as out:
        return [line for line in out if ": Done." in line]


def burst(count=1000):
    Handler.peak_answering = 0
    server, home, out, child, due = start_burst(count)
    peak_files, finished = 0, None
    while time.monotonic() < due + 300:
        peak_files = max(peak_files, count_open_files(child.pid))
        if time.monotonic() >= due and len(done_lines(home)) >= count:
            finished = time.monotonic() - due
            break
        time.sleep(0.01)
    done = len(done_lines(home))
    failed = sum(1 for line in open(os.path.join(home, "out.txt")) if ": Done." not in line)
    child.send_signal(signal.SIGTERM)
    child.wait()
    out.close()
    print("burst: %d feeds due in the same second, ulimit -n 1024, two loopback hosts" % count)
    print("  downloaded: %d of %d (%d failure lines); last done %s after they fell due"
          % (done, count, failed, "%.1f s" % finished if finished is not None else "not within 5 minutes"))
    print("  open files at most: %d; transfers answered at once at most: %d" % (peak_files, Handler.peak_answering))
    server.shutdown()
    shutil.rmtree(home)


def sigterm(count=1000):
    server, home, out, child, due = start_burst(count)
    while time.monotonic() < due + 300 and len(done_lines(home)) < count // 4:
        time.sleep(0.01)
    before = len(done_lines(home))
    sent = time.monotonic()
    child.send_signal(signal.SIGTERM)
    child.wait()
    gone = time.monotonic() - sent
    out.close()
    after = len(done_lines(home)) - before
    print("sigterm during a burst of %d (after %d were done): exit status %d, gone %.3f s after the signal, "
          "%d lines reported after it" % (count, before, child.returncode, gone, after))
    server.shutdown()
    shutil.rmtree(home)


def fsync(count=400):
    trace = tempfile.mktemp(prefix="tidewell-strace-")
    server, home, out, child, due = start_burst(
        count, ["strace", "-f", "-c", "-o", trace, "-e", "trace=fsync,fdatasync"])
    while time.monotonic() < due + 600 and len(done_lines(home)) < count:
        time.sleep(0.1)
    done = len(done_lines(home))
    # strace ends once the traced program has: stop the program itself.
    children = open("/proc/%d/task/%d/children" % (child.pid, child.pid)).read().split()
    os.kill(int(children[0]), signal.SIGTERM)
    child.wait()
    out.close()
    calls = {}
    for line in open(trace):
        fields = line.split()
        if fields and fields[-1] in ("fsync", "fdatasync"):
            calls[fields[-1]] = int(fields[3])
    os.remove(trace)
    total = sum(calls.values())
    print("fsync: %d downloads in a burst of %d: %s, %.2f per download"
          % (done, count, ", ".join("%s %d" % item for item in sorted(calls.items())) or "no calls",
             total / max(done, 1)))
    server.shutdown()
    shutil.rmtree(home)


if __name__ == "__main__":
    for what in sys.argv[2:] or ["endless", "idle", "headless", "burst", "sigterm", "fsync"]:
        if what == "endless":
            endless()
        elif what == "idle":
            idle()
        elif what == "headless":
            headless(int(os.environ.get("BENCH_MINUTES", "10")))
        elif what == "burst":
            burst()
        elif what == "sigterm":
            sigterm()
        elif what == "fsync":
            fsync()
