#!/usr/bin/env python3
"""Times commands in interleaved rounds: each round runs every command once,
in turn, so that the machine's drift touches them all alike. Prints one line
per command: its name, the median wall time in milliseconds, and its peak
resident memory in KiB ('-' for a command that needs a shell).

Usage: interleave.py ROUNDS PREPARE NAME=COMMAND [NAME=COMMAND ...]
PREPARE runs before every command and is not timed."""
import shlex
import statistics
import subprocess
import sys
import tempfile
import time

SHELL_CHARS = set("<>|&;$`'\"")


def is_direct(cmd):
    return not (SHELL_CHARS & set(cmd))


def run(cmd):
    """Runs cmd with its output discarded; returns the seconds it took."""
    args = shlex.split(cmd) if is_direct(cmd) else ["/bin/sh", "-c", cmd]
    start = time.perf_counter()
    subprocess.run(args, stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def peak_rss_kib(cmd):
    """Peak resident memory of a command, from GNU time: a small C program, so
    that what its child held before exec does not count, as a fork of this
    Python process would."""
    if not is_direct(cmd):
        return "-"
    with tempfile.NamedTemporaryFile("r") as out:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out.name] + shlex.split(cmd),
                       stdout=subprocess.DEVNULL, check=True)
        return out.read().strip()


def main():
    rounds, prepare = int(sys.argv[1]), sys.argv[2]
    commands = [arg.split("=", 1) for arg in sys.argv[3:]]
    times = {name: [] for name, _ in commands}
    for r in range(rounds + 1):  # the first round warms the caches and is not counted
        for name, cmd in commands:
            subprocess.run(prepare, shell=True, check=True)
            elapsed = run(cmd)
            if r > 0:
                times[name].append(elapsed)
    for name, cmd in commands:
        subprocess.run(prepare, shell=True, check=True)
        print(name, round(1000 * statistics.median(times[name])), peak_rss_kib(cmd))


if __name__ == "__main__":
    main()
