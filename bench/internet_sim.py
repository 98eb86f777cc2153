#!/usr/bin/env python3
"""Whole-process figures over a simulated internet on the loopback device:
one asyncio server process answering as 200 hosts (127.1.0.1 ... 127.1.0.200,
all on one port) after a round trip of 300 ms, with hosts that rate-limit or
reset connections in some runs; beside it, 20,000 small pages from nginx on
127.0.0.1 and the peak memory of a run with 1000 transfers at once. Each
figure is printed beside its target; curl is the reference tool.

Linux routes all of 127.0.0.0/8 to the loopback device, so every address
used here stays on this machine; the server binds only 127.x addresses and
stops by itself when its standard input closes or its deadline passes."""

import argparse
import asyncio
import collections
import errno
import json
import os
import re
import resource
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

from network_bench import Nginx

HOSTS = 200
LATENCY_SECONDS = 0.3
PAGE_BYTES = 8 << 10
LINKS_PER_PAGE = 50
SIM_PAGES = 2000
MEMORY_PAGES = 5000
# The rate-limited hosts are fewer, so that the defaults come back to each
# host several times within the interval.
RATE_PAGES = 500
RATE_HOSTS = 50
NGINX_PAGES = 20000
NGINX_FILES = 1000
# A rate-limited host answers 429 to a request that comes sooner than this
# after the one before it to the same host.
RATE_INTERVAL_SECONDS = 0.5
RUN_TIMEOUT_SECONDS = 180
SERVER_DEADLINE_SECONDS = 1800
WORDS = ["lorem", "ipsum", "dolor", "sit", "amet", "links", "page", "news"]
PARTS = ["latency", "unkind", "memory", "nginx"]
PAGE_PATH = re.compile(rb"^/p(\d+)\.html$")


def host_address(page, hosts=HOSTS):
    """Page i lives on host i % hosts, so neighbours in a list differ in host."""
    return "127.1.0.%d" % (page % hosts + 1)


def page_body(index, port):
    """About 8 KiB with 50 links of every kind: to other hosts, from the
    root, relative, upwards and query-only."""
    links = []
    for k in range(LINKS_PER_PAGE):
        target = (index * 7 + k * 131) % 100000
        kind = k % 5
        if kind == 0:
            href = "http://%s:%d/p%d.html" % (host_address(target), port, target)
        elif kind == 1:
            href = "/p%d.html" % target
        elif kind == 2:
            href = "dir/p%d.html" % target
        elif kind == 3:
            href = "../up/p%d.html" % target
        else:
            href = "?page=%d" % target
        links.append('<p class="item">%s <a href="%s">link %d</a></p>\n' % (" ".join(WORDS), href, k))
    body = "<html><body>\n" + "".join(links)
    filler = "<!-- %s -->\n" % ("x" * max(0, PAGE_BYTES - len(body) - 30))
    return (body + filler + "</body></html>\n").encode()


# ---------------------------------------------------------------- the server


class Simulation:
    """The 200 hosts. `mode` is "latency" (every answer after the round
    trip), "rate" (plus 429 with Retry-After: 1 to a request sooner than
    0.5 s after the host's last one) or "reset" (plus a reset, in place of an
    answer, of the first request for each page)."""

    def __init__(self):
        self.port = None
        self.bodies = {}
        self.switch("latency")

    def switch(self, mode):
        """Starts a new phase; returns what the phase that ended counted."""
        ended = getattr(self, "counts", {})
        self.mode = mode
        self.counts = {"requests": 0, "pages": 0, "429": 0, "resets": 0}
        self.last_request = {}
        self.paths_reset = set()
        return ended

    async def listen(self):
        """One listener per host address, all on the same free port."""
        for _ in range(20):
            with socket.socket() as probe:
                probe.bind((host_address(0), 0))
                port = probe.getsockname()[1]
            servers = []
            try:
                for host in range(HOSTS):
                    servers.append(await asyncio.start_server(self.answer, host_address(host), port, backlog=1024))
                self.port = port
                return servers
            except OSError as error:
                for server in servers:
                    server.close()
                if error.errno != errno.EADDRINUSE:
                    raise SystemExit("cannot listen on %s: %s (the loopback device must carry 127.0.0.0/8)"
                                     % (host_address(len(servers)), error.strerror))
        raise SystemExit("no free port shared by all %d host addresses" % HOSTS)

    def decide(self, host, path, arrived):
        if self.mode == "rate":
            last = self.last_request.get(host)
            self.last_request[host] = arrived
            if last is not None and arrived - last < RATE_INTERVAL_SECONDS:
                return "429"
        if self.mode == "reset" and path not in self.paths_reset:
            self.paths_reset.add(path)
            return "reset"
        return "page"

    def response(self, action, path):
        if action == "429":
            self.counts["429"] += 1
            return (b"HTTP/1.1 429 Too Many Requests\r\nRetry-After: 1\r\n"
                    b"Content-Type: text/plain\r\nContent-Length: 18\r\n\r\nToo Many Requests\n")
        match = PAGE_PATH.match(path)
        if match is None:
            return b"HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 10\r\n\r\nNot Found\n"
        index = int(match.group(1))
        body = self.bodies.get(index)
        if body is None:
            body = self.bodies[index] = page_body(index, self.port)
        self.counts["pages"] += 1
        head = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(body)
        return head + body

    def reset(self, writer):
        """Closes with a zero linger time, so the client receives a reset."""
        self.counts["resets"] += 1
        sock = writer.get_extra_info("socket")
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        writer.transport.abort()

    async def answer(self, reader, writer):
        host = writer.get_extra_info("sockname")[0]
        try:
            while True:
                head = await reader.readuntil(b"\r\n\r\n")
                arrived = time.monotonic()
                self.counts["requests"] += 1
                fields = head.split(b"\r\n", 1)[0].split(b" ")
                path = fields[1] if len(fields) > 1 else b"/"
                action = self.decide(host, path, arrived)
                await asyncio.sleep(LATENCY_SECONDS)
                if action == "reset":
                    self.reset(writer)
                    return
                writer.write(self.response(action, path))
                await writer.drain()
                if b"\r\nconnection: close" in head.lower():
                    break
        except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, ConnectionError):
            pass
        finally:
            writer.close()


def serve(deadline):
    """The server process: prints its port, then answers each control line
    "MODE" on standard input with the counts of the phase that ended."""
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    loop = asyncio.new_event_loop()
    sim = Simulation()
    servers = loop.run_until_complete(sim.listen())
    print(sim.port, flush=True)

    # The counts change on the loop's thread only.
    async def switch(mode):
        return sim.switch(mode)

    def control():
        for line in sys.stdin:
            ended = asyncio.run_coroutine_threadsafe(switch(line.strip()), loop).result()
            print(json.dumps(ended), flush=True)
        loop.call_soon_threadsafe(loop.stop)

    threading.Thread(target=control, daemon=True).start()
    loop.call_later(deadline, loop.stop)
    loop.run_forever()
    for server in servers:
        server.close()


class SimServer:
    """The server process, seen from the benchmark."""

    def __init__(self, deadline):
        self.proc = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve", str(deadline)],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.port = int(self._answer())

    def _answer(self):
        watchdog = threading.Timer(30, self.proc.kill)
        watchdog.start()
        line = self.proc.stdout.readline()
        watchdog.cancel()
        if not line:
            raise SystemExit("the simulation server stopped")
        return line

    def switch(self, mode):
        self.proc.stdin.write(mode + "\n")
        self.proc.stdin.flush()
        return json.loads(self._answer())

    def stop(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def url(self, page, hosts=HOSTS):
        return "http://%s:%d/p%d.html" % (host_address(page, hosts), self.port, page)


# ------------------------------------------------------------------- clients


Run = collections.namedtuple("Run", "seconds peak status")


def run_bounded(cmd, env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL):
    """Seconds, peak resident bytes and exit status of one whole run, which
    is killed after RUN_TIMEOUT_SECONDS."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=stdout, stderr=stderr, env=env)
    killer = threading.Timer(RUN_TIMEOUT_SECONDS, proc.kill)
    killer.start()
    _, status, usage = os.wait4(proc.pid, 0)
    killer.cancel()
    proc.returncode = os.waitstatus_to_exitcode(status)
    seconds = time.perf_counter() - start
    if proc.returncode < 0:
        print("  %s killed after %.0f s" % (os.path.basename(cmd[0]), seconds))
    return Run(seconds, usage.ru_maxrss * 1024, proc.returncode)


def client_env(workdir):
    """No proxy between the tools and the loopback device; page files in the
    benchmark's own folder."""
    env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
    env["no_proxy"] = env["NO_PROXY"] = "*"
    env["TEMP"] = os.path.join(workdir, "temp")
    os.makedirs(env["TEMP"], exist_ok=True)
    return env


def write_list(path, urls):
    with open(path, "w") as f:
        f.write("\n".join(urls) + "\n")
    return path


def write_curl_config(path, urls):
    with open(path, "w") as f:
        for url in urls:
            f.write('url = "%s"\noutput = "/dev/null"\n' % url)
    return path


def curl_run(config, jobs, env):
    run = run_bounded(["curl", "-s", "--noproxy", "*", "--parallel", "--parallel-max", str(jobs), "-K", config], env)
    if run.status != 0:
        print("  curl --parallel-max %d ended with status %d: some transfer failed" % (jobs, run.status))
    return run


class Extract:
    """verdigo-extract runs with --json, whose records tell found pages from
    lost ones."""

    def __init__(self, binary, workdir, env):
        self.binary = binary
        self.out = os.path.join(workdir, "extract.json")
        self.err = os.path.join(workdir, "extract.err")
        self.env = env

    def run(self, extra, listfile, expected):
        with open(self.out, "wb") as out, open(self.err, "wb") as err:
            run = run_bounded([self.binary, "-q", "--json"] + extra + [listfile], self.env, out, err)
        if run.status not in (0, 1):
            with open(self.err, errors="replace") as err:
                print("  %s ended with status %d: %s" % (os.path.basename(self.binary), run.status,
                                                         err.readline().strip()))
        found, reasons = self._records()
        lost = expected - found
        line = "  %s %s: %.2f s, %d of %d pages found" % (
            os.path.basename(self.binary), " ".join(extra) or "(defaults)", run.seconds, found, expected)
        if reasons:
            line += "; lost: " + ", ".join("%d %s" % (n, r) for r, n in reasons.most_common(2))
        print(line)
        return run, lost

    def _records(self):
        found, reasons = 0, collections.Counter()
        with open(self.out, "rb") as f:
            for line in f:
                try:
                    record = json.loads(line)
                except ValueError:
                    continue
                if "error" in record:
                    reasons[record["error"][:60]] += 1
                elif "links" in record:
                    found += 1
        return found, reasons


def report_ratio(label, ratio, target, complete=True):
    """A run that lost pages did less work: its figure counts as missed."""
    ok = ratio <= target and complete
    verdict = "ok" if ok else "MISSED" if complete else "MISSED (pages lost)"
    print("%-62s %7.2f   target <= %.2f   %s" % (label, ratio, target, verdict))
    return ok


def report_count(label, count, target, comparison, complete=True):
    ok = (count <= target if comparison == "<=" else count < target) and complete
    verdict = "ok" if ok else "MISSED" if complete else "MISSED (pages lost)"
    print("%-62s %7d   target %s %d   %s" % (label, count, comparison, target, verdict))
    return ok


def fake_tools_path(workdir):
    """A folder holding a `ping` and an `xdg-open` that do nothing, put first
    on PATH for the window."""
    folder = os.path.join(workdir, "fake-bin")
    os.makedirs(folder, exist_ok=True)
    for name in ("ping", "xdg-open"):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(path, 0o755)
    return folder


def window_run(window, listfile, env, workdir):
    """Seconds from the press of the button to "Done." and rows of the window."""
    path = os.path.join(workdir, "window.out")
    with open(path, "wb") as out:
        run = run_bounded([window, listfile], env, out)
    with open(path) as f:
        fields = f.read().split()
    if run.status != 0 or len(fields) != 2:
        return None, 0
    return float(fields[0]), int(fields[1])


# ------------------------------------------------------------------- figures


def compare_with_curl(sim, extract, listfile, config, jobs, extra):
    """verdigo-extract with `extra` against curl at `jobs` transfers at once;
    returns (met, seconds of verdigo-extract)."""
    curl = curl_run(config, jobs, extract.env)
    served = sim.switch("latency")["pages"]
    print("  curl --parallel-max %d: %.2f s, %d pages served" % (jobs, curl.seconds, served))
    run, lost = extract.run(extra, listfile, SIM_PAGES)
    sim.switch("latency")
    name = " ".join(extra) or "defaults"
    ok = report_ratio("verdigo-extract %s / curl --parallel-max %d" % (name, jobs), run.seconds / curl.seconds,
                      1.15, lost == 0)
    ok &= report_count("pages lost, verdigo-extract %s" % name, lost, 0, "<=")
    return ok, run.seconds


def window_figure(sim, window, listfile, workdir, env, cli_seconds):
    wenv = dict(env, PATH=fake_tools_path(workdir) + os.pathsep + env.get("PATH", ""))
    seconds, rows = window_run(window, listfile, wenv, workdir)
    sim.switch("latency")
    if seconds is None:
        print("  the window's run failed")
        return False
    # Every page gives its own row and one for each of its links.
    expected = SIM_PAGES * (1 + LINKS_PER_PAGE)
    print("  window (defaults): %.2f s, %d of %d rows" % (seconds, rows, expected))
    return report_ratio("window / verdigo-extract, defaults", seconds / cli_seconds, 1.2, rows == expected)


def latency_figures(sim, extract, window, workdir, env):
    urls = [sim.url(i) for i in range(SIM_PAGES)]
    listfile = write_list(os.path.join(workdir, "sim.txt"), urls)
    config = write_curl_config(os.path.join(workdir, "sim.curl"), urls)
    print("%d pages over %d hosts answering after %d ms:" % (SIM_PAGES, HOSTS, LATENCY_SECONDS * 1000))
    sim.switch("latency")
    ok, _ = compare_with_curl(sim, extract, listfile, config, 200, ["-j", "200"])
    met, default_seconds = compare_with_curl(sim, extract, listfile, config, 64, [])
    ok &= met
    if window:
        ok &= window_figure(sim, window, listfile, workdir, env, default_seconds)
    return ok


def unkind_host_figures(sim, extract, workdir):
    rate_list = write_list(os.path.join(workdir, "rate.txt"), [sim.url(i, RATE_HOSTS) for i in range(RATE_PAGES)])
    listfile = write_list(os.path.join(workdir, "sim.txt"), [sim.url(i) for i in range(SIM_PAGES)])
    ok = True
    print("%d pages over %d hosts answering 429 (Retry-After: 1) to requests less than %.1f s apart:"
          % (RATE_PAGES, RATE_HOSTS, RATE_INTERVAL_SECONDS))
    sim.switch("rate")
    _, lost = extract.run([], rate_list, RATE_PAGES)
    counts = sim.switch("reset")
    ok &= report_count("pages lost, rate-limited hosts, defaults", lost, 0, "<=")
    ok &= report_count("429 answers received (fewer than the pages)", counts["429"], RATE_PAGES, "<", lost == 0)
    print("%d pages over %d hosts resetting the first connection of each page:" % (SIM_PAGES, HOSTS))
    _, lost = extract.run([], listfile, SIM_PAGES)
    counts = sim.switch("latency")
    print("  connections reset: %d" % counts["resets"])
    ok &= report_count("pages lost, resetting hosts, defaults", lost, 0, "<=")
    return ok


def memory_figures(sim, extract, workdir):
    urls = [sim.url(i) for i in range(MEMORY_PAGES)]
    listfile = write_list(os.path.join(workdir, "memory.txt"), urls)
    print("%d small pages over %d hosts answering after %d ms, -j 1000:"
          % (MEMORY_PAGES, HOSTS, LATENCY_SECONDS * 1000))
    sim.switch("latency")
    run, lost = extract.run(["-j", "1000"], listfile, MEMORY_PAGES)
    sim.switch("latency")
    ok = report_ratio("peak memory at -j 1000, MiB", run.peak / (1 << 20), 300, lost == 0)
    ok &= report_count("pages lost, verdigo-extract -j 1000", lost, 0, "<=")
    return ok


def nginx_figures(extract_binary, workdir, env, runs):
    """Each run gets an nginx of its own: one started fresh right after
    another tool's run serves as fast as the first."""
    root = os.path.join(workdir, "small-www")
    os.makedirs(root, exist_ok=True)
    for i in range(NGINX_FILES):
        with open(os.path.join(root, "p%d.html" % i), "wb") as f:
            f.write(page_body(i, 80))
    times = {"verdigo": [], "curl": []}
    complete = True
    for n in range(runs):
        for tool in times:
            instance = os.path.join(workdir, "nginx-%s-%d" % (tool, n))
            os.makedirs(instance)
            server = Nginx(root, instance)
            try:
                urls = [server.url("p%d.html" % (i % NGINX_FILES)) for i in range(NGINX_PAGES)]
                if tool == "curl":
                    config = write_curl_config(os.path.join(instance, "list.curl"), urls)
                    run = curl_run(config, 64, env)
                else:
                    listfile = write_list(os.path.join(instance, "list.txt"), urls)
                    run = run_bounded([extract_binary, "-q", listfile], env)
                    # Exit status 0 only when every page was found.
                    complete &= run.status == 0
                times[tool].append(run.seconds)
            finally:
                server.stop()
    verdigo, curl = statistics.median(times["verdigo"]), statistics.median(times["curl"])
    print("%d small pages from nginx, medians of %d runs: verdigo-extract (defaults) %.2f s, "
          "curl --parallel-max 64 %.2f s" % (NGINX_PAGES, runs, verdigo, curl))
    if not complete:
        print("  verdigo-extract lost pages (exit status not 0)")
    return report_ratio("verdigo-extract defaults / curl --parallel-max 64, nginx", verdigo / curl, 1.0, complete)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("extract", nargs="?", help="path of verdigo-extract")
    parser.add_argument("--window", help="path of verdigo-window-run: also time the window's run")
    parser.add_argument("--runs", type=int, default=3, help="runs of each tool against nginx")
    parser.add_argument("--part", action="append", choices=PARTS,
                        help="measure only this part (may be repeated); default: all")
    parser.add_argument("--serve", type=float, metavar="DEADLINE", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.serve:
        serve(args.serve)
        return
    if not args.extract:
        parser.error("the path of verdigo-extract is needed")
    for tool in ("nginx", "curl"):
        if shutil.which(tool) is None:
            raise SystemExit("%s is missing: run scripts/install-deps bench" % tool)
    parts = args.part or PARTS
    ok = True
    with tempfile.TemporaryDirectory(prefix="verdigo-sim-") as workdir:
        env = client_env(workdir)
        extract = Extract(args.extract, workdir, env)
        sim = SimServer(SERVER_DEADLINE_SECONDS)
        try:
            if "latency" in parts:
                ok &= latency_figures(sim, extract, args.window, workdir, env)
            if "unkind" in parts:
                ok &= unkind_host_figures(sim, extract, workdir)
            if "memory" in parts:
                ok &= memory_figures(sim, extract, workdir)
        finally:
            sim.stop()
        if "nginx" in parts:
            ok &= nginx_figures(args.extract, workdir, env, args.runs)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
