#!/usr/bin/env python3
"""tavinor-convert with --jobs 1, 2, 4, 8 and 16 over generated fleets on the stand-in,
every request delayed by the stand-in as a network would delay it; and the same
work spread over four stand-ins through --servers-file, against one stand-in
holding all of it.

Every run is one tavinor-convert process; after each the stand-ins are checked:
every database converted. Prints one table and the targets.

Usage: parallel_bench.py BUILD_DIR [--latency MS] [N ...]   (default: 2 ms; N 100 1000)
"""

import json
import os
import subprocess
import sys
import tempfile
import threading
import time

from fleet_bench import PASSWORD, LOGIN, Standin, company_databases, converted, verdict

JOBS = (1, 2, 4, 8, 16)
SERVERS = 4


def peak_kib(pid, stop, result):
    """Follows the process's resident high-water mark (VmHWM) until it ends; the
    mark belongs to the process image, so nothing of the process that started it
    is counted."""
    while not stop.is_set():
        try:
            with open(f"/proc/{pid}/status", encoding="ascii") as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        result[0] = max(result[0], int(line.split()[1]))
        except (FileNotFoundError, ProcessLookupError):
            return
        time.sleep(0.005)


def run_convert(convert, args):
    """One run; its wall time, its own CPU time (every thread) and peak memory."""
    start = time.perf_counter()
    process = subprocess.Popen([convert, "--login", LOGIN, "--password-stdin", "--quiet"] + args,
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    stop, peak = threading.Event(), [0]
    watcher = threading.Thread(target=peak_kib, args=(process.pid, stop, peak))
    watcher.start()
    process.stdin.write((PASSWORD + "\n").encode())
    process.stdin.close()
    output = process.stdout.read().decode()
    errors = process.stderr.read().decode()
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    stop.set()
    watcher.join()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        raise RuntimeError(f"tavinor-convert {' '.join(args)} exited {code}: {output[-500:]}{errors[-2000:]}")
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "rss_kib": peak[0], "output": output}


def fleet_scenario(standin_binary, size, latency, path):
    scenario = json.loads(subprocess.run([standin_binary, "--generate-fleet", str(size)], check=True,
                                         capture_output=True, text=True).stdout)
    # A fault of the scenario, so that every RESET keeps it.
    scenario["faults"] = {"latency_ms": latency}
    with open(path, "w", encoding="utf-8") as out:
        json.dump(scenario, out)


def check_converted(standins, size):
    done = sum(converted(s.ask("STATE " + d)) for s in standins for d in company_databases(s))
    if done != size:
        raise RuntimeError(f"{done} of {size} databases converted")


def measure(convert, standins, args, size, label, jobs):
    for standin in standins:
        standin.ask("RESET")
    result = run_convert(convert, args)
    check_converted(standins, size)
    names = [line for line in result["output"].splitlines() if line.startswith("Parvimar")]
    if len(names) != size:
        raise RuntimeError(f"{label}: {len(names)} names printed, expected {size}")
    result.update(label=label, jobs=jobs, size=size)
    print(f"  {label} N={size} jobs={jobs}: {result['wall']:.2f} s", file=sys.stderr, flush=True)
    return result


def main():
    args = sys.argv[1:]
    if not args or args[0] in ("-h", "--help"):
        print(__doc__)
        return 64
    build = os.path.abspath(args.pop(0))
    latency = 2
    if args[:1] == ["--latency"]:
        latency = int(args[1])
        args = args[2:]
    sizes = [int(a) for a in args] or [100, 1000]
    convert = os.path.join(build, "app", "tavinor-convert")
    standin_binary = os.path.join(build, "standin", "standin")
    rows = []
    load_before = os.getloadavg()[0]
    with tempfile.TemporaryDirectory() as work:
        for size in sizes:
            path = os.path.join(work, f"fleet{size}.json")
            fleet_scenario(standin_binary, size, latency, path)
            standin = Standin(standin_binary, path)
            try:
                for jobs in JOBS:
                    rows.append(measure(convert, [standin], ["--server", f"127.0.0.1,{standin.port}",
                                                             "--jobs", str(jobs)], size, "one server", jobs))
            finally:
                standin.stop()
        # The largest fleet again, a quarter on each of four stand-ins.
        size = max(sizes)
        path = os.path.join(work, f"fleet{size // SERVERS}.json")
        fleet_scenario(standin_binary, size // SERVERS, latency, path)
        standins = [Standin(standin_binary, path) for _ in range(SERVERS)]
        try:
            listing = os.path.join(work, "servers.txt")
            with open(listing, "w", encoding="utf-8") as out:
                out.write("# the benchmark's stand-ins\n")
                out.writelines(f"127.0.0.1,{s.port}\n" for s in standins)
            for jobs in (1, 8):
                rows.append(measure(convert, standins, ["--servers-file", listing, "--jobs", str(jobs)],
                                    size // SERVERS * SERVERS, f"{SERVERS} servers", jobs))
        finally:
            for standin in standins:
                standin.stop()
    print_table(rows, latency)
    print(f"(load average {load_before:.2f} before, {os.getloadavg()[0]:.2f} after, on {os.cpu_count()} CPUs)")
    print_targets(rows)
    return 0


def print_table(rows, latency):
    print(f"\ntavinor-convert, stand-in latency {latency} ms per request")
    print(f"{'servers':<12}{'N':>6}{'jobs':>6}{'wall s':>9}{'speed-up':>10}{'CPU ms/db':>11}"
          f"{'peak RSS MiB':>14}{'MiB/worker above jobs=1':>26}")
    for row in rows:
        base = next(r for r in rows if r["size"] == row["size"] and r["jobs"] == 1 and r["label"] == "one server")
        extra = "" if row["jobs"] == 1 else f"{(row['rss_kib'] - base['rss_kib']) / 1024 / row['jobs']:+.3f}"
        print(f"{row['label']:<12}{row['size']:>6}{row['jobs']:>6}{row['wall']:>9.2f}"
              f"{base['wall'] / row['wall']:>9.1f}x{1000 * row['cpu'] / row['size']:>11.3f}"
              f"{row['rss_kib'] / 1024:>14.1f}{extra:>26}")


def print_targets(rows):
    print("\nTargets, at 8 jobs against 1 job on one server:")
    for size in sorted({r["size"] for r in rows}):
        one = {r["jobs"]: r for r in rows if r["size"] == size and r["label"] == "one server"}
        if 1 not in one or 8 not in one:
            continue
        speed = one[1]["wall"] / one[8]["wall"]
        cpu = 1000 * one[8]["cpu"] / size
        memory = (one[8]["rss_kib"] - one[1]["rss_kib"]) / 1024 / 8
        print(f"  N={size}: {speed:.1f}x faster (>= 6x: {verdict(speed >= 6)}); client CPU {cpu:.3f} ms/db "
              f"(<= 1 ms: {verdict(cpu <= 1)}); {memory:+.3f} MiB per worker (<= 1 MiB: {verdict(memory <= 1)})")


if __name__ == "__main__":
    sys.exit(main())
