#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# workflows.py -- what the CI and release workflows must hold, read from
# .github/workflows: the three CI jobs, a release that attaches the four
# kinds of files and their SHA-256 sums, every action pinned to a commit,
# write permissions only where a release or the pages need them, no cache
# that could change a release's bytes, and one version in every file that
# names it.
#   python3 tests/workflows.py SOURCE_DIR
import os
import re
import subprocess
import sys

import yaml

src = sys.argv[1]
wf_dir = os.path.join(src, ".github", "workflows")
faults = []


def load(name):
    path = os.path.join(wf_dir, name)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    doc = yaml.safe_load(text)
    # YAML 1.1 reads the key `on` as true.
    doc["on"] = doc.pop(True, doc.get("on"))
    return text, doc


def steps(job):
    return job.get("steps") or []


def run(step):
    return str(step.get("run", ""))


def runs(job):
    return "\n".join(run(s) for s in steps(job))


# ---- The CI jobs -----------------------------------------------------------
# Job, the runner it must run on, and what its steps must run.
CI_JOBS = [
    ("linux", "ubuntu-", r"\.ci/run\b"),
    ("macos", "macos-", r"\bctest\b"),
    ("windows", "windows-", r"\bctest\b.*-C Release"),
]

texts = {}
ci_text, ci = load("ci.yml")
texts["ci.yml"] = (ci_text, ci)
for event in ("push", "pull_request"):
    if event not in (ci["on"] or {}):
        faults.append("ci.yml: does not run on %s" % event)
for name, runner, command in CI_JOBS:
    job = ci["jobs"].get(name)
    if job is None:
        faults.append("ci.yml: no %s job" % name)
        continue
    if not str(job.get("runs-on", "")).startswith(runner):
        faults.append("ci.yml: job %s runs on %s, not %s*" % (name, job.get("runs-on"), runner))
    if not re.search(command, runs(job)):
        faults.append("ci.yml: job %s does not run %s" % (name, command))

# ---- The release -----------------------------------------------------------
# What the release attaches: one pattern per kind of file, and the sums.
ATTACHED = {
    "zelvane_*.deb": "linux",
    "zelvane-*.tar.gz": "linux",
    "zelvane-*-windows-x86_64.zip": "windows",
    "zelvane-*-web.zip": "web",
    "SHA256SUMS": None,
}

rel_text, rel = load("release.yml")
texts["release.yml"] = (rel_text, rel)
tags = ((rel["on"] or {}).get("push") or {}).get("tags") or []
if tags != ["v*"]:
    faults.append("release.yml: runs on tags %s, not v*" % tags)
if set((rel["on"] or {}).keys()) != {"push"}:
    faults.append("release.yml: runs on more than a pushed tag: %s" % sorted(rel["on"]))
build = rel["jobs"].get("build", {})
kinds = {m.get("kind") for m in build.get("strategy", {}).get("matrix", {}).get("include", [])}
if not re.search(r"\.ci/release \$\{\{ matrix\.kind \}\}", runs(build)):
    faults.append("release.yml: the build job does not run .ci/release for each kind")
release = rel["jobs"].get("release", {})
gh = [run(s) for s in steps(release) if "gh release create" in run(s)]
sums = [i for i, s in enumerate(steps(release)) if re.search(r"\.ci/release sums\b", run(s))]
if len(gh) != 1:
    faults.append("release.yml: the release job has %d gh release create steps, not 1" % len(gh))
else:
    words = gh[0].split()
    for pattern, kind in ATTACHED.items():
        if pattern not in words:
            faults.append("release.yml: the release does not attach %s" % pattern)
        if kind and kind not in kinds:
            faults.append("release.yml: no %s build makes %s" % (kind, pattern))
    files = [w for w in words if w.startswith(("zelvane", "SHA256"))]
    extra = [w for w in files if w not in ATTACHED]
    if extra:
        faults.append("release.yml: the release attaches more: %s" % extra)
    gh_at = next(i for i, s in enumerate(steps(release)) if "gh release create" in run(s))
    if not sums or sums[0] > gh_at:
        faults.append("release.yml: no SHA-256 sums are made before the release")
if "build" not in str(release.get("needs")):
    faults.append("release.yml: the release does not wait for the builds")
pages = rel["jobs"].get("pages", {})
if not any("actions/deploy-pages@" in s.get("uses", "") for s in steps(pages)):
    faults.append("release.yml: no pages job deploys the page")
if not any("actions/upload-pages-artifact@" in s.get("uses", "") for s in steps(build)):
    faults.append("release.yml: the build does not hand the page to the pages job")

# The tag of this version passes the release's first check: every file that
# names the version names the same one.
with open(os.path.join(src, "CMakeLists.txt"), encoding="utf-8") as f:
    version = re.search(r"project\(zelvane VERSION ([0-9.]+)", f.read())
check = subprocess.run(["bash", os.path.join(src, ".ci", "release"), "tag", "v" + version.group(1)],
                       capture_output=True, text=True)
if check.returncode != 0:
    faults.append(check.stderr.strip())

# ---- Every workflow ----------------------------------------------------------
PINNED = re.compile(r"^[\w.-]+/[\w.-]+(/[\w./-]+)?@[0-9a-f]{40}$")
# Write access, by the job that needs it.
MAY_WRITE = {
    ("release.yml", "release"): {"contents"},
    ("release.yml", "pages"): {"pages", "id-token"},
}


def writes(perms):
    if perms in ("write-all",):
        return {"everything"}
    if not isinstance(perms, dict):
        return set()
    return {scope for scope, level in perms.items() if level == "write"}


for name, (text, doc) in texts.items():
    # Pinned, with the release it stands for beside it.
    for n, line in enumerate(text.splitlines(), 1):
        m = re.match(r"\s*(?:-\s*)?uses:\s*(\S+)(.*)", line)
        if not m:
            continue
        if not PINNED.match(m.group(1)):
            faults.append("%s:%d: %s is not pinned to a commit" % (name, n, m.group(1)))
        elif not re.search(r"#\s*v\d", m.group(2)):
            faults.append("%s:%d: %s names no release beside its commit" % (name, n, m.group(1)))
    top = doc.get("permissions")
    if top is None:
        faults.append("%s: no permissions at the top: every job would get the default" % name)
    elif writes(top):
        faults.append("%s: the top grants write: %s" % (name, sorted(writes(top))))
    for job_name, job in doc["jobs"].items():
        granted = writes(job.get("permissions", top))
        allowed = MAY_WRITE.get((name, job_name), set())
        if granted - allowed:
            faults.append("%s: job %s may write %s" % (name, job_name, sorted(granted - allowed)))
        for s in steps(job):
            uses = s.get("uses", "")
            with_ = s.get("with") or {}
            if uses.startswith("actions/cache") or "cache" in with_:
                faults.append("%s: job %s caches (%s)" % (name, job_name, uses or "cache:"))
            if uses.startswith("actions/checkout@") and with_.get("persist-credentials") is not False:
                faults.append("%s: job %s leaves its token in the checkout" % (name, job_name))

for fault in faults:
    print(fault)
print("workflows: %d faults" % len(faults))
sys.exit(1 if faults else 0)
