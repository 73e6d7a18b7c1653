#!/usr/bin/env python3
"""Per-test line coverage: which lines of src/ and apps/ each ctest test is the only one to run.

usage: scripts/per_test_coverage.py BUILD_DIR OUT_DIR [ctest -R regex] [-E regex]
Runs each test alone with GCOV_PREFIX so its counters land in their own folder, reads them with
gcov --json-format, and writes OUT_DIR/<n>.json: {"test": name, "lines": {file: [line,...]}}.
"""
import json, os, subprocess, sys, shutil, gzip, glob, concurrent.futures as cf

build, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
regex = sys.argv[3] if len(sys.argv) > 3 else ""
exclude = sys.argv[4] if len(sys.argv) > 4 else ""
root = os.path.dirname(os.path.dirname(build)) if build.endswith("build/coverage") else None
os.makedirs(out, exist_ok=True)
args = ["ctest", "--show-only=json-v1"]
if regex: args += ["-R", regex]
if exclude: args += ["-E", exclude]
info = json.loads(subprocess.check_output(args, cwd=build))
tests = info["tests"]
gcno = {}
for p in glob.glob(build + "/**/*.gcno", recursive=True):
    gcno[p[:-5]] = p

def run(i_t):
    i, t = i_t
    dest = os.path.join(out, f"{i}.json")
    if os.path.exists(dest): return
    pref = f"/tmp/ptcov/{i}"
    shutil.rmtree(pref, ignore_errors=True)
    env = dict(os.environ, GCOV_PREFIX=pref, GCOV_PREFIX_STRIP="0")
    for p in t.get("properties", []):
        if p["name"] == "ENVIRONMENT":
            for kv in p["value"]:
                k, v = kv.split("=", 1); env[k] = v
    wd = next((p["value"] for p in t.get("properties", []) if p["name"] == "WORKING_DIRECTORY"), build)
    try:
        r = subprocess.run(t["command"], cwd=wd, env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=600)
        ok = r.returncode == 0
    except Exception:
        ok = False
    gcdas = glob.glob(pref + "/**/*.gcda", recursive=True)
    lines = {}
    branches = {}
    work = pref + "/_gcov"
    os.makedirs(work, exist_ok=True)
    chunk = []
    for g in gcdas:
        orig = g[len(pref):-5]
        if orig not in gcno: continue
        rel = orig[len(build):]
        if not (rel.startswith("/src/") or rel.startswith("/apps/")): continue
        link = g[:-5] + ".gcno"
        if not os.path.exists(link): os.symlink(gcno[orig], link)
        chunk.append(g)
    for k in range(0, len(chunk), 60):
        res = subprocess.run(["gcov", "-b", "--json-format", "--stdout"] + chunk[k:k+60], cwd=work,
                             capture_output=True)
        for doc in res.stdout.decode(errors="replace").splitlines():
            doc = doc.strip()
            if not doc.startswith("{"): continue
            try: d = json.loads(doc)
            except Exception: continue
            for f in d.get("files", []):
                name = f["file"]
                if "/src/" not in "/" + name and "/apps/" not in "/" + name: continue
                name = name.split("/src/", 1)[-1] if "/src/" in name else name
                ls = [l["line_number"] for l in f["lines"] if l["count"] > 0]
                if ls: lines.setdefault(name, set()).update(ls)
                bs = [f"{l['line_number']}:{k}" for l in f["lines"]
                      for k, b in enumerate(l.get("branches", [])) if b["count"] > 0]
                if bs: branches.setdefault(name, set()).update(bs)
    shutil.rmtree(pref, ignore_errors=True)
    json.dump({"test": t["name"], "ok": ok, "lines": {k: sorted(v) for k, v in lines.items()},
               "branches": {k: sorted(v) for k, v in branches.items()}},
              open(dest, "w"))

jobs = int(os.environ.get("JOBS", "2"))
with cf.ThreadPoolExecutor(jobs) as ex:
    list(ex.map(run, enumerate(tests)))
print(len(tests), "tests")
