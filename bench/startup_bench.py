#!/usr/bin/env python3
"""Start-up of the window: time from the start of the process to its window
mapped, and peak memory, for a bare Qt window and for the program with no
feeds and with 1,000 feeds, on an X server of its own (Xvfb, no window
manager). The three are run in turn, round after round, so that whatever
else the machine does weighs on each alike; the medians are reported.

Usage: startup_bench.py EXECUTABLE MAP_TIMER BARE_WINDOW
BENCH_ROUNDS sets the number of rounds (15 by default).
"""
import os
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile

EXE, MAP_TIMER, BARE = (os.path.abspath(path) for path in sys.argv[1:4])
BLANK = os.path.join(os.path.dirname(EXE), "dbBlank.mdb")
ROUNDS = int(os.environ.get("BENCH_ROUNDS", "15"))
# Long enough for the start-up's own work after the window is mapped.
SETTLE_MS = "1500"
TARGET_RATIO = 1.3
TARGET_PEAK_MIB = 35


def make_home(root, name, feeds):
    home = os.path.join(root, name)
    data = os.path.join(home, ".local/share/Marrowby/Tidewell Episode Keeper")
    os.makedirs(data)
    os.makedirs(os.path.join(home, "Desktop"))
    os.makedirs(os.path.join(home, "runtime"), mode=0o700)
    shutil.copy(BLANK, os.path.join(data, "dbData.mdb"))
    os.chmod(os.path.join(data, "dbData.mdb"), 0o600)
    with sqlite3.connect(os.path.join(data, "dbData.mdb")) as db:
        db.execute("delete from rss")
        # Intervals of days: nothing falls due while the start is measured.
        db.executemany("insert into rss values (?, ?, ?, ?, ?, 1)",
                       [("Feed %04d" % i, 1440 + i, "feed-%04d.mp3" % i, home + "/Desktop/",
                         "http://127.0.0.1:9/feed-%d.xml" % i) for i in range(feeds)])
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_DATA_HOME=home + "/.local/share",
               XDG_STATE_HOME=home + "/.local/state", XDG_CACHE_HOME=home + "/.cache",
               XDG_RUNTIME_DIR=home + "/runtime", DBUS_SESSION_BUS_ADDRESS="unix:path=" + root + "/no-bus",
               QT_QPA_PLATFORM="xcb")
    for name in ("SESSION_MANAGER", "WAYLAND_DISPLAY", "QT_SCALE_FACTOR", "XAUTHORITY"):
        env.pop(name, None)
    return env


def measure(command, env):
    out = subprocess.run([MAP_TIMER, SETTLE_MS] + command, env=env, check=True, capture_output=True,
                         text=True, timeout=60).stdout.split()
    return float(out[0]), int(out[1]) / 1024.0


def main():
    root = tempfile.mkdtemp(prefix="startup-bench-")
    xvfb = None
    try:
        display_file = os.path.join(root, "display")
        with open(display_file, "w") as fd:
            xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(fd.fileno()), "-screen", "0", "1280x800x24",
                                     "-nolisten", "tcp", "-noreset"], pass_fds=[fd.fileno()],
                                    stderr=subprocess.DEVNULL)
        for _ in range(100):
            with open(display_file) as fd:
                number = fd.read().strip()
            if number:
                break
            subprocess.run(["sleep", "0.1"])
        os.environ["DISPLAY"] = ":" + number
        variants = [("bare Qt window", [BARE], make_home(root, "bare", 0)),
                    ("program, no feeds", [EXE], make_home(root, "empty", 0)),
                    ("program, 1,000 feeds", [EXE], make_home(root, "full", 1000))]
        # The first start makes the schedule state; every later one resumes it.
        for _, command, env in variants:
            measure(command, env)
        times = {name: [] for name, _, _ in variants}
        peaks = {name: [] for name, _, _ in variants}
        for _ in range(ROUNDS):
            for name, command, env in variants:
                ms, mib = measure(command, env)
                times[name].append(ms)
                peaks[name].append(mib)
        print("start-up to the window mapped, medians of %d interleaved rounds under Xvfb:" % ROUNDS)
        for name, _, _ in variants:
            print("  %-22s %7.1f ms   peak %5.1f MiB" % (name, statistics.median(times[name]),
                                                       statistics.median(peaks[name])))
        bare = statistics.median(times["bare Qt window"])
        full = statistics.median(times["program, 1,000 feeds"])
        peak = statistics.median(peaks["program, 1,000 feeds"])
        print("  1,000 feeds / bare: %.2f (goal: at most %.1f); peak with 1,000 feeds %.1f MiB (goal: at most %d)"
              % (full / bare, TARGET_RATIO, peak, TARGET_PEAK_MIB))
    finally:
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
