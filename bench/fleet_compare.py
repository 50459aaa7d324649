#!/usr/bin/env python3
"""bench/fleet's report over its cases: the cases side by side, one adapter's
CPU time by phase (phases.tsv, when measured) and every case's adapters
finished over time on one plot. Reads each case's summary.json. Asserts nothing."""

import argparse
import json
import math
import os
import shutil
import time

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402

RESTART_WAIT_S = 49.984


def mib(kb):
    return f"{kb / 1024:,.1f} MiB"


def draw(path, cases):
    fig, ax = plt.subplots(figsize=(9, 5), dpi=100)
    colors = ["tab:blue", "tab:green", "tab:purple", "tab:brown"]
    longest = 0
    for (name, c), color in zip(cases, colors):
        rounds = math.ceil(c["count"] / c["parallel"])
        floor_t = [0] + [k * RESTART_WAIT_S for k in range(1, rounds + 1)]
        floor_n = [0] + [min(c["count"], k * c["parallel"]) for k in range(1, rounds + 1)]
        ax.step(floor_t, floor_n, where="post", linestyle="--", color=color, alpha=0.5, linewidth=0.9,
                label=f"--parallel {c['parallel']}: the limit, {rounds} × 49.984 s")
        done = c["finished"]
        ax.step([0] + done + [c["wall"]], list(range(len(done) + 1)) + [len(done)], where="post", color=color,
                label=f"--parallel {c['parallel']}: finished, {c['wall']:.1f} s")
        if c["failed"]:
            ax.plot(c["failed"], [done.index(t) + 1 for t in c["failed"]], "x", color="tab:red")
        longest = max(longest, c["wall"], floor_t[-1])
    ax.set_xlabel("seconds since the batch started")
    ax.set_ylabel("adapters finished")
    ax.set_xlim(0, longest * 1.03)
    ax.set_ylim(0, max(c["count"] for _, c in cases) * 1.05)
    ax.set_title("adapters finished over time (red ×: a failure)")
    ax.grid(alpha=0.3)
    ax.legend(loc="lower right", fontsize="small")
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--out", required=True)
    p.add_argument("--command", required=True)
    p.add_argument("--picture-copy", required=True)
    p.add_argument("cases", nargs="+")  # NxP
    a = p.parse_args()

    cases = []
    for name in a.cases:
        with open(os.path.join(a.out, name, "summary.json")) as f:
            cases.append((name, json.load(f)))
    picture = os.path.join(a.out, "finished.png")
    draw(picture, cases)
    shutil.copyfile(picture, a.picture_copy)

    first = cases[0][1]
    lines = [
        f"# Fleet benchmark, {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime(first['start']))}",
        "",
        f"- Command: `{a.command}`",
        f"- Machine: {first['machine']}",
        f"- Programs: {first['program']}",
        "- Load average before / after each case: " +
        "; ".join(f"{n}: {c['load']} / {c['load_after']}" for n, c in cases),
        "",
        "| measure | " + " | ".join(f"{c['count']} at --parallel {c['parallel']}" for _, c in cases) + " |",
        "|---|" + "---|" * len(cases),
    ]

    def row(label, fn):
        lines.append(f"| {label} | " + " | ".join(fn(c) for _, c in cases) + " |")

    row("wall time", lambda c: f"{c['wall']:.1f} s")
    row("wall ÷ the restart wait (49.984 s)", lambda c: f"{c['wall'] / RESTART_WAIT_S:.2f}")
    row("wall ÷ the limit (rounds × 49.984 s)", lambda c: f"{c['wall'] / c['limit']:.3f}")
    row("successes", lambda c: f"{c['successes']} of {c['count']}")
    row("CPU of orb-upgrade, user + sys (the batch and every run)",
        lambda c: f"{c['user']:.2f} + {c['sys']:.2f} = {c['user'] + c['sys']:.2f} s")
    row("CPU per adapter, orb-upgrade", lambda c: f"{(c['user'] + c['sys']) / c['count'] * 1000:.1f} ms")
    row("of which the batch process", lambda c: f"{c['batch_cpu'] / c['count'] * 1000:.1f} ms")
    row("CPU per adapter, orb-sim", lambda c: f"{c['sim_cpu'] / c['count'] * 1000:.1f} ms")
    row("peak memory, sum of Pss", lambda c: mib(c["peak_pss_kb"]))
    row("largest single process", lambda c: mib(c["largest_kb"]))
    row("most runs serving at once (of 100 listener ports)", lambda c: str(c["most_serving"]))
    row("most HTTP exchanges at once (of 101 local ports)", lambda c: str(c["most_exchanges"]))
    row("first and last adapter finished",
        lambda c: ", ".join(f"{t:.1f} s" for t in c["first_last"]) if c["first_last"] else "-")
    row("one adapter's run, median", lambda c: f"{c['median_run']:.1f} s" if c["median_run"] else "-")

    phases = os.path.join(a.out, "phases.tsv")
    if os.path.exists(phases):
        lines += ["", "One adapter alone (its run's threads, sampled at each event it printed), CPU by phase:", "",
                  "| phase | CPU | wake-ups |", "|---|---|---|"]
        with open(phases) as f:
            for line in f:
                name, cpu_ms, switches = line.rstrip("\n").split("\t")
                lines.append(f"| {name} | {float(cpu_ms):.2f} ms | {switches} |")
    lines += ["", "![adapters finished over time, every case](finished.png)", ""]
    with open(os.path.join(a.out, "report.md"), "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
