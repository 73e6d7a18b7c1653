#!/usr/bin/env python3
"""Tests whose every covered line and branch other tests also cover, from per-test coverage.
usage: scripts/redundant_tests.py OUT_DIR TESTS_ROOT MUTANTS_TSV [name-regex-to-consider]
OUT_DIR is what scripts/per_test_coverage.py wrote; MUTANTS_TSV a result of scripts/mutants.py
(the killers it names are never proposed).
Groups parameterised instances under their test, finds each test's source and size, then walks
the tests from the largest down and marks one removable when every product line it runs is still
run by a test that stays. Prints removable tests with file, size, and the lines kept by others."""
import json, glob, sys, re, os, collections
out, root = sys.argv[1], sys.argv[2]
pat = re.compile(sys.argv[4]) if len(sys.argv) > 4 else None
groups = collections.defaultdict(set); ok = {}
for p in glob.glob(out + "/*.json"):
    d = json.load(open(p))
    name = d["test"]
    # A fuzz replay only shows that nothing crashes: it runs lines without checking them.
    if name.startswith("replay_fuzz") or name.startswith("test_tree"): continue
    parts = name.split("/")
    base = next((x for x in parts if "." in x), name)
    base = base.split(".", 1)
    base = base[0] + "." + base[1] if len(base) > 1 else name
    s = groups[base]
    for f, ls in d["lines"].items():
        for l in ls: s.add((f, l))
    for f, bs in d.get("branches", {}).items():
        for b in bs: s.add((f, "b" + b))
    ok[base] = ok.get(base, True) and d["ok"]
# source of each test
src = {}
rx = re.compile(r'^(TEST|TEST_F|TEST_P)\((\w+),\s*(\w+)\)')
for dirpath, _, files in os.walk(root):
    for fn in files:
        if not fn.endswith(".cpp"): continue
        path = os.path.join(dirpath, fn)
        lines = open(path, errors="replace").read().split("\n")
        starts = [(i, rx.match(l)) for i, l in enumerate(lines) if rx.match(l)]
        for k, (i, m) in enumerate(starts):
            j = i + 1
            while j < len(lines) and lines[j] != "}": j += 1
            size = sum(1 for l in lines[i:j + 1] if l.strip())
            src[m.group(2) + "." + m.group(3)] = (os.path.relpath(path, root), i + 1, size)
keep = set()
for row in open(sys.argv[3]):
    cols = row.rstrip("\n").split("\t")
    if len(cols) > 3 and cols[2] == "killed": keep.add(cols[3].split(" ")[0])
PROTECT = re.compile(r"Golden|Scenario|Process|Pty|PseudoTerminal|Browser|Loopback|Sweep|EveryFailing|PowerCut|Killed|Fuzz|Replay|Fault|Damage|Full|Disk|ReadOnly|Kill|Crash|Garbage|Malformed|Corrupt|Truncat")
PROTECT_FILE = re.compile(r"^(program|office_pg|install|support|las_check)/|fault_sweep|_scenario_|pty_|process_")
cnt = collections.Counter()
for s in groups.values():
    for x in s: cnt[x] += 1
order = sorted(groups, key=lambda g: -src.get(g, ("", 0, 0))[2])
removed = []; total = 0
for g in order:
    if pat and not pat.search(g + " " + src.get(g, ("",))[0]): continue
    if g not in src or not ok[g] or g in keep: continue
    if PROTECT.search(g) or PROTECT_FILE.search(src[g][0]): continue
    if all(cnt[x] >= 2 for x in groups[g]):
        for x in groups[g]: cnt[x] -= 1
        removed.append(g); total += src[g][2]
        print(f"{src[g][2]:4d} {src[g][0]}:{src[g][1]} {g} ({len(groups[g])} lines run)")
print("total", total, "lines in", len(removed), "tests", file=sys.stderr)
