#!/usr/bin/env python3
"""The batch's memory for bench/fleet, once a second while it runs: the batch
process's and its runs' resident sets summed, one tab-separated line a sample
(time, runs, rss_kb, pss_kb, largest_run_rss_kb, batch_ticks). VmRSS counts the
pages that processes share (the program, its libraries) in each of them; Pss
shares them out, so its sum is what the batch holds. batch_ticks is the batch
process's own CPU so far (its runs' apart), in clock ticks.

It reads /proc itself: a shell loop that starts a reader per process took a
second of CPU per sample with a thousand runs, taken from the batch it
measured. A run that ends between the listing and the reading counts as
nothing. Asserts nothing."""

import os
import sys
import time


def children(pid):
    """The process ids of pid's children, oldest first; none once it is gone."""
    found = []
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/children") as f:
                found += [int(p) for p in f.read().split()]
    except OSError:
        pass
    return found


def field_kb(path, field):
    """The value in kB of one field of a /proc status-like file, None when unreadable."""
    try:
        with open(path) as f:
            for line in f:
                name, _, rest = line.partition(":")
                if name == field:
                    return int(rest.split()[0])
    except (OSError, ValueError, IndexError):
        pass
    return None


def cpu_ticks(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])
    except (OSError, ValueError, IndexError):
        return 0


def main():
    timer = int(sys.argv[1])  # /usr/bin/time, whose child is the batch
    batch = None
    for _ in range(100):
        found = children(timer)
        if found:
            batch = found[0]
            break
        time.sleep(0.01)
    if batch is None:
        return
    while os.path.exists(f"/proc/{batch}"):
        now = time.time()
        ticks = cpu_ticks(batch)
        runs = rss = pss = largest = 0
        for pid in [batch] + children(batch):
            resident = field_kb(f"/proc/{pid}/status", "VmRSS")
            if resident is None:
                continue
            rss += resident
            pss += field_kb(f"/proc/{pid}/smaps_rollup", "Pss") or 0
            if pid != batch:
                runs += 1
                largest = max(largest, resident)
        print(f"{now:.6f}\t{runs}\t{rss}\t{pss}\t{largest}\t{ticks}", flush=True)
        time.sleep(1)


if __name__ == "__main__":
    main()
