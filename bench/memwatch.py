#!/usr/bin/env python3
"""Runs a command and reports its wall time and the peak memory of it and all its descendants
together (the sum of their proportional set sizes, sampled every 100 ms).

usage: memwatch.py COMMAND...   prints: SECONDS PEAK_MIB EXIT_CODE
"""
import os
import subprocess
import sys
import time


def children():
    parents = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            parents.setdefault(int(fields[1]), []).append(int(pid))
        except OSError:
            pass
    return parents


def tree(root):
    parents = children()
    stack, found = [root], []
    while stack:
        pid = stack.pop()
        found.append(pid)
        stack.extend(parents.get(pid, []))
    return found


def pss(pid):
    try:
        with open("/proc/%d/smaps_rollup" % pid) as f:
            for line in f:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


start = time.monotonic()
process = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
peak = 0
while process.poll() is None:
    peak = max(peak, sum(pss(p) for p in tree(process.pid)))
    time.sleep(0.1)
print("%.3f %d %d" % (time.monotonic() - start, peak // 1024, process.returncode))
