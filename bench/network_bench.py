#!/usr/bin/env python3
"""Whole-process figures of verdigo-extract against reference tools, all on
127.0.0.1: one 64 MiB page from nginx (against ripgrep over the same file and
curl downloading it), 200 slow pages spread over 10 servers (default
settings against -j 1), and the window's run against verdigo-extract over
the slow pages and over 100,000 fast ones. Large-page figures are medians
over interleaved runs; each ratio is printed beside its target."""

import argparse
import asyncio
import os
import random
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PAGE_BYTES = 64 << 20
WORDS = ["lorem", "ipsum", "dolor", "sit", "amet", "links", "page", "news"]


def realistic_page():
    """About one double-quoted href per 300 bytes, some in capitals, and
    single-quoted or unquoted ones that must not match."""
    rnd = random.Random(42)
    parts, size = [], 0
    while size < PAGE_BYTES:
        p = ['<div class="item col-%d" id="n%d"><p>' % (rnd.randrange(12), rnd.randrange(100000))]
        p.append(" ".join(rnd.choice(WORDS) for _ in range(26)) + " ")
        kind = rnd.randrange(10)
        if kind == 0:
            p.append('<A HREF="/Docs/Page%d.HTM">x</A>' % rnd.randrange(1000))
        elif kind == 1:
            p.append("<a href='single%d.html'>y</a>" % rnd.randrange(1000))
        elif kind == 2:
            p.append("<a href=unquoted%d.html>z</a>" % rnd.randrange(1000))
        else:
            p.append('<a href="dir/page%d.html" title="t">link</a>' % rnd.randrange(100000))
        p.append("</p></div>\n")
        chunk = "".join(p)
        parts.append(chunk)
        size += len(chunk)
    return "".join(parts).encode()[:PAGE_BYTES]


def page_without_links():
    line = b'<p class="text">no links in this paragraph at all</p>\n'
    return (line * (PAGE_BYTES // len(line) + 1))[:PAGE_BYTES]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """nginx serving `root` on a free port of 127.0.0.1, stopped on exit."""

    def __init__(self, root, workdir):
        self.port = free_port()
        conf = os.path.join(workdir, "nginx.conf")
        with open(conf, "w") as f:
            f.write(f"""
daemon off; worker_processes 1; pid {workdir}/nginx.pid; error_log {workdir}/error.log;
events {{ worker_connections 1024; }}
http {{
  access_log off; sendfile on; tcp_nopush on; keepalive_requests 1000000;
  client_body_temp_path {workdir}/body; proxy_temp_path {workdir}/proxy;
  fastcgi_temp_path {workdir}/fastcgi; uwsgi_temp_path {workdir}/uwsgi; scgi_temp_path {workdir}/scgi;
  types {{ text/html html; }}
  server {{ listen 127.0.0.1:{self.port}; root {root}; }}
}}
""")
        user = ["-g", "user root;"] if os.geteuid() == 0 else []
        self.proc = subprocess.Popen(["nginx", "-p", workdir, "-c", conf] + user,
                                     stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while time.time() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), 0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        raise SystemExit("nginx did not start")

    def stop(self):
        self.proc.terminate()
        self.proc.wait()

    def url(self, name):
        return "http://127.0.0.1:%d/%s" % (self.port, name)


def run_timed(cmd, stdin_bytes=None):
    """(seconds, peak resident bytes) of one whole run, output discarded."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdin=subprocess.PIPE if stdin_bytes is not None else subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if stdin_bytes is not None:
        proc.stdin.write(stdin_bytes)
        proc.stdin.close()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode not in (0, 1):
        raise SystemExit("%s failed with %d" % (cmd[0], proc.returncode))
    return elapsed, usage.ru_maxrss * 1024


def interleaved(commands, runs):
    """Median seconds (and largest peak memory) of each command, run in turn."""
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    for _ in range(runs):
        for name, cmd in commands.items():
            seconds, peak = run_timed(cmd)
            times[name].append(seconds)
            peaks[name] = max(peaks[name], peak)
    return {name: statistics.median(t) for name, t in times.items()}, peaks


def report(label, ratio, target, comparison, complete=True):
    """A run that lost pages did less work: its figure counts as missed."""
    ok = (ratio <= target if comparison == "<=" else ratio >= target) and complete
    verdict = "ok" if ok else "MISSED" if complete else "MISSED (pages lost)"
    print("%-58s %6.2f   target %s %.2f   %s" % (label, ratio, comparison, target, verdict))
    return ok


def write_pages(root):
    with open(os.path.join(root, "realistic.html"), "wb") as f:
        f.write(realistic_page())
    with open(os.path.join(root, "nolinks.html"), "wb") as f:
        f.write(page_without_links())


def large_page_figures(extract, workdir, runs):
    root = os.path.join(workdir, "www")
    os.mkdir(root)
    # In a process of its own: a child's peak memory counts the memory of the
    # process it was forked from, and these pages are large.
    subprocess.run([sys.executable, __file__, "--write-pages", root], check=True)
    server = Nginx(root, workdir)
    ok = True
    try:
        env_temp = os.path.join(workdir, "temp")
        os.mkdir(env_temp)
        os.environ["TEMP"] = env_temp
        realistic = server.url("realistic.html")
        nolinks = server.url("nolinks.html")
        lists = {}
        for name, url in (("realistic", realistic), ("nolinks", nolinks)):
            lists[name] = os.path.join(workdir, name + ".txt")
            with open(lists[name], "w") as f:
                f.write(url + "\n")
        medians, peaks = interleaved({
            "verdigo": [extract, "-q", lists["realistic"]],
            "rg": ["rg", "-o", "-i", 'href="[^"]*', os.path.join(root, "realistic.html")],
        }, runs)
        print("64 MiB realistic page: verdigo-extract %.3f s, ripgrep %.3f s" % (medians["verdigo"], medians["rg"]))
        ok &= report("verdigo-extract / ripgrep, realistic 64 MiB page", medians["verdigo"] / medians["rg"], 1.0, "<=")
        ok &= report("verdigo-extract peak memory / page size", peaks["verdigo"] / PAGE_BYTES, 1.5, "<=")
        medians, _ = interleaved({
            "verdigo": [extract, "-q", lists["nolinks"]],
            "curl": ["curl", "-s", "-o", "/dev/null", nolinks],
        }, runs)
        print("64 MiB page without links: verdigo-extract %.3f s, curl %.3f s" % (medians["verdigo"], medians["curl"]))
        ok &= report("verdigo-extract / curl -o /dev/null, page without links", medians["verdigo"] / medians["curl"], 2.0, "<=")
    finally:
        server.stop()
    return ok


class SlowServers:
    """`count` HTTP servers on 127.0.0.1 answering every page after `delay`
    seconds, on a thread of their own."""

    def __init__(self, count, delay):
        self.delay = delay
        self.ports = []
        self.loop = asyncio.new_event_loop()
        ready = threading.Event()
        self.thread = threading.Thread(target=self._run, args=(count, ready), daemon=True)
        self.thread.start()
        ready.wait()

    def _run(self, count, ready):
        asyncio.set_event_loop(self.loop)
        for _ in range(count):
            server = self.loop.run_until_complete(asyncio.start_server(self._answer, "127.0.0.1", 0))
            self.ports.append(server.sockets[0].getsockname()[1])
        ready.set()
        self.loop.run_forever()

    async def _answer(self, reader, writer):
        try:
            while True:
                request = await reader.readuntil(b"\r\n\r\n")
                path = request.split(b" ", 2)[1]
                await asyncio.sleep(self.delay)
                body = b'<a href="next.html">n</a> <a href="/x%s">x</a>' % path
                writer.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
                await writer.drain()
        except (asyncio.IncompleteReadError, ConnectionError):
            pass
        finally:
            writer.close()

    def stop(self):
        self.loop.call_soon_threadsafe(self.loop.stop)


def window_run(window, listfile):
    """(seconds, rows) of the window's run over the list, offscreen."""
    out = subprocess.run([window, listfile], capture_output=True, check=True, text=True, timeout=600).stdout
    seconds, rows = out.split()
    return float(seconds), int(rows)


def cli_run(extract, listfile):
    """(seconds, rows) of verdigo-extract over the list."""
    start = time.perf_counter()
    out = subprocess.run([extract, "-q", listfile], capture_output=True, timeout=600).stdout
    return time.perf_counter() - start, out.count(b"\n")


def window_figures(extract, window, workdir, slow_list):
    root = os.path.join(workdir, "small")
    os.mkdir(root)
    for i in range(100):
        with open(os.path.join(root, "p%d.html" % i), "w") as f:
            f.write('<a href="a%d.html">a</a> <a href="/b">b</a>' % i)
    server = Nginx(root, workdir)
    ok = True
    try:
        fast_list = os.path.join(workdir, "fast.txt")
        with open(fast_list, "w") as f:
            for i in range(100000):
                f.write("127.0.0.1:%d/p%d.html\n" % (server.port, i % 100))
        servers = SlowServers(10, 0.1)
        try:
            for label, listfile in (("200 slow pages", slow_list(servers)), ("100,000 fast pages", fast_list)):
                cli_seconds, cli_rows = cli_run(extract, listfile)
                win_seconds, win_rows = window_run(window, listfile)
                print("%s: window %.2f s (%d rows), verdigo-extract %.2f s (%d rows)"
                      % (label, win_seconds, win_rows, cli_seconds, cli_rows))
                ok &= report("window / verdigo-extract, " + label, win_seconds / cli_seconds, 1.5, "<=")
                ok &= win_rows == cli_rows
        finally:
            servers.stop()
    finally:
        server.stop()
    return ok


def write_slow_list(workdir, servers):
    addresses = ["127.0.0.1:%d/p%d.html" % (servers.ports[i % 10], i) for i in range(200)]
    listfile = os.path.join(workdir, "slow.txt")
    with open(listfile, "w") as f:
        f.write("\n".join(addresses) + "\n")
    return listfile


def many_pages_figures(extract, workdir):
    servers = SlowServers(10, 0.1)
    try:
        listfile = write_slow_list(workdir, servers)
        outputs, times, complete = {}, {}, True
        for name, extra in (("one", ["-j", "1"]), ("default", [])):
            start = time.perf_counter()
            done = subprocess.run([extract, "-q"] + extra + [listfile], capture_output=True, timeout=300)
            times[name] = time.perf_counter() - start
            outputs[name] = done.stdout
            # Status 1: some page was not found, which the figures below show.
            if done.returncode not in (0, 1):
                raise SystemExit("verdigo-extract failed with %d" % done.returncode)
            if done.returncode == 1:
                print("%s: pages lost (exit status 1)" % name)
                complete = False
        print("200 pages, 10 servers, 100 ms each: -j 1 %.2f s, default %.2f s" % (times["one"], times["default"]))
        ok = report("default / -j 1 speed-up, 200 slow pages", times["one"] / times["default"], 8.0, ">=", complete)
        same = outputs["one"] == outputs["default"]
        print("byte-identical output: %s" % ("yes" if same else "NO"))
        return ok and same
    finally:
        servers.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("extract", nargs="?", help="path of verdigo-extract")
    parser.add_argument("--window", help="path of verdigo-window-run: also time the window's run")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--write-pages", metavar="FOLDER", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.write_pages:
        write_pages(args.write_pages)
        return
    for tool in ("nginx", "rg", "curl"):
        if shutil.which(tool) is None:
            raise SystemExit("%s is missing: run scripts/install-deps bench" % tool)
    os.environ["no_proxy"] = os.environ["NO_PROXY"] = "127.0.0.1"
    with tempfile.TemporaryDirectory(prefix="verdigo-bench-") as workdir:
        ok = large_page_figures(args.extract, workdir, args.runs)
        ok &= many_pages_figures(args.extract, workdir)
        if args.window:
            ok &= window_figures(args.extract, args.window, workdir,
                                 lambda servers: write_slow_list(workdir, servers))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
