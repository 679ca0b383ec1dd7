#!/usr/bin/env python3
"""The conversion run over generated fleets of company databases on the stand-in,
measured against the same work done by a hand-written bsqldb loop.

For each fleet size N the stand-in is started with `standin --generate-fleet N`;
fleet_client runs one conversion (one process per N, so its peak memory belongs
to that N), the stand-in's statement log is read and every database's state is
checked; then the catalogue is RESET and bsqldb_loop.sh does the same work,
measured and checked the same way, and so, after a RESET each, are a dry run
(fleet_client --dry-run) and a conversion that keeps the dependents
(fleet_client --keep-dependents). Prints one table and the targets.

Each fleet_client pass runs --repeat R times (default 3), after a RESET each, and
its row is the run of median CPU time: one process's CPU time on a shared or
virtual machine varies by a fifth from run to run, more than the margins the
targets leave. Every run is checked, not only the one shown. The bsqldb loop runs
once; it is slower by an order of magnitude.

Usage: fleet_bench.py BUILD_DIR [--standin STANDIN_BINARY] [--without-loop] [--repeat R] [N ...]
       (default N: 10 100 1000)
--without-loop leaves the bsqldb loop out (it takes minutes at N = 1000), and with it the speed comparison.
"""

import json
import os
import socket
import subprocess
import sys
import tempfile
import time

LOGIN = "sa"
PASSWORD = "Tavinor#2024"
HERE = os.path.dirname(os.path.abspath(__file__))

# What a database's conversion needs, request by request, and nothing else.
TYPE_QUERY = 1  # the type of MovCliente.DataSys
LIST_QUERIES = 3  # sp_helpindex, sp_helpconstraint, sp_helpstats
ALTER = 1
TRANSACTION = 2  # begin, commit: the drops and the change stand or fall together
DATABASE_LIST = 1  # once per run, on master
# Once per process and server: the login's default language, which decides how text
# such as '03/04/2024' reads as a date (the client reads it; bsqldb has no need).
SESSION_LANGUAGE = 1
HIDDEN_INDEX_QUERY = 1  # the dry run's read of indexes that use DataSys only as INCLUDE or in a filter
DEPENDENTS_QUERY = 1  # --keep-dependents: one batch of catalogue reads
CHARACTER_TYPES = ("char", "varchar", "nchar", "nvarchar", "text", "ntext", "sysname")


class Standin:
    """A stand-in server process and its control channel."""

    def __init__(self, binary, scenario):
        # Its output goes to a file, not a pipe: a pipe nobody reads would stall
        # the server once full.
        self.output = tempfile.TemporaryFile(mode="w+")
        self.process = subprocess.Popen(
            [binary, "--port", "0", "--control-port", "0", "--scenario", scenario, "--stdin-lifetime"],
            stdin=subprocess.PIPE, stdout=self.output, text=True)
        raw = ""
        for _ in range(600):
            self.output.seek(0)
            raw = self.output.readline()
            if raw.endswith("\n") or self.process.poll() is not None:
                break
            time.sleep(0.05)
        line = raw.split()
        if len(line) != 4 or line[0] != "listening":
            self.process.kill()
            raise RuntimeError(f"stand-in did not start: {line}")
        self.port = int(line[1].rsplit(":", 1)[1])
        self.control = socket.create_connection(("127.0.0.1", int(line[3])))
        self.reader = self.control.makefile("r", encoding="utf-8")

    def cpu_seconds(self):
        """User + system CPU time the server has used so far."""
        with open(f"/proc/{self.process.pid}/stat", encoding="ascii") as stat:
            # The fields after the command name, which is in parentheses.
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def ask(self, command):
        self.control.sendall((command + "\n").encode())
        reply = self.reader.readline().rstrip("\n")
        if not reply.startswith("OK"):
            raise RuntimeError(f"stand-in control: {command}: {reply}")
        rest = reply[3:]
        return json.loads(rest) if rest[:1] in ("[", "{") else rest

    def stop(self):
        self.reader.close()
        self.control.close()
        self.process.stdin.close()  # --stdin-lifetime: it stops at end of file
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.output.close()


def movcliente(state):
    return next((t for t in state["tables"] if t["name"].lower() == "movcliente"), None)


def names_datasys(columns):
    return any(c.split()[0].lower() == "datasys" for c in columns)


def datasys_type(table):
    if table is None:
        return None
    column = next((c for c in table["columns"] if c["name"].lower() == "datasys"), None)
    return column["type"].strip().lower() if column else None


def needed_requests(state):
    """Requests one database's conversion cannot do without, from its state before
    the run. The DataSys constraint is taken to be the first constraint row, as in
    the generated fleet."""
    table = movcliente(state)
    if datasys_type(table) == "datetime":
        return TYPE_QUERY
    drops = 0
    if table is not None:
        drops += sum(names_datasys(i["keys"]) for i in table["indexes"])
        drops += min(1, sum(names_datasys(c.get("columns", [])) for c in table["constraints"]))
        drops += sum(names_datasys(s["columns"]) for s in table["statistics"])
    return TYPE_QUERY + LIST_QUERIES + drops + ALTER + TRANSACTION


def needed_dry_run(state):
    """Requests the dry run of one database cannot do without: the type query,
    the three lists, the hidden-index read, and the count of values that do not
    read as dates when DataSys holds text."""
    table = movcliente(state)
    kind = datasys_type(table)
    if kind == "datetime":
        return TYPE_QUERY
    if kind is None:
        return TYPE_QUERY + LIST_QUERIES
    return TYPE_QUERY + LIST_QUERIES + HIDDEN_INDEX_QUERY + (kind.split("(")[0] in CHARACTER_TYPES)


def kept_dependents(table):
    """What --keep-dependents drops and creates again: every index using DataSys
    as a key, an included column or in its filter, every user statistic on it,
    its default and every check naming it."""
    if table is None:
        return []
    kept = [i for i in table["indexes"]
            if names_datasys(i["keys"]) or names_datasys(i.get("included", []))
            or "[datasys]" in i.get("filter", "").lower()]
    kept += [s for s in table["statistics"] if not s["auto_created"] and names_datasys(s["columns"])]
    kept += [c for c in table["constraints"] if names_datasys(c.get("columns", []))
             or "[datasys]" in c.get("expression", "").lower()]
    return kept


def needed_keeping(state):
    """Requests the conversion keeping the dependents cannot do without: the type
    query, a begin, the catalogue read, a drop and a creation per dependent, the
    ALTER and a commit."""
    table = movcliente(state)
    if datasys_type(table) == "datetime":
        return TYPE_QUERY
    return TYPE_QUERY + TRANSACTION + DEPENDENTS_QUERY + 2 * len(kept_dependents(table)) + ALTER


def without_datasys_type(state):
    """The state with DataSys's type blanked, automatic statistics left out and
    every list in name order: what --keep-dependents must leave as it was."""
    state = json.loads(json.dumps(state))
    for table in state["tables"]:
        for column in table["columns"]:
            if column["name"].lower() == "datasys":
                column["type"] = ""
        table["statistics"] = [s for s in table["statistics"] if not s["auto_created"]]
        for key in ("indexes", "constraints", "statistics"):
            table[key] = sorted(table[key], key=lambda item: item["name"])
    return state


def kept(before, after):
    """True when DataSys became datetime and everything else is as it was."""
    return (datasys_type(movcliente(after)) == "datetime"
            and without_datasys_type(after) == without_datasys_type(before))


def converted(state):
    """True when DataSys is datetime and nothing on the table refers to it any more
    but what the change itself may keep (none of the fleet's dependents)."""
    table = movcliente(state)
    if datasys_type(table) != "datetime":
        return False
    return not (any(names_datasys(i["keys"]) for i in table["indexes"]) or
                any(names_datasys(s["columns"]) for s in table["statistics"]) or
                any(names_datasys(c.get("columns", [])) for c in table["constraints"]))


def company_databases(standin):
    return [d for d in standin.ask("DATABASES") if d.lower().startswith("parvimar")]


def classify(entries):
    """Splits the log into the run's own statements, transaction-manager requests
    and transaction statements, and the session set-up a driver sends after login
    (SET options, USE); also counts the connections (logins) that sent anything."""
    counts = {"total": len(entries), "login": 0, "transaction": 0, "statements": 0,
              "connections": len({entry["connection"] for entry in entries})}
    for entry in entries:
        text = entry["text"].strip().lower()
        if entry["kind"] == "tm" or text.startswith(("begin tran", "commit", "rollback", "if @@trancount")):
            counts["transaction"] += 1
        elif text.startswith(("set ", "use ")) and ";" not in text:
            counts["login"] += 1
        else:
            counts["statements"] += 1
    return counts


def run_measured(argv, env=None):
    """Runs argv with the password on stdin; returns its output, wall seconds and
    the resource use of the process and every descendant it waited for (wait4)."""
    with tempfile.TemporaryFile() as errors:
        start = time.perf_counter()
        process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors, env=env)
        process.stdin.write((PASSWORD + "\n").encode())
        process.stdin.close()
        output = process.stdout.read().decode()
        process.stdout.close()
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode != 0:
            errors.seek(0)
            raise RuntimeError(f"{os.path.basename(argv[0])} exited {process.returncode}: {output}"
                               f"{errors.read().decode()}")
    return output, wall, usage


def run_client(build, standin, *options):
    output, wall, usage = run_measured([os.path.join(build, "bench", "fleet_client"), "--server",
                                        f"127.0.0.1,{standin.port}", "--login", LOGIN, *options])
    report = json.loads(output)
    if report["status"] != "completed":
        raise RuntimeError(f"fleet_client: {output}")
    # The client's own figures (getrusage in the process) and the kernel's account
    # at its exit must agree; a gap would mean one of them is not measuring it.
    kernel_cpu = usage.ru_utime + usage.ru_stime
    if abs(kernel_cpu - report["cpu_seconds"]) > 0.05 + 0.05 * kernel_cpu:
        raise RuntimeError(f"fleet_client CPU {report['cpu_seconds']} s, kernel says {kernel_cpu} s")
    return {"wall": wall, "cpu": report["cpu_seconds"], "sys": report["system_seconds"],
            "rss_kib": report["peak_rss_kib"],
            "databases": report["databases"], "detected": report["detected"], "failed": report["failed"]}


def loop_environment():
    env = dict(os.environ)
    for name in ("TDSVER", "TDSPORT", "TDSHOST", "DSQUERY"):
        env.pop(name, None)
    return env


def bsqldb_peak_kib(standin, database):
    """Peak resident memory of one bsqldb inspection run, the loop's largest
    process: GNU time reports its ru_maxrss, which starts from time's own small
    size at fork rather than from this interpreter's."""
    done = subprocess.run(["/usr/bin/time", "-f", "%M", "bsqldb", "-S", f"127.0.0.1:{standin.port}", "-U", LOGIN,
                           "-P", PASSWORD, "-D", database, "-h", "-t", "\\t", "-i",
                           os.path.join(HERE, "bsqldb_inspect.sql")],
                          capture_output=True, text=True, env=loop_environment(), check=True)
    return int(done.stderr.strip().splitlines()[-1])


def run_loop(standin, databases):
    output, wall, usage = run_measured([os.path.join(HERE, "bsqldb_loop.sh"), f"127.0.0.1:{standin.port}", LOGIN],
                                       loop_environment())
    words = output.split()
    counts = dict(zip(words[0::2], (int(w) for w in words[1::2])))
    # Probed after the loop and its log have been read, so it is neither timed nor
    # counted.
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "sys": usage.ru_stime, "rss_probe": databases[0],
            "databases": counts["databases"], "detected": counts["detected"], "failed": counts["failed"]}


def measure_once(standin, databases, before, size, method, run, needs, ends_well):
    """One run of a method from a freshly RESET catalogue, checked and counted."""
    standin.ask("RESET")
    if any(converted(standin.ask("STATE " + d)) for d in databases):
        raise RuntimeError("RESET left a converted database behind")
    server_cpu = standin.cpu_seconds()
    result = run()
    result["server_cpu"] = standin.cpu_seconds() - server_cpu
    if (result["databases"], result["detected"], result["failed"]) != (size, size, 0):
        raise RuntimeError(f"{method}: {result['databases']} databases, {result['detected']} detected, "
                           f"{result['failed']} failed; expected {size}, {size}, 0")
    result["method"] = method
    result["size"] = size
    result["requests"] = classify(standin.ask("LOG"))
    result["needed"] = (DATABASE_LIST + (SESSION_LANGUAGE if method != "bsqldb loop" else 0) +
                        sum(needs(s) for s in before.values()))
    result["converted"] = sum(ends_well(d, standin.ask("STATE " + d)) for d in databases)
    if "rss_probe" in result:
        result["rss_kib"] = bsqldb_peak_kib(standin, result.pop("rss_probe"))
    return result


def median_run(runs):
    """The run of median CPU time, carrying every run's CPU time; a run that sent
    more requests than needed, or left a database in the wrong state, is the one
    shown, whatever its CPU time, so that no repeat hides a fault."""
    faulty = [r for r in runs if r["requests"]["total"] > r["needed"] or r["converted"] != r["size"]]
    chosen = faulty[0] if faulty else sorted(runs, key=lambda r: r["cpu"])[(len(runs) - 1) // 2]
    return dict(chosen, cpu_runs=[r["cpu"] for r in runs])


def measure(build, standin_binary, size, work, with_loop=True, repeat=3):
    scenario = os.path.join(work, f"fleet{size}.json")
    with open(scenario, "w", encoding="utf-8") as out:
        subprocess.run([standin_binary, "--generate-fleet", str(size)], stdout=out, check=True)
    standin = Standin(standin_binary, scenario)
    try:
        databases = company_databases(standin)
        if len(databases) != size:
            raise RuntimeError(f"fleet of {size}: the stand-in lists {len(databases)} company databases")
        before = {d: standin.ask("STATE " + d) for d in databases}
        if any(converted(s) for s in before.values()):
            raise RuntimeError("the generated fleet holds a database that is already converted")
        # Per method: how it runs, the requests it needs, and the state each
        # database must end in.
        methods = (
            ("fleet_client", lambda: run_client(build, standin), needed_requests, lambda d, s: converted(s)),
            ("bsqldb loop", lambda: run_loop(standin, databases), needed_requests, lambda d, s: converted(s)),
            ("dry run", lambda: run_client(build, standin, "--dry-run"), needed_dry_run,
             lambda d, s: s == before[d]),
            ("keep deps", lambda: run_client(build, standin, "--keep-dependents"), needed_keeping,
             lambda d, s: kept(before[d], s)),
        )
        rows = []
        for method, run, needs, ends_well in methods:
            if method == "bsqldb loop" and not with_loop:
                continue
            runs = [measure_once(standin, databases, before, size, method, run, needs, ends_well)
                    for _ in range(1 if method == "bsqldb loop" else repeat)]
            rows.append(median_run(runs))
        return rows
    finally:
        standin.stop()


COLUMNS = [  # title, width, value of a row
    ("N", 5, lambda r, n: f"{n}"),
    ("method", 12, lambda r, n: r["method"]),
    ("wall s", 8, lambda r, n: f"{r['wall']:.3f}"),
    ("wall ms/db", 10, lambda r, n: f"{1000 * r['wall'] / n:.2f}"),
    ("CPU ms/db", 9, lambda r, n: f"{1000 * r['cpu'] / n:.3f}"),
    ("sys", 6, lambda r, n: f"{1000 * r['sys'] / n:.3f}"),
    ("req/db", 7, lambda r, n: f"{r['requests']['total'] / n:.2f}"),
    ("login/db", 8, lambda r, n: f"{r['requests']['login'] / n:.2f}"),
    ("txn/db", 6, lambda r, n: f"{r['requests']['transaction'] / n:.2f}"),
    ("needed/db", 9, lambda r, n: f"{r['needed'] / n:.2f}"),
    ("conn/db", 7, lambda r, n: f"{r['requests']['connections'] / n:.2f}"),
    ("peak RSS MiB", 12, lambda r, n: f"{r['rss_kib'] / 1024:.2f}"),
    ("server CPU ms/db", 16, lambda r, n: f"{1000 * r['server_cpu'] / n:.2f}"),
    ("end state", 9, lambda r, n: f"{r['converted']}/{n}"),
]


def print_table(rows):
    print("Conversion of a generated fleet on the stand-in: fleet_client (the conversion run) against a "
          "bsqldb loop doing the same work; then fleet_client's dry run and its run keeping the dependents")
    header = " ".join(f"{title:<{width}}" if title == "method" else f"{title:>{width}}"
                      for title, width, _ in COLUMNS)
    print(header)
    print("-" * len(header))
    for r in rows:
        print(" ".join(f"{value(r, r['size']):<{width}}" if title == "method" else f"{value(r, r['size']):>{width}}"
                       for title, width, value in COLUMNS))


def verdict(met):
    return "met" if met else "MISSED"


def spread(row):
    """The CPU times of every run of a repeated pass, per database."""
    runs = row.get("cpu_runs", [])
    if len(runs) < 2:
        return ""
    n = row["size"]
    return " (runs " + ", ".join(f"{1000 * c / n:.3f}" for c in runs) + ")"


def print_targets(rows):
    client = [r for r in rows if r["method"] == "fleet_client"]
    loop = {r["size"]: r for r in rows if r["method"] == "bsqldb loop"}
    others = [r for r in rows if r["method"] in ("dry run", "keep deps")]
    print()
    print("Targets (fleet_client)")
    for r in client:
        n = r["size"]
        cpu_ms = 1000 * r["cpu"] / n
        speedup = loop[n]["wall"] / r["wall"] if n in loop else None
        extra = r["requests"]["total"] - r["needed"]
        print(f"  N={n:<5} CPU {cpu_ms:.3f} ms/db{spread(r)} (<= 1: {verdict(cpu_ms <= 1)}); "
              f"requests {r['requests']['total']}, needed {r['needed']}, {extra / n:+.2f}/db "
              f"({verdict(extra <= 0)}); " + (f"{speedup:.1f}x the bsqldb loop's speed (>= 5: {verdict(speedup >= 5)})"
                                            if speedup is not None else "the bsqldb loop was left out"))
    if len(client) >= 2:
        small, large = client[0], client[-1]
        growth = (large["rss_kib"] - small["rss_kib"]) / 1024
        marginal = 1000 * (large["cpu"] - small["cpu"]) / (large["size"] - small["size"])
        print(f"  peak RSS N={small['size']} -> N={large['size']}: {growth:+.2f} MiB (< 1 MiB: {verdict(growth < 1)})")
        print(f"  CPU per further database, N={small['size']} -> N={large['size']}: {marginal:.3f} ms "
              f"(process start-up and the master connection left out)")
    print(f"  every database converted by both: "
          f"{'yes' if all(r['converted'] == r['size'] for r in rows if r not in others) else 'NO'}")
    if others:
        print("The dry run and the run keeping the dependents (fleet_client --dry-run, --keep-dependents)")
        for r in others:
            n = r["size"]
            extra = r["requests"]["total"] - r["needed"]
            print(f"  N={n:<5} {r['method']:<9} CPU {1000 * r['cpu'] / n:.3f} ms/db{spread(r)}; requests "
                  f"{r['requests']['total'] / n:.2f}/db, needed {r['needed'] / n:.2f}/db ({verdict(extra <= 0)}); "
                  f"end state as expected in {r['converted']}/{n}")


def main():
    args = sys.argv[1:]
    if not args or args[0] in ("-h", "--help"):
        print(__doc__)
        return 64
    build = os.path.abspath(args.pop(0))
    standin_binary = os.path.join(build, "standin", "standin")
    if args[:1] == ["--standin"] and len(args) >= 2:
        standin_binary = os.path.abspath(args[1])
        args = args[2:]
    with_loop = "--without-loop" not in args
    args = [a for a in args if a != "--without-loop"]
    repeat = 3
    if "--repeat" in args:
        at = args.index("--repeat")
        repeat = int(args[at + 1])
        if repeat < 1:
            raise SystemExit("fleet_bench.py: --repeat needs at least 1")
        del args[at:at + 2]
    sizes = [int(a) for a in args] or [10, 100, 1000]
    rows = []
    load_before = os.getloadavg()[0]
    with tempfile.TemporaryDirectory() as work:
        for size in sizes:
            print(f"fleet of {size} ...", file=sys.stderr, flush=True)
            rows += measure(build, standin_binary, size, work, with_loop, repeat)
    print_table(rows)
    print(f"(load average {load_before:.2f} before, {os.getloadavg()[0]:.2f} after, on {os.cpu_count()} CPUs)")
    print_targets(rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
