#!/usr/bin/env python3
"""Puts the time each line arrived in front of it, tab-separated: bench/fleet's
record of the batch's events. It reads what the pipe holds at once, as a shell
`read` loop (a system call per byte) cannot. Asserts nothing."""

import sys
import time


def main():
    pending = b""
    out = sys.stdout.buffer
    while True:
        chunk = sys.stdin.buffer.raw.read(65536)
        if not chunk:
            break
        stamp = f"{time.time():.6f}\t".encode()
        lines = (pending + chunk).split(b"\n")
        pending = lines.pop()
        for line in lines:
            out.write(stamp + line + b"\n")
    if pending:
        out.write(f"{time.time():.6f}\t".encode() + pending + b"\n")
    out.flush()


if __name__ == "__main__":
    main()
