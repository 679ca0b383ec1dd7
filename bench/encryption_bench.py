#!/usr/bin/env python3
"""The cost of encryption per database: the conversion run over one generated fleet on the stand-in, with
--encrypt off and with --encrypt require (validated against a test CA), in alternating passes.

Usage: bench/encryption_bench.py BUILD_DIR [N] [PASSES]   (N = 100 databases, PASSES = 3 of each by default)
BUILD_DIR must hold app/tavinor-convert and standin/standin.
"""
import os
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = "Tavinor#2024"


def control(port, command):
    with socket.create_connection(("127.0.0.1", port)) as s:
        s.sendall((command + "\n").encode())
        reply = s.makefile().readline()
    if not reply.startswith("OK"):
        raise RuntimeError(f"{command}: {reply.strip()}")


def run_pass(convert, server, options):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    done = subprocess.run([convert, "--server", server, "--login", "sa", "--password-stdin", "--quiet"] + options,
                          input=PASSWORD + "\n", capture_output=True, text=True)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        raise RuntimeError(f"tavinor-convert {' '.join(options)} exited {done.returncode}: {done.stderr}")
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    passes = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    convert = os.path.join(build, "app", "tavinor-convert")
    standin = os.path.join(build, "standin", "standin")
    env = {k: v for k, v in os.environ.items() if k not in ("TDSVER", "TDSPORT", "TDSHOST")}
    with tempfile.TemporaryDirectory() as work:
        certs = os.path.join(work, "certs")
        subprocess.run([os.path.join(HERE, "..", "tests", "support", "make_test_certificates.sh"), certs], check=True)
        scenario = os.path.join(work, "fleet.json")
        with open(scenario, "w") as out:
            subprocess.run([standin, "--generate-fleet", str(n)], stdout=out, check=True)
        server = subprocess.Popen([standin, "--port", "0", "--control-port", "0", "--scenario", scenario,
                                   "--tls-cert", os.path.join(certs, "server.pem"),
                                   "--tls-key", os.path.join(certs, "server.key")],
                                  stdout=subprocess.PIPE, text=True, env=env)
        try:
            words = server.stdout.readline().split()
            port, control_port = int(words[1].split(":")[1]), int(words[3])
            target = f"127.0.0.1,{port}"
            methods = {
                "off": ["--encrypt", "off"],
                "require": ["--encrypt", "require", "--ca-file", os.path.join(certs, "ca.pem")],
            }
            results = {name: [] for name in methods}
            for _ in range(passes):
                for name, options in methods.items():
                    control(control_port, "RESET")
                    results[name].append(run_pass(convert, target, options))
        finally:
            server.terminate()
            server.wait()
    print(f"fleet of {n} databases, {passes} passes each (median), load {os.getloadavg()[0]:.2f}")
    print(f"{'encrypt':<10}{'wall s':>10}{'wall ms/db':>12}{'CPU ms/db':>12}")
    medians = {}
    for name, runs in results.items():
        wall = statistics.median(r[0] for r in runs)
        cpu = statistics.median(r[1] for r in runs)
        medians[name] = (wall, cpu)
        print(f"{name:<10}{wall:>10.2f}{wall / n * 1000:>12.2f}{cpu / n * 1000:>12.2f}")
    extra_wall = (medians["require"][0] - medians["off"][0]) / n * 1000
    extra_cpu = (medians["require"][1] - medians["off"][1]) / n * 1000
    print(f"encryption costs {extra_wall:.2f} ms wall and {extra_cpu:.2f} ms client CPU per database")


if __name__ == "__main__":
    main()
