#!/usr/bin/env python3
"""Runs the hand-made faults of scripts/mutants.txt against the test suite, one at a time.

The product code and the tests may come from different revisions, so a changed suite can be
compared with the old one on the same product code:

    scripts/mutants.py --product OLD --tests OLD --label before
    scripts/mutants.py --product OLD --tests HEAD --label after
    scripts/mutants.py --compare build/mutants/before.tsv build/mutants/after.tsv

"Tests" are tests/ and fuzz/ (the fuzz targets replay their saved inputs); everything else is
product code. A revision of "." is the working tree. The checkout itself is never written:
the sources are copied into <work>/tree (only files whose content changed are rewritten, so
the build stays incremental), built there as a Release tree (the build users run), and the
suite is run once clean; a test failing without any fault is set aside and reported. Then
for each fault: apply it to the copy, run the test binaries (the one of the fault's own
subsystem first, then the station's and the program's, then the rest, then the fuzz
replays), each rebuilt just before it runs, until one fails; restore the file. A failing
test is run again alone; one that passes then is a flake and does not count as a kill.

Results: <work>/<label>.tsv and <label>.md (a table: mutant, where, what, killed by).
The browser, packaging and installation tests are not run: they check the packaging, and
take minutes each.
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
import time

TEST_ROOTS = ("tests/", "fuzz/")
SEP = "@@"


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
    """The test binaries and the fuzz replays of one build."""

    def __init__(self, tree, build, work, log, jobs):
        self.tree, self.build, self.work, self.log, self.jobs = tree, build, work, log, jobs
        tests = os.path.join(build, "tests")
        self.binaries = sorted(n[len("test_"):] for n in os.listdir(tests)
                               if n.startswith("test_") and os.access(os.path.join(tests, n),
                                                                      os.X_OK))
        fuzz = os.path.join(build, "fuzz")
        self.replays = sorted(n for n in os.listdir(fuzz) if n.startswith("replay_fuzz_"))
        self.seconds = {}
        self.excluded = {}  # binary: tests that fail without any fault

    def env(self):
        tmp = os.path.join(self.work, "tmp")
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        env = dict(os.environ, TMPDIR=tmp)
        env.pop("RIGCORE_UPDATE_GOLDEN", None)
        return env

    def order(self, file):
        first = []
        parts = file.split("/")
        if parts[0] == "src" and parts[1] in self.binaries:
            first.append(parts[1])
        for name in ("station", "program"):
            if name not in first:
                first.append(name)
        return [b for b in first if b in self.binaries] + \
            [b for b in self.binaries if b not in first] + ["fuzz"]

    def timeout(self, unit):
        base = self.seconds.get(unit)
        return None if base is None else 5 * base + 120

    def make(self, unit):
        """Builds what `unit` runs (a test binary, or every fuzz replay); False if it fails."""
        targets = self.replays if unit == "fuzz" else ["test_" + unit]
        ok, _ = build(self.build, self.jobs, self.log, targets)
        return ok

    def run_binary(self, name, excluded=()):
        """None when every test passed, else (test name, how it failed)."""
        cmd = [os.path.join(self.build, "tests", "test_" + name), "--gtest_fail_fast"]
        if excluded:
            cmd.append("--gtest_filter=-" + ":".join(excluded))
        rc, secs, out = run(cmd, cwd=os.path.join(self.build, "tests"), env=self.env(),
                            timeout=self.timeout(name), log=self.log)
        self.seconds.setdefault(name, secs)
        if rc == 0:
            return None
        failed = re.findall(r"^\[  FAILED  \] (\S+?)(?: \(|,|$)", out, re.M)
        started = re.findall(r"^\[ RUN      \] (\S+)", out, re.M)
        if failed:
            return failed[0], "failed"
        last = started[-1] if started else "test_" + name
        return last, "timed out" if rc == "timeout" else f"crashed (exit {rc})"

    def passes_alone(self, name, test):
        cmd = [os.path.join(self.build, "tests", "test_" + name), "--gtest_filter=" + test]
        rc, _, _ = run(cmd, cwd=os.path.join(self.build, "tests"), env=self.env(),
                       timeout=self.timeout(name), log=self.log)
        return rc == 0

    def run_replays(self):
        start = time.monotonic()
        for r in self.replays:
            corpus = os.path.join(self.tree, "fuzz", "corpus", r[len("replay_"):])
            rc, _, _ = run([os.path.join(self.build, "fuzz", r), corpus], env=self.env(),
                           timeout=self.timeout("fuzz"), log=self.log)
            if rc != 0:
                return r, "timed out" if rc == "timeout" else f"crashed (exit {rc})"
        self.seconds.setdefault("fuzz", time.monotonic() - start)
        return None

    def first_kill(self, file):
        """(status, killer, flakes): the first test that fails with the fault in place. Each binary
        is rebuilt just before it runs, so a fault killed early costs one link, not all."""
        flakes = []
        for unit in self.order(file):
            if not self.make(unit):
                return "did not build", f"test_{unit}" if unit != "fuzz" else "fuzz", flakes
            if unit == "fuzz":
                hit = self.run_replays()
                if hit:
                    return "killed", f"{hit[0]} {hit[1]}", flakes
                continue
            excluded = list(self.excluded.get(unit, []))
            while True:
                hit = self.run_binary(unit, excluded)
                if hit is None:
                    break
                test, how = hit
                if (how == "failed" and len(excluded) < len(self.excluded.get(unit, [])) + 3
                        and self.passes_alone(unit, test)):
                    excluded.append(test)
                    flakes.append(test)
                    continue
                return ("killed", f"{test} (test_{unit})" + ("" if how == "failed" else " " + how),
                        flakes)
        return "survived", "", flakes


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


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--product", default="HEAD", help="revision of the product code ('.' = "
                    "the working tree)")
    ap.add_argument("--tests", help="revision of tests/ and fuzz/ (default: --product)")
    ap.add_argument("--mutants", help="the list (default: scripts/mutants.txt of the checkout)")
    ap.add_argument("--work", help="work folder (default: build/mutants of the checkout)")
    ap.add_argument("--label", default="results", help="name of the result files")
    ap.add_argument("--only", help="comma-separated mutant ids")
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
    for unit in suite.order(""):
        start = time.monotonic()
        if unit == "fuzz":
            hit = suite.run_replays()
            if hit:
                sys.exit(f"without any fault {hit[0]} {hit[1]}; see {log}")
        else:
            # A test failing without any fault (a known failure of this revision, a flake
            # under load) is set aside for the whole run, and the report says so.
            while (hit := suite.run_binary(unit, suite.excluded.get(unit, []))) is not None:
                if hit[1] != "failed" or len(suite.excluded.get(unit, [])) >= 5:
                    sys.exit(f"without any fault test_{unit} fails: {hit}; see {log}")
                suite.excluded.setdefault(unit, []).append(hit[0])
                print(f"  set aside, fails without any fault: {hit[0]} (test_{unit})",
                      flush=True)
        suite.seconds[unit] = time.monotonic() - start
        print(f"  {unit}: {suite.seconds[unit]:.0f} s", flush=True)

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
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text.replace(m["original"], m["replacement"]))
                row["status"], row["killer"], flakes = suite.first_kill(m["file"])
                row["flakes"] = ", ".join(flakes)
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text)
        rows.append(row)
        print(f"{m['id']}: {row['status']} {row['killer']} ({time.monotonic() - start:.0f} s)",
              flush=True)
        write_results(work, args.label, rows, suite.excluded)
    # Leave the build matching the unchanged tree.
    build(build_dir, args.jobs, log)
    print(markdown(rows))
    print(f"results: {os.path.join(work, args.label)}.md / .tsv")
    return 0


if __name__ == "__main__":
    sys.exit(main())
