#!/usr/bin/env python3
"""How much of a verdigo-extract -o run survives a SIGKILL, and how long -c
takes to carry on: 10,000 small pages from nginx on 127.0.0.1, one
uninterrupted run, then a run killed part-way and carried on with -c, whose
file must hold the very bytes of the uninterrupted one."""

import argparse
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time

from network_bench import Nginx


def write_site(root, pages):
    for i in range(pages):
        with open(os.path.join(root, "p%d.html" % i), "w") as f:
            f.write("".join('<a href="l%d-%d.html">x</a> ' % (i, k) for k in range(10)))


def record_counts(record):
    """(pages, bytes) of the slot that counts the most pages."""
    with open(record, "rb") as f:
        data = f.read()
    return max(struct.unpack_from("<QQ", data, at + 8) for at in (0, 64))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("extract")
    parser.add_argument("--pages", type=int, default=10000)
    parser.add_argument("--kill-at", type=float, default=0.5, help="share of the rows written")
    parser.add_argument("--jobs", default="16")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        root = os.path.join(work, "site")
        os.mkdir(root)
        write_site(root, args.pages)
        server = Nginx(root, work)
        try:
            listed = os.path.join(work, "list.txt")
            with open(listed, "w") as f:
                f.write("".join(server.url("p%d.html" % i) + "\n" for i in range(args.pages)))
            env = dict(os.environ, TEMP=work, no_proxy="127.0.0.1")
            base = [args.extract, "-q", "-j", args.jobs, "-o"]
            whole, out = os.path.join(work, "whole.txt"), os.path.join(work, "out.txt")

            start = time.perf_counter()
            subprocess.run(base + [whole, listed], env=env, check=True)
            full = time.perf_counter() - start

            # Killed once its rows reach that share of the whole file's.
            part = os.path.join(work, ".out.txt.verdigo-part")
            goal = os.path.getsize(whole) * args.kill_at
            proc = subprocess.Popen(base + [out, listed], env=env)
            while proc.poll() is None and (not os.path.exists(part) or os.path.getsize(part) < goal):
                time.sleep(0.001)
            proc.send_signal(signal.SIGKILL)
            if proc.wait() != -signal.SIGKILL:
                raise SystemExit("the run ended before it could be killed")
            kept, kept_bytes = record_counts(os.path.join(work, ".out.txt.verdigo-record"))
            written = os.path.getsize(part)

            start = time.perf_counter()
            subprocess.run(base[:1] + ["-c"] + base[1:] + [out, listed], env=env, check=True)
            carried = time.perf_counter() - start
            same = open(whole, "rb").read() == open(out, "rb").read()
        finally:
            server.stop()
    print("uninterrupted run of %d pages: %.2f s" % (args.pages, full))
    print("killed: %d pages kept (%.1f%%), %d of the %d bytes written" %
          (kept, 100.0 * kept / args.pages, kept_bytes, written))
    print("carrying on with -c: %.2f s for the other %d pages; file %s" %
          (carried, args.pages - kept, "identical" if same else "DIFFERS"))
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
