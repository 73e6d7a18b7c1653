#!/usr/bin/env python3
"""Runs the hand-made faults of scripts/mutants.txt against the test suite, one at a time.

The product code and the tests may come from different revisions, so a changed suite can be
compared with the old one on the same product code:

    scripts/mutants.py --product OLD --tests OLD --label before
    scripts/mutants.py --product OLD --tests HEAD --label after \
        --order-from build/mutants/before.tsv
    scripts/mutants.py --compare build/mutants/before.tsv build/mutants/after.tsv

"Tests" are tests/ and fuzz/ (the fuzz targets replay their saved inputs); everything else is
product code. A revision of "." is the working tree. The checkout itself is never written:
the sources are copied into <work>/tree (only files whose content changed are rewritten, so
the build stays incremental), built there as a Release tree (the build users run), and the
suite is run once clean, which times each test binary (a binary's run is cut off at three
times its clean time plus a minute); a test failing without any fault is set aside and
reported. Then for each fault: apply it to the copy, rebuild every test binary and replay in
one build (only the mutated library and what links it), run the binaries until a test fails
(--order-from's killer first, then the fault's own subsystem, the station's and the
program's, then the rest, quickest first, then the fuzz replays), and restore the file. A
fault counts as killed only by a test that fails again when run alone with the fault, and
passes alone once the fault is taken out (its binary rebuilt); a test that fails otherwise is
a flake, named in the table and not counted.

Results: <work>/<label>.tsv and <label>.md (a table: mutant, where, what, killed by).
The browser, packaging and installation tests, the mud log's pictures and the office
database's tests are not run: they check the packaging or a server of their own, and take
minutes each.
"""
import argparse
import io
import os
import re
import shutil
import signal
import subprocess
import sys
import tarfile
import tempfile
import time

TEST_ROOTS = ("tests/", "fuzz/")
SEP = "@@"
# Test binaries not run: the office database's tests start a PostgreSQL server and a browser
# and take many minutes; no fault of the list is in the office link.
SKIPPED = {"office_pg"}
# Tests left out of a binary's run, as ctest leaves them out: the mud log's pictures need a
# recorded scenario and a browser, and are checked by their own ctest steps.
DEFAULT_FILTERS = {"mudlog": ["MudLogPicture.*", "MudLogScenario.*"]}
# A binary whose clean run took over a minute runs as this many shards.
SHARDS = 4


def repo_root():
    here = os.path.dirname(os.path.abspath(__file__))
    return subprocess.check_output(["git", "-C", here, "rev-parse", "--show-toplevel"],
                                   text=True).strip()


def is_test_path(path):
    return path.startswith(TEST_ROOTS)


def files_of(root, rev):
    """{path: (bytes, mode)} of a revision, or of the working tree for '.'."""
    out = {}
    if rev == ".":
        names = subprocess.check_output(
            ["git", "-C", root, "ls-files", "-co", "--exclude-standard", "-z"]).split(b"\0")
        for name in names:
            if not name:
                continue
            path = name.decode()
            full = os.path.join(root, path)
            if "node_modules/" in path or not os.path.isfile(full) or os.path.islink(full):
                continue
            with open(full, "rb") as f:
                out[path] = (f.read(), os.stat(full).st_mode & 0o777)
        return out
    data = subprocess.check_output(["git", "-C", root, "archive", "--format=tar", rev])
    with tarfile.open(fileobj=io.BytesIO(data)) as tar:
        for m in tar.getmembers():
            if m.isfile():
                out[m.name] = (tar.extractfile(m).read(), m.mode & 0o777)
    return out


def sync_tree(root, tree, product_rev, tests_rev):
    wanted = {p: v for p, v in files_of(root, product_rev).items() if not is_test_path(p)}
    wanted.update({p: v for p, v in files_of(root, tests_rev).items() if is_test_path(p)})
    changed = 0
    for path, (data, mode) in wanted.items():
        full = os.path.join(tree, path)
        try:
            with open(full, "rb") as f:
                same = f.read() == data
        except FileNotFoundError:
            same = False
        if not same:
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "wb") as f:
                f.write(data)
            changed += 1
        os.chmod(full, mode)
    for dirpath, dirnames, filenames in os.walk(tree):
        dirnames[:] = [d for d in dirnames
                       if d != "node_modules" and not (dirpath == tree and d == "build")]
        for name in filenames:
            rel = os.path.relpath(os.path.join(dirpath, name), tree)
            if rel not in wanted:
                os.remove(os.path.join(dirpath, name))
                changed += 1
    # The npm modules (the chart library built into the program, the LAS reader of the
    # export tests) are not in git: the tree uses the checkout's.
    for rel in ("web/node_modules", "tests/las_check/node_modules"):
        src, dst = os.path.join(root, rel), os.path.join(tree, rel)
        if os.path.isdir(src) and not os.path.lexists(dst):
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            os.symlink(src, dst)
    return changed


def read_mutants(path):
    mutants = []
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            fields = [x.strip() for x in line.split(SEP)]
            if len(fields) != 5 or not fields[0] or not fields[1] or not fields[2]:
                sys.exit(f"{path}:{n}: expected 'id {SEP} file {SEP} original {SEP} "
                         f"replacement {SEP} what'")
            mutants.append(dict(zip(("id", "file", "original", "replacement", "what"), fields)))
    return mutants


def run(cmd, cwd=None, env=None, timeout=None, log=None):
    """(exit code or 'timeout', seconds, output)."""
    start = time.monotonic()
    # A session of its own, so a hung test's children (stations, servers) go with it.
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        rc = p.returncode
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        rc = "timeout"
    text = out.decode(errors="replace")
    if log:
        with open(log, "a") as f:
            f.write(f"$ {' '.join(cmd)}\n{text}\n[exit {rc}]\n")
    return rc, time.monotonic() - start, text


class Suite:
    """The test binaries and the fuzz replays of one build, and how long each took clean."""

    def __init__(self, tree, build, work, log, jobs):
        self.tree, self.build, self.work, self.log, self.jobs = tree, build, work, log, jobs
        tests = os.path.join(build, "tests")
        self.binaries = sorted(n[len("test_"):] for n in os.listdir(tests)
                               if n.startswith("test_") and n[len("test_"):] not in SKIPPED
                               and os.access(os.path.join(tests, n), os.X_OK))
        fuzz = os.path.join(build, "fuzz")
        self.replays = sorted(n for n in os.listdir(fuzz) if n.startswith("replay_fuzz_"))
        self.seconds = {}   # unit: seconds of its clean run
        self.excluded = {}  # binary: tests that fail without any fault

    def targets(self):
        return ["test_" + b for b in self.binaries] + self.replays

    def env(self, tag="main"):
        tmp = os.path.join(self.work, "tmp", tag)
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        env = dict(os.environ, TMPDIR=tmp)
        env.pop("RIGCORE_UPDATE_GOLDEN", None)
        return env

    def order(self, file, hint=None):
        """The units to run for a fault in `file`: the killer of an earlier run first, then the
        fault's own subsystem, the station's and the program's tests, then the rest, quickest
        first, then the fuzz replays."""
        first = []
        if hint:
            first.append(hint[0])
        parts = file.split("/")
        if len(parts) > 2 and parts[0] == "src":
            first.append(parts[1])
        elif parts[0] == "apps":
            first.append("program")
        first += ["station", "program"]
        units = []
        for u in first:
            if u not in units and (u in self.binaries or u == "fuzz"):
                units.append(u)
        rest = sorted((b for b in self.binaries if b not in units),
                      key=lambda b: (self.seconds.get(b, 0), b))
        return units + rest + ([] if "fuzz" in units else ["fuzz"])

    def timeout(self, unit):
        base = self.seconds.get(unit)
        return 1800 if base is None else 3 * base + 60

    def command(self, name, excluded=(), only=None, shard=None):
        """(argv, environment) of a run of test_`name`: all its tests but `excluded`, stopping
        at the first failure, or the one test `only`, or one of its shards (index, count)."""
        if only:
            args = ["--gtest_filter=" + only]
        else:
            negative = list(DEFAULT_FILTERS.get(name, [])) + list(excluded)
            args = ["--gtest_fail_fast"] + (["--gtest_filter=-" + ":".join(negative)]
                                            if negative else [])
        env = self.env(name if shard is None else f"{name}.{shard[0]}")
        if shard:
            env.update(GTEST_SHARD_INDEX=str(shard[0]), GTEST_TOTAL_SHARDS=str(shard[1]))
        return [os.path.join(self.build, "tests", "test_" + name), *args], env

    @staticmethod
    def outcome(rc, out):
        """None when every test passed, else (test name or None, how it failed)."""
        if rc == 0:
            return None
        failed = re.findall(r"^\[  FAILED  \] (\S+?)(?: \(|,|$)", out, re.M)
        started = re.findall(r"^\[ RUN      \] (\S+)", out, re.M)
        if failed:
            return failed[0], "failed"
        last = started[-1] if started else None
        return last, "timed out" if rc == "timeout" else f"crashed (exit {rc})"

    def run_binary(self, name, excluded=(), only=None):
        cmd, env = self.command(name, excluded, only)
        rc, _, out = run(cmd, cwd=os.path.join(self.build, "tests"), env=env,
                         timeout=self.timeout(name), log=self.log)
        return self.outcome(rc, out)

    def jobs_of(self, unit):
        """A slow binary runs as shards side by side: its tests wait on processes and
        sockets more than they compute."""
        count = SHARDS if self.seconds.get(unit, 0) > 60 else 1
        return [(unit, None)] if count == 1 else [(unit, (i, count)) for i in range(count)]

    def run_pool(self, queue, excluded):
        """Runs the jobs of `queue`, `self.jobs` at a time, until one fails. Returns (job,
        (test, how), the jobs not finished) or (None, None, [])."""
        queue, running = list(queue), []
        try:
            while queue or running:
                while queue and len(running) < self.jobs:
                    job = queue.pop(0)
                    cmd, env = self.command(job[0], excluded.get(job[0], []), shard=job[1])
                    out = tempfile.TemporaryFile()
                    p = subprocess.Popen(cmd, cwd=os.path.join(self.build, "tests"), env=env,
                                         stdout=out, stderr=subprocess.STDOUT,
                                         start_new_session=True)
                    running.append((job, p, out, time.monotonic(), cmd))
                time.sleep(0.2)
                for entry in list(running):
                    job, p, out, start, cmd = entry
                    rc = p.poll()
                    if rc is None and time.monotonic() - start < self.timeout(job[0]):
                        continue
                    if rc is None:
                        os.killpg(p.pid, signal.SIGKILL)
                        p.wait()
                        rc = "timeout"
                    running.remove(entry)
                    out.seek(0)
                    text = out.read().decode(errors="replace")
                    out.close()
                    with open(self.log, "a") as f:
                        f.write(f"$ {' '.join(cmd)} (shard {job[1]})\n{text}\n[exit {rc}]\n")
                    hit = self.outcome(rc, text)
                    if hit:
                        return job, hit, [r[0] for r in running] + queue
            return None, None, []
        finally:
            for job, p, out, _, _ in running:
                if p.poll() is None:
                    os.killpg(p.pid, signal.SIGKILL)
                    p.wait()
                out.close()

    def passes_alone(self, name, test):
        """True when the one test (or the one replay) passes."""
        if name == "fuzz":
            return self.run_replay(test) is None
        return self.run_binary(name, only=test) is None

    def run_replay(self, r):
        corpus = os.path.join(self.tree, "fuzz", "corpus", r[len("replay_"):])
        rc, _, _ = run([os.path.join(self.build, "fuzz", r), corpus], env=self.env(),
                       timeout=self.timeout("fuzz"), log=self.log)
        if rc == 0:
            return None
        return "timed out" if rc == "timeout" else f"crashed (exit {rc})"

    def run_replays(self):
        for r in self.replays:
            how = self.run_replay(r)
            if how:
                return r, how
        return None

    def clean_run(self):
        """Runs everything once without a fault: each unit's time (its timeout follows from it)
        and the tests that fail anyway, set aside for the whole run."""
        for unit in self.order(""):
            start = time.monotonic()
            if unit == "fuzz":
                hit = self.run_replays()
                if hit:
                    sys.exit(f"without any fault {hit[0]} {hit[1]}; see {self.log}")
            else:
                while (hit := self.run_binary(unit, self.excluded.get(unit, []))) is not None:
                    if hit[1] != "failed" or len(self.excluded.get(unit, [])) >= 5:
                        sys.exit(f"without any fault test_{unit} fails: {hit}; see {self.log}")
                    self.excluded.setdefault(unit, []).append(hit[0])
                    print(f"  set aside, fails without any fault: {hit[0]} (test_{unit})",
                          flush=True)
            self.seconds[unit] = time.monotonic() - start
            print(f"  {unit}: {self.seconds[unit]:.0f} s", flush=True)

    def search(self, file, hint, passed):
        """(status, unit, test, how, flakes) with the fault in place: a test that fails, and
        fails again when run alone. `passed` holds tests that failed with this fault but
        also without it; they are left out."""
        flakes = []
        if hint and hint[1] not in passed:
            if hint[0] == "fuzz" and hint[1] in self.replays:
                how = self.run_replay(hint[1])
                if how and self.confirm("fuzz", hint[1]):
                    return "killed", "fuzz", hint[1], how, flakes
            elif hint[0] in self.binaries:
                hit = self.run_binary(hint[0], only=hint[1])
                if hit and hit[0] and self.confirm(hint[0], hit[0]):
                    return "killed", hint[0], hit[0], hit[1], flakes
        excluded = {u: list(self.excluded.get(u, [])) + [t for t in passed if "." in t]
                    for u in self.binaries}
        queue = [job for u in self.order(file, hint) if u != "fuzz" for job in self.jobs_of(u)]
        while queue:
            job, hit, queue = self.run_pool(queue, excluded)
            if hit is None:
                break
            unit, (test, how) = job[0], hit
            if test is None:  # died before its first test: the whole binary is the killer
                return "killed", unit, "*", how, flakes
            if self.confirm(unit, test):
                return "killed", unit, test, how, flakes
            # Passed when run again alone: a flake under load, not a kill.
            excluded[unit].append(test)
            flakes.append(test)
            queue.insert(0, job)
            if len(flakes) > 5:
                break
        hit = self.run_replays()
        while hit and hit[0] in passed:
            rest = self.replays[self.replays.index(hit[0]) + 1:]
            hit = next(((r, h) for r in rest if (h := self.run_replay(r))), None)
        if hit:
            return "killed", "fuzz", hit[0], hit[1], flakes
        return "survived", None, None, None, flakes

    def confirm(self, unit, test):
        """A failure counts only if it repeats when the test runs alone."""
        return not self.passes_alone(unit, test)


def build(build_dir, jobs, log, targets=()):
    cmd = ["cmake", "--build", build_dir, "-j", str(jobs)]
    if targets:
        cmd += ["--target", *targets]
    rc, secs, out = run(cmd, log=log)
    return rc == 0, secs


def configure(tree, build_dir, log):
    if os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        return True
    cmd = ["cmake", "-S", tree, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
           "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    rc, _, _ = run(cmd, log=log)
    return rc == 0


def where(text, original):
    return text[:text.index(original)].count("\n") + 1


def markdown(rows):
    lines = ["| mutant | where | what goes wrong | killed by |", "|---|---|---|---|"]
    for r in rows:
        killer = r["killer"] if r["status"] == "killed" else f"**{r['status']}**"
        if r["status"] == "killed" and r.get("flakes"):
            killer += f" (flaky, not counted: {r['flakes']})"
        lines.append(f"| {r['id']} | `{r['where']}` | {r['what']} | {killer} |")
    counts = {}
    for r in rows:
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    summary = ", ".join(f"{n} {s}" for s, n in sorted(counts.items()))
    return "\n".join(lines) + f"\n\n{len(rows)} mutants: {summary}.\n"


def write_results(work, label, rows, excluded=None):
    with open(os.path.join(work, label + ".tsv"), "w") as f:
        for r in rows:
            f.write("\t".join([r["id"], r["where"], r["status"], r["killer"], r["what"]]) + "\n")
    with open(os.path.join(work, label + ".md"), "w") as f:
        f.write(markdown(rows))
        for unit, tests in sorted((excluded or {}).items()):
            f.write(f"\nSet aside in test_{unit} (they fail without any fault): "
                    f"{', '.join(tests)}.\n")


def compare(a_path, b_path):
    def load(p):
        with open(p) as f:
            return {line.split("\t")[0]: line.rstrip("\n").split("\t") for line in f}
    a, b = load(a_path), load(b_path)
    lost = [k for k in a if a[k][2] == "killed" and b.get(k, [None] * 3)[2] != "killed"]
    gained = [k for k in b if b[k][2] == "killed" and a.get(k, [None] * 3)[2] != "killed"]
    for k in lost:
        print(f"no longer killed: {k} ({a[k][1]}): {a[k][4]}; was killed by {a[k][3]}")
    for k in gained:
        print(f"newly killed: {k} by {b[k][3]}")
    print(f"{len(lost)} lost, {len(gained)} gained")
    return 1 if lost else 0


def read_hints(path):
    """{mutant id: (unit, test)}: which test killed each fault in an earlier run."""
    hints = {}
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 4 or fields[2] != "killed":
                continue
            if m := re.match(r"(\S+) \(test_(\w+)\)", fields[3]):
                hints[fields[0]] = (m.group(2), m.group(1))
            elif m := re.match(r"(replay_fuzz_\w+)", fields[3]):
                hints[fields[0]] = ("fuzz", m.group(1))
    return hints


def write_file(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def try_mutant(suite, m, path, text, hint):
    """(status, killer, flakes) of one fault. A kill counts only if the killing test fails
    again when run alone with the fault, and passes alone once the fault is taken out."""
    passed, flakes = set(), []
    for _ in range(3):
        write_file(path, text.replace(m["original"], m["replacement"]))
        try:
            # One build of every test binary and replay: only the mutated library and what
            # links it are rebuilt, in parallel.
            if not build(suite.build, suite.jobs, suite.log, suite.targets())[0]:
                return "did not build", "", flakes
            status, unit, test, how, more = suite.search(m["file"], hint, passed)
            flakes += more
        finally:
            write_file(path, text)
        if status != "killed":
            return status, "", flakes
        target = unit_target(unit, test)
        if not build(suite.build, suite.jobs, suite.log, [target])[0]:
            sys.exit(f"the unchanged tree does not build, see {suite.log}")
        if test == "*":
            clean = suite.run_binary(unit, suite.excluded.get(unit, [])) is None
        else:
            clean = suite.passes_alone(unit, test)
        if clean:
            if unit == "fuzz":
                return "killed", f"{test} {how}", flakes
            return ("killed", f"{test} (test_{unit})" + ("" if how == "failed" else " " + how),
                    flakes)
        # It fails without the fault too: no kill. Look further with it left out.
        passed.add(test)
        flakes.append(test)
    return "survived", "", flakes


def unit_target(unit, test):
    return test if unit == "fuzz" else "test_" + unit


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--product", default="HEAD", help="revision of the product code ('.' = "
                    "the working tree)")
    ap.add_argument("--tests", help="revision of tests/ and fuzz/ (default: --product)")
    ap.add_argument("--mutants", help="the list (default: scripts/mutants.txt of the checkout)")
    ap.add_argument("--work", help="work folder (default: build/mutants of the checkout)")
    ap.add_argument("--label", default="results", help="name of the result files")
    ap.add_argument("--only", help="comma-separated mutant ids")
    ap.add_argument("--order-from", metavar="TSV",
                    help="results of an earlier run: each fault's killer there runs first")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--compare", nargs=2, metavar="TSV", help="compare two result files")
    args = ap.parse_args()
    if args.compare:
        return compare(*args.compare)

    root = repo_root()
    work = os.path.abspath(args.work or os.path.join(root, "build", "mutants"))
    # The build sits where a checkout's release tree does, so the compiler cache shares the
    # objects of unchanged files with the release trees of other checkouts.
    tree = os.path.join(work, "tree")
    build_dir = os.path.join(tree, "build", "release")
    log = os.path.join(work, args.label + ".log")
    os.makedirs(tree, exist_ok=True)
    open(log, "w").close()
    mutants = read_mutants(args.mutants or os.path.join(root, "scripts", "mutants.txt"))
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m["id"] in wanted]
    hints = read_hints(args.order_from) if args.order_from else {}

    started = time.monotonic()
    changed = sync_tree(root, tree, args.product, args.tests or args.product)
    print(f"tree: {changed} files updated (product {args.product}, tests "
          f"{args.tests or args.product})", flush=True)
    if not configure(tree, build_dir, log):
        sys.exit(f"configure failed, see {log}")
    ok, secs = build(build_dir, args.jobs, log)
    if not ok:
        sys.exit(f"the unchanged tree does not build, see {log}")
    suite = Suite(tree, build_dir, work, log, args.jobs)
    print(f"built in {secs:.0f} s; clean run of the suite", flush=True)
    suite.clean_run()

    rows = []
    for m in mutants:
        path = os.path.join(tree, m["file"])
        row = dict(id=m["id"], what=m["what"], where=m["file"], killer="", flakes="")
        start = time.monotonic()
        try:
            with open(path, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            text = ""
        count = text.count(m["original"])
        if count != 1:
            row["status"] = "not applicable"
            row["killer"] = "text not found" if count == 0 else f"text found {count} times"
        else:
            row["where"] = f"{m['file']}:{where(text, m['original'])}"
            row["status"], row["killer"], flakes = try_mutant(suite, m, path, text,
                                                              hints.get(m["id"]))
            row["flakes"] = ", ".join(flakes)
        rows.append(row)
        print(f"{m['id']}: {row['status']} {row['killer']} ({time.monotonic() - start:.0f} s)",
              flush=True)
        write_results(work, args.label, rows, suite.excluded)
    # Leave the build matching the unchanged tree.
    build(build_dir, args.jobs, log)
    print(markdown(rows))
    print(f"results: {os.path.join(work, args.label)}.md / .tsv; "
          f"{(time.monotonic() - started) / 60:.0f} min in all")
    return 0


if __name__ == "__main__":
    sys.exit(main())
