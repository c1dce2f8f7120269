#!/usr/bin/python3
"""Runs every test function of every Qt Test program of a build on its own.

    scripts/each_test_alone.py [-j N] [--logs DIR] [--timeout S] BUILD_DIR [tst_NAME ...]
    scripts/each_test_alone.py --reverse [-j N] BUILD_DIR

Each function runs as `tst_x CLASS -maxwarnings 0 FUNCTION` with the
environment ctest gives its program, in a fresh home of its own (removed
afterwards), so that no function leans on one run before it or on what an
earlier run left in the home. Functions run N at a time (default 2). A log
per function lands in DIR (default BUILD_DIR/each-test-alone/); the summary
lists the functions that failed and exits 1 if any did.

--reverse runs the unit test programs through ctest with their test classes
in reverse order (VELMAR_TEST_ORDER=reverse) instead.
"""

import argparse
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def ctest_tests(build):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)["tests"]


def unit_programs(build):
    """{program name: (path, environment list)} for every test program ctest
    runs without arguments."""
    programs = {}
    for test in ctest_tests(build):
        command = test.get("command") or []
        if len(command) != 1 or not os.path.basename(command[0]).startswith("tst_"):
            continue
        env = []
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                env = prop["value"]
        programs[os.path.basename(command[0])] = (command[0], env)
    return programs


def environment(pairs, home):
    env = dict(os.environ)
    for pair in pairs:
        key, _, value = pair.partition("=")
        env[key] = value
    # A home of the run's own in place of ctest's shared one.
    env["HOME"] = home
    for key, sub in (("XDG_CONFIG_HOME", "config"), ("XDG_DATA_HOME", "data"),
                     ("XDG_CACHE_HOME", "cache"), ("XDG_RUNTIME_DIR", "runtime")):
        os.makedirs(os.path.join(home, sub), mode=0o700, exist_ok=True)
        env[key] = os.path.join(home, sub)
    return env


def listing(path, pairs, args):
    home = tempfile.mkdtemp(prefix="velmar-alone-")
    try:
        run = subprocess.run([path] + args, env=environment(pairs, home), capture_output=True,
                             text=True, timeout=120)
        return run.stdout.split()
    finally:
        shutil.rmtree(home, ignore_errors=True)


def run_one(job, logs, timeout):
    name, path, pairs, cls, function = job
    home = tempfile.mkdtemp(prefix="velmar-alone-")
    log = os.path.join(logs, f"{name}.{cls}.{function}.log")
    started = time.monotonic()
    try:
        with open(log, "w") as out:
            try:
                rc = subprocess.run([path, cls, "-maxwarnings", "0", function],
                                    env=environment(pairs, home), stdout=out,
                                    stderr=subprocess.STDOUT, timeout=timeout).returncode
            except subprocess.TimeoutExpired:
                rc = "timeout"
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return job, rc, time.monotonic() - started, log


def reverse_suite(build, jobs, programs):
    names = "|".join(re.escape(os.path.basename(n)[len("tst_"):]) for n in programs)
    env = dict(os.environ, VELMAR_TEST_ORDER="reverse")
    return subprocess.run(["ctest", "--output-on-failure", "-j", str(jobs), "--timeout", "900",
                           "-R", f"^({names})$"], cwd=build, env=env).returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("only", nargs="*", help="programs (tst_NAME); all by default")
    parser.add_argument("-j", type=int, default=2)
    parser.add_argument("--logs")
    parser.add_argument("--timeout", type=int, default=900)
    parser.add_argument("--reverse", action="store_true")
    a = parser.parse_args()
    build = os.path.abspath(a.build)
    programs = unit_programs(build)
    if a.only:
        missing = [n for n in a.only if n not in programs]
        if missing:
            sys.exit(f"not test programs of {build}: {' '.join(missing)}")
        programs = {n: programs[n] for n in a.only}
    if a.reverse:
        sys.exit(reverse_suite(build, a.j, programs))

    logs = os.path.abspath(a.logs or os.path.join(build, "each-test-alone"))
    os.makedirs(logs, exist_ok=True)
    jobs = []
    for name, (path, pairs) in sorted(programs.items()):
        for cls in listing(path, pairs, ["-classes"]):
            functions = [f[:-2] for f in listing(path, pairs, [cls, "-functions"]) if f.endswith("()")]
            jobs += [(name, path, pairs, cls, f) for f in functions]
    print(f"{len(jobs)} test functions in {len(programs)} programs, {a.j} at a time; logs in {logs}",
          flush=True)

    failed = []
    started = time.monotonic()
    with concurrent.futures.ThreadPoolExecutor(max_workers=a.j) as pool:
        for job, rc, seconds, log in pool.map(lambda j: run_one(j, logs, a.timeout), jobs):
            name, _, _, cls, function = job
            verdict = "PASS" if rc == 0 else f"FAIL ({rc})"
            print(f"{verdict:12} {seconds:6.1f}s  {name} {cls} {function}", flush=True)
            if rc != 0:
                failed.append(f"{name} {cls} {function}  ({log})")
    print(f"\n{len(jobs) - len(failed)} of {len(jobs)} functions passed alone "
          f"in {time.monotonic() - started:.0f} s")
    for line in failed:
        print("failed alone: " + line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
