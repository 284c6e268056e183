#!/usr/bin/env python3
"""Runs the CTest entries of a build tree and prints each one's wall time and the CPU time of it and
every process it reaped (Xvfb, velora, sound servers), the costliest first.

    scripts/test-cost.py build [-R REGEX] [-j N] [--top N] [--tsv FILE]

CPU is the test process's own rusage (os.wait4), which counts a grandchild only once its parent
waited for it; it stays the test's own whatever runs beside it. Wall times grow with -j.
Entries start as CTest starts them in a new tree: the costliest (COST) first, each taking its
PROCESSORS of the -j slots. Its --tsv file is what tests/schedule/costs.tsv holds.
"""
import argparse
import json
import os
import re
import resource
import subprocess
import sys
import signal
import time


def tests(build, regex):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                         capture_output=True, text=True).stdout
    for t in json.loads(out)["tests"]:
        if regex and not re.search(regex, t["name"]):
            continue
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        if props.get("DISABLED"):
            continue
        env = dict(os.environ)
        for e in props.get("ENVIRONMENT", []):
            name, _, value = e.partition("=")
            env[name] = value
        yield (t["name"], t["command"], props.get("WORKING_DIRECTORY", build), env,
               float(props.get("TIMEOUT", 300)), float(props.get("COST", 0)),
               int(props.get("PROCESSORS", 1)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("-R", dest="regex")
    ap.add_argument("-j", dest="jobs", type=int, default=1)
    ap.add_argument("--top", type=int, default=20)
    ap.add_argument("--tsv", help="every test's figures, one line each")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    pending = sorted(tests(build, args.regex), key=lambda t: -t[5])
    running = {}  # pid -> (name, start, timeout, Popen, slots)
    rows = []
    begun = time.monotonic()
    while pending or running:
        free = args.jobs - sum(r[4] for r in running.values())
        for t in list(pending):
            slots = min(max(t[6], 1), args.jobs)
            if slots > free:
                continue
            pending.remove(t)
            name, cmd, cwd, env, timeout = t[:5]
            # Taken before the start: a parent that the machine holds up after the fork must not
            # make a test look shorter than it was.
            start = time.monotonic()
            p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, start_new_session=True)
            running[p.pid] = (name, start, timeout, p, slots)
            free -= slots
        pid, status, usage = os.wait4(-1, os.WNOHANG)
        if pid == 0:
            for name, start, timeout, p, _ in list(running.values()):
                if time.monotonic() - start > timeout:
                    os.killpg(p.pid, signal.SIGKILL)
            time.sleep(0.02)
            continue
        if pid not in running:
            continue
        name, start, _, p, _ = running.pop(pid)
        p.returncode = 0  # reaped here; keeps Popen from waiting for it again
        wall = time.monotonic() - start
        cpu = usage.ru_utime + usage.ru_stime
        code = os.waitstatus_to_exitcode(status)
        rows.append((name, wall, cpu, code))
        print(f"{wall:7.2f} {cpu:7.2f} {code} {name}", file=sys.stderr, flush=True)
    elapsed = time.monotonic() - begun
    if args.tsv:
        with open(args.tsv, "w") as f:
            for r in rows:
                f.write("%s\t%.3f\t%.3f\t%s\n" % r)
    wall = sum(r[1] for r in rows)
    cpu = sum(r[2] for r in rows)
    print(f"{len(rows)} tests at -j{args.jobs}: {elapsed:.1f} s wall ({wall:.1f} s added up), "
          f"{cpu:.1f} s CPU")
    for title, key in (("CPU", 2), ("wall", 1)):
        print(f"\nby {title}:   wall     CPU  test")
        for r in sorted(rows, key=lambda r: -r[key])[:args.top]:
            print(f"        {r[1]:7.2f} {r[2]:7.2f}  {r[0]}" + ("" if r[3] == 0 else f"  ({r[3]})"))
    failed = [r[0] for r in rows if r[3] != 0]
    if failed:
        print("\nfailed: " + " ".join(failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
