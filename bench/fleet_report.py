#!/usr/bin/env python3
"""bench/fleet's report: report.md and finished.png from what one batch left
in its folder (events.tsv, time.txt, rss.tsv). Asserts nothing."""

import argparse
import json
import math
import os
import re
import shutil
import statistics
import time

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

RESTART_WAIT_S = 49.984  # each adapter's run waits this long for the restart
# Wall time within this many times the limit. The transfers of runs beyond
# the listener's 100 ports take turns before their restart waits: a thousand
# in one round add half a minute to it.
TARGET = 1.1
TARGET_BEYOND_PORTS = 1.5


def read_time_v(path):
    """The fields of /usr/bin/time -v that the report uses."""
    fields = {}
    with open(path) as f:
        for line in f:
            name, _, value = line.strip().rpartition(": ")
            fields[name] = value
    return {
        "user": float(fields.get("User time (seconds)", "nan")),
        "sys": float(fields.get("System time (seconds)", "nan")),
        "max_rss_kb": int(fields.get("Maximum resident set size (kbytes)", "0")),
        "voluntary": int(fields.get("Voluntary context switches", "0")),
        "involuntary": int(fields.get("Involuntary context switches", "0")),
    }


def read_events(path, start):
    """(seconds since the start, event) for every JSON line; the other lines counted."""
    events, other = [], 0
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            stamp, _, text = line.rstrip("\n").partition("\t")
            try:
                event = json.loads(text)
            except ValueError:
                other += 1
                continue
            events.append((float(stamp) - start, event))
    return events, other


def read_rss(path):
    rows = []
    with open(path) as f:
        next(f, None)
        for line in f:
            parts = line.split()
            if len(parts) >= 5:  # time, runs, rss, pss, largest run, [the batch process's CPU ticks]
                rows.append((float(parts[0]), int(parts[1]), int(parts[2]), int(parts[3]), int(parts[4]),
                             int(parts[5]) if len(parts) > 5 else 0))
    return rows


def read_stats(path):
    """The most runs serving and exchanges at once (ORB_BATCH_STATS), or {}."""
    stats = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                name, _, value = line.partition(" ")
                stats[name] = int(value)
    return stats


def mib(kb):
    return f"{kb / 1024:.1f} MiB"


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(math.ceil(share * len(ordered))) - 1)]


def draw(path, finished, failed, count, parallel, wall, limit):
    fig, ax = plt.subplots(figsize=(8, 4.5), dpi=100)
    rounds = math.ceil(count / parallel)
    # The floor: every round of `parallel` runs ends exactly 49.984 s after the last.
    floor_t = [0] + [k * RESTART_WAIT_S for k in range(1, rounds + 1)]
    floor_n = [0] + [min(count, k * parallel) for k in range(1, rounds + 1)]
    ax.step(floor_t, floor_n, where="post", linestyle="--", color="grey",
            label=f"the limit: {rounds} × 49.984 s")
    ax.step([0] + finished + [wall], list(range(len(finished) + 1)) + [len(finished)], where="post",
            color="tab:blue", label="adapters finished")
    if failed:
        ax.plot(failed, [finished.index(t) + 1 for t in failed], "x", color="tab:red", label="of which failed")
    ax.axvline(limit * TARGET, color="tab:orange", linewidth=0.8, linestyle=":", label=f"{TARGET} × the limit")
    ax.set_xlabel("seconds since the batch started")
    ax.set_ylabel("adapters finished")
    ax.set_xlim(0, max(wall, limit * TARGET) * 1.03)
    ax.set_ylim(0, count * 1.05)
    ax.set_title(f"{count} adapters, --parallel {parallel}: {wall:.1f} s, {wall / limit:.3f} × the limit")
    ax.grid(alpha=0.3)
    ax.legend(loc="upper left")
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main():
    p = argparse.ArgumentParser()
    for name in ("out", "command", "machine", "program", "load", "load-after", "picture-copy"):
        p.add_argument("--" + name, required=True)
    for name in ("count", "parallel", "status", "sim-peak-kb"):
        p.add_argument("--" + name, type=int, required=True)
    for name in ("start", "end", "sim-cpu"):
        p.add_argument("--" + name, type=float, required=True)
    p.add_argument("--clock-ticks", type=int, default=100)
    a = p.parse_args()

    wall = a.end - a.start
    rounds = math.ceil(a.count / a.parallel)
    limit = rounds * RESTART_WAIT_S
    target = TARGET_BEYOND_PORTS if a.parallel > 100 else TARGET
    usage = read_time_v(os.path.join(a.out, "time.txt"))
    cpu = usage["user"] + usage["sys"]
    events, other_lines = read_events(os.path.join(a.out, "events.tsv"), a.start)
    rss = read_rss(os.path.join(a.out, "rss.tsv"))
    stats = read_stats(os.path.join(a.out, "stats.txt"))
    batch_cpu = max((r[5] for r in rss), default=0) / a.clock_ticks  # the batch process alone
    results = {}  # adapter -> (seconds, result event); the last one counts
    run_ms = []
    for t, e in events:
        if e.get("event") == "result":
            results[e.get("adapter")] = (t, e)
        elif e.get("event") == "summary":
            run_ms.append(e.get("milliseconds", 0))
    by_result = {}
    for _, e in results.values():
        by_result[e.get("result", "?")] = by_result.get(e.get("result", "?"), 0) + 1
    successes = by_result.get("success", 0)
    finished = sorted(t for t, _ in results.values())
    failed = sorted(t for t, e in results.values() if e.get("result") != "success")

    picture = os.path.join(a.out, "finished.png")
    draw(picture, finished, failed, a.count, a.parallel, wall, limit)
    shutil.copyfile(picture, a.picture_copy)

    peak_rss = max(rss, key=lambda r: r[2]) if rss else None
    peak_pss = max(rss, key=lambda r: r[3]) if rss else None
    lines = [
        f"# Fleet benchmark, {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime(a.start))}",
        "",
        f"- Command: `{a.command}`",
        f"- Machine: {a.machine}",
        f"- Programs: {a.program}",
        f"- {a.count} adapters (one orb-sim, 127.10.0.1 on, --restart-ms 2000), --parallel {a.parallel}",
        f"- Load average before: {a.load}; after: {a.load_after}",
        f"- orb-upgrade's exit status: {a.status}",
        "",
        "| measure | value |",
        "|---|---|",
        f"| wall time | {wall:.1f} s |",
        f"| the limit: {rounds} round{'s' if rounds > 1 else ''} × 49.984 s | {limit:.1f} s |",
        f"| wall ÷ limit (target ≤ {target}) | {wall / limit:.3f}: {'met' if wall / limit <= target else 'missed'} |",
        f"| CPU, user + sys, the batch and every run | {usage['user']:.2f} + {usage['sys']:.2f} = {cpu:.2f} s |",
        f"| CPU per adapter | {cpu / a.count * 1000:.1f} ms |",
        f"| of which the batch process itself (sampled each second) | {batch_cpu:.2f} s,"
        f" {batch_cpu / a.count * 1000:.1f} ms per adapter |",
        f"| CPU ÷ wall (share of one core, average) | {cpu / wall * 100:.2f} % |",
    ]
    if rss:
        lines += [
            f"| peak memory, the batch and its runs at once: sum of VmRSS (sampled each second) |"
            f" {mib(peak_rss[2])} ({peak_rss[1]} runs, {peak_rss[0] - a.start:.0f} s in) |",
            f"| the same, sum of Pss (shared pages shared out) | {mib(peak_pss[3])}"
            f" ({peak_pss[1]} runs, {peak_pss[0] - a.start:.0f} s in) |",
        ]
    lines += [
        f"| largest single process (time -v, max RSS) | {mib(usage['max_rss_kb'])} |",
        f"| context switches, voluntary / involuntary (time -v) | {usage['voluntary']:,} / {usage['involuntary']:,} |",
        f"| most runs serving at once (holding a listener port's turn) | {stats.get('most-serving', '?')} |",
        f"| most HTTP exchanges at once | {stats.get('most-exchanges', '?')} |",
        f"| successes | {successes} of {a.count} |",
        f"| failures | {a.count - successes} |",
    ]
    if run_ms:
        lines.append(
            f"| one adapter's run: min / median / p90 / max | {min(run_ms) / 1000:.1f} / "
            f"{statistics.median(run_ms) / 1000:.1f} / {percentile(run_ms, 0.9) / 1000:.1f} / "
            f"{max(run_ms) / 1000:.1f} s |")
    if finished:
        lines.append(f"| first and last adapter finished | {finished[0]:.1f} s, {finished[-1]:.1f} s |")
    lines += [
        f"| orb-sim, the whole fleet (not counted above): CPU, per adapter, peak memory |"
        f" {a.sim_cpu:.2f} s, {a.sim_cpu / a.count * 1000:.1f} ms, {mib(a.sim_peak_kb)} |",
        "",
        "Results: " + ", ".join(f"{name} {n}" for name, n in sorted(by_result.items())) +
        (f"; {a.count - len(results)} adapters without a result" if len(results) < a.count else "") + ".",
        f"Event lines: {len(events):,} JSON" + (f", {other_lines} other" if other_lines else "") + ".",
        "",
    ]
    failures = sorted(((t, e) for t, e in results.values() if e.get("result") != "success"), key=lambda f: f[0])
    for t, e in failures[:20]:
        lines.append(f"- {e.get('adapter')}, {t:.1f} s: {e.get('text', '')}")
    if len(failures) > 20:
        lines.append(f"- and {len(failures) - 20} more (events.tsv)")
    lines += [
        "" if failures else None,
        "![adapters finished over time](finished.png)",
        "",
    ]
    with open(os.path.join(a.out, "report.md"), "w") as f:
        f.write("\n".join(line for line in lines if line is not None))
    summary = {
        "count": a.count, "parallel": a.parallel, "start": a.start, "wall": wall, "limit": limit,
        "user": usage["user"], "sys": usage["sys"], "batch_cpu": batch_cpu, "sim_cpu": a.sim_cpu,
        "peak_pss_kb": peak_pss[3] if rss else 0, "peak_rss_kb": peak_rss[2] if rss else 0,
        "largest_kb": usage["max_rss_kb"], "most_serving": stats.get("most-serving"),
        "most_exchanges": stats.get("most-exchanges"), "successes": successes, "finished": finished,
        "failed": failed, "load": a.load, "load_after": a.load_after, "machine": a.machine, "program": a.program,
        "first_last": [finished[0], finished[-1]] if finished else [],
        "median_run": statistics.median(run_ms) / 1000 if run_ms else None,
    }
    with open(os.path.join(a.out, "summary.json"), "w") as f:
        json.dump(summary, f)


if __name__ == "__main__":
    main()
