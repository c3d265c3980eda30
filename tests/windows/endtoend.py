#!/usr/bin/env python3
"""Lenscout.exe under Wine, end to end in a virtual LAN of scripts/testnet,
against the Linux build of the same sources with the same simulated cameras:

- the records are the Linux tool's, byte for byte, with every LF as CR LF;
- the tool ends with 0 about 6 s after the last answer;
- without a global address it ends at once with 0 and prints nothing;
- --version prints the version from the executable's version resource;
- the Windows build of the runner (the probe driver) cuts the CR LF records
  into the same (name, address) pairs as the Linux one.

Run as root by scripts/check-windows, with WINEPREFIX and WINEPATH set.
"""

import argparse
import json
import os
import re
import shlex
import subprocess
import sys
import time

RUN_TIMEOUT = 60
failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message, flush=True)
    if not condition:
        failures.append(message)


class Network:
    """One virtual LAN ('up') or a lone namespace ('bare'), removed on close."""

    def __init__(self, testnet, kind, name):
        self.testnet = testnet
        self.name = name
        subprocess.run([testnet, kind, name], check=True)

    def command(self, side, argv):
        return ["ip", "netns", "exec", f"{self.name}-{side}"] + argv

    def close(self):
        subprocess.run([self.testnet, "down", self.name], check=True)


class Wine:
    """Wine's services started inside the namespace of the program they serve."""

    def __init__(self, loader, server):
        self.loader = loader
        self.server = server

    def __enter__(self):
        return self

    def start(self, network):
        self.stop()
        subprocess.run(network.command("h", [self.server, "-p"]), check=True)
        # Wine's services start now, so that they hold no pipe of a program.
        subprocess.run(network.command("h", [self.loader, "wineboot"]), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

    def stop(self):
        subprocess.run([self.server, "-k"], stderr=subprocess.DEVNULL)
        subprocess.run([self.server, "-w"], check=True)

    def __exit__(self, *exc):
        self.stop()


def run(network, argv, stderr=None):
    """Runs argv in the host namespace; returns (status, stdout, end time)."""
    done = subprocess.run(network.command("h", argv), stdout=subprocess.PIPE, stderr=stderr,
                          timeout=RUN_TIMEOUT)
    return done.returncode, done.stdout, time.time()


def records(output, newline):
    """The records, each with its line ends, in the order printed."""
    head = newline + b"["
    parts = output.split(head)
    check(parts[0] == b"", "the output starts with a record")
    return sorted(head + part for part in parts[1:])


def answer_times(logs, since):
    times = []
    for log in logs:
        with open(log, encoding="utf-8") as lines:
            times += [t for t in (json.loads(line).get("t", 0) for line in lines) if t >= since]
    return times


def pairs(output):
    found = set()
    for line in output.decode("utf-8").splitlines():
        entry = json.loads(line)
        if "name" in entry:
            found.add((entry["name"], entry["address"]))
    return found


def main():
    parser = argparse.ArgumentParser()
    for option in ("testnet", "sim-dir", "scratch", "linux-lenscout", "linux-driver",
                   "windows-lenscout", "windows-driver", "wine", "wineserver"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()
    wine_lenscout = [args.wine, args.windows_lenscout]
    driver_options = ["--scans", "1", "--scan-seconds", "12"]

    with Wine(args.wine, args.wineserver) as wine:
        lan = Network(args.testnet, "up", f"lcw{os.getpid()}e")
        simulators = []
        try:
            logs = []
            for side, address, names in (("a", "192.0.2.10", "Front Door %d"),
                                         ("b", "198.51.100.10", "Yard %d")):
                log = os.path.join(args.scratch, f"camera-{side}.log")
                logs.append(log)
                simulator = subprocess.Popen(
                    lan.command(side, ["python3", os.path.join(args.sim_dir, "camera_sim.py"),
                                       "--address", address, "--devices", "20",
                                       "--name-prefix", names, "--log", log]),
                    stdout=subprocess.PIPE)
                simulators.append(simulator)
                check(simulator.stdout.readline().strip() == b"ready", f"camera simulator {side}")

            status, linux_output, _ = run(lan, [args.linux_lenscout])
            check(status == 0 and linux_output.count(b"\n") == 3 * 40,
                  f"Linux Lenscout: status {status}, 40 records")

            wine.start(lan)
            started = time.time()
            status, windows_output, ended = run(lan, wine_lenscout)
            wine.stop()
            check(status == 0, f"Lenscout.exe ends with status {status}")
            check(windows_output.count(b"\n") == windows_output.count(b"\r\n"),
                  "Lenscout.exe ends every line with CR LF")
            check(records(windows_output, b"\r\n") ==
                  records(linux_output.replace(b"\n", b"\r\n"), b"\r\n"),
                  "Lenscout.exe prints the Linux records byte for byte, LF as CR LF")
            answers = answer_times(logs, started)
            quiet = ended - max(answers) if answers else -1
            check(len(answers) >= 40 and 5.9 < quiet < 9.0,
                  f"Lenscout.exe ends {quiet:.2f} s after the last of {len(answers)} answers")

            status, linux_driver, _ = run(lan, [args.linux_driver] + driver_options,
                                       subprocess.DEVNULL)
            check(status == 0, f"Linux probe driver: status {status}")
            wine.start(lan)
            status, windows_driver, _ = run(lan, [args.wine, args.windows_driver] + driver_options,
                                         subprocess.DEVNULL)
            wine.stop()
            check(status == 0, f"Windows probe driver: status {status}")
            linux_pairs = pairs(linux_driver)
            check(len(linux_pairs) == 40 and pairs(windows_driver) == linux_pairs,
                  f"the Windows runner cuts the same {len(linux_pairs)} pairs as the Linux one")
        finally:
            for simulator in simulators:
                simulator.terminate()
                simulator.wait()
            wine.stop()
            lan.close()

        alone = Network(args.testnet, "bare", f"lcw{os.getpid()}n")
        try:
            wine.start(alone)
            started = time.time()
            status, output, ended = run(alone, wine_lenscout)
            check(status == 0 and output == b"" and ended - started < 3,
                  f"without a global address: status {status}, {len(output)} bytes, "
                  f"{ended - started:.2f} s")
            _, linux_version, _ = run(alone, [args.linux_lenscout, "--version"])
            # Without a console or redirected handles Qt shows the version in
            # a message box, so the tool gets a console on a terminal here.
            command = shlex.join(wine_lenscout + ["--version"])
            status, screen, _ = run(alone, ["script", "-qec", command, "/dev/null"])
            version = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", screen.replace(b"\x1b[1C", b" "))
            check(status == 0 and version.split() == linux_version.split(),
                  f"--version prints {version.strip()!r} from the version resource")
        finally:
            wine.stop()
            alone.close()

    if failures:
        print(f"{len(failures)} check(s) failed", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
