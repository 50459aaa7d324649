#!/usr/bin/env python3
"""One adapter's run, alone, and its CPU time by phase, for bench/fleet: runs
`orb-upgrade --unattended` for one adapter, samples every thread of the run's
process (/proc/PID/task/*/schedstat, and its context switches) every 2 ms and
at each event line it prints, and writes one line a phase: name, CPU in ms,
context switches (wake-ups), tab-separated. A thread that has ended keeps what
it was last seen at, so the little it did after the last sample is missed.
Asserts nothing."""

import argparse
import glob
import json
import os
import subprocess
import threading
import time

from fleet_memory import children  # the same folder


def thread_totals(pid, seen):
    """Updates seen[tid] = (cpu ns, switches) for every live thread of pid."""
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(task + "/schedstat") as f:
                ns = int(f.read().split()[0])
            switches = 0
            with open(task + "/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except (OSError, ValueError, IndexError):
            continue
        seen[task] = (ns, switches)


def total(seen):
    return sum(v[0] for v in seen.values()), sum(v[1] for v in seen.values())


def first_child(pid):
    """The process id of pid's first child (the run), None while it has none."""
    found = children(pid)
    return found[0] if found else None


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--upgrade", required=True)
    p.add_argument("--address", required=True)
    p.add_argument("--pc-address", required=True)
    a = p.parse_args()

    batch = subprocess.Popen([a.upgrade, "--unattended", "--accept-warning", "--json", "--force", "--pc-address",
                              a.pc_address, "--address", a.address], stdout=subprocess.PIPE)
    run_seen, batch_seen = {}, {}
    lock = threading.Lock()
    state = {"run": None, "done": False}

    def sample():
        while not state["done"]:
            with lock:
                if state["run"] is None:
                    state["run"] = first_child(batch.pid)
                if state["run"] is not None:
                    thread_totals(state["run"], run_seen)
                thread_totals(batch.pid, batch_seen)
            time.sleep(0.002)

    sampler = threading.Thread(target=sample)
    sampler.start()
    marks = []  # (phase that ends here, cpu ns, switches)
    last_upload = None
    for raw in batch.stdout:
        try:
            event = json.loads(raw)
        except ValueError:
            continue
        name = event.get("event")
        with lock:
            if state["run"] is None:  # its first line came before the sampler saw it
                state["run"] = first_child(batch.pid)
            if state["run"] is not None:
                thread_totals(state["run"], run_seen)
            now = total(run_seen)
        if name == "warning" and not marks:
            marks.append(("the run's start (fork) until its first event", *now))
        elif name == "upload-started":
            marks.append(("the dialogs, the status query, the trigger, the read request", *now))
        elif name == "upload":
            last_upload = now
        elif name == "restart-wait" and last_upload is not None and marks[-1][0].startswith("the dialogs"):
            marks.append(("the transfer (1,423 blocks and their ACKs)", *last_upload))
        elif name == "connecting" and marks and marks[-1][0].startswith("the transfer"):
            marks.append(("the restart wait (49.984 s)", *now))
    batch.wait()
    state["done"] = True
    sampler.join()
    end = total(run_seen)
    marks.append(("the check after the restart and the end", *end))
    previous = (0, 0)
    for name, ns, switches in marks:
        print(f"{name}\t{(ns - previous[0]) / 1e6:.2f}\t{switches - previous[1]}")
        previous = (ns, switches)
    print(f"the run, in all\t{end[0] / 1e6:.2f}\t{end[1]}")
    batch_total = total(batch_seen)
    print(f"the batch process (start-up, its reading, the end; a batch of N shares it)\t"
          f"{batch_total[0] / 1e6:.2f}\t{batch_total[1]}")


if __name__ == "__main__":
    main()
