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
faults = []

# Job, the runner it must run on, and what its steps must run.
CI_JOBS = [
    ("linux", "ubuntu-", r"\.ci/run\b"),
    ("macos", "macos-", r"\bctest\b"),
    ("windows", "windows-", r"\bctest\b.*-C Release"),
]
# What the release attaches: one pattern per kind of file, and the sums.
ATTACHED = {
    "zelvane_*.deb": "linux",
    "zelvane-*.tar.gz": "linux",
    "zelvane-*-windows-x86_64.zip": "windows",
    "zelvane-*-web.zip": "web",
    "SHA256SUMS": None,
}
PINNED = re.compile(r"^[\w.-]+/[\w.-]+(/[\w./-]+)?@[0-9a-f]{40}$")
# Write access, by the job that needs it.
MAY_WRITE = {
    ("release.yml", "release"): {"contents"},
    ("release.yml", "pages"): {"pages", "id-token"},
}


def check(ok, fault, *args):
    if not ok:
        faults.append(fault % args)


def load(name):
    with open(os.path.join(src, ".github", "workflows", name), encoding="utf-8") as f:
        text = f.read()
    doc = yaml.safe_load(text)
    # YAML 1.1 reads the key `on` as true.
    doc["on"] = doc.pop(True, doc.get("on")) or {}
    return text, doc


def steps(job):
    return job.get("steps") or []


def run(step):
    return str(step.get("run", ""))


def runs(job):
    return "\n".join(run(s) for s in steps(job))


def writes(perms):
    if perms == "write-all":
        return {"everything"}
    if not isinstance(perms, dict):
        return set()
    return {scope for scope, level in perms.items() if level == "write"}


texts = {name: load(name) for name in ("ci.yml", "release.yml")}

# ---- The CI jobs -----------------------------------------------------------
ci = texts["ci.yml"][1]
for event in ("push", "pull_request"):
    check(event in ci["on"], "ci.yml: does not run on %s", event)
for name, runner, command in CI_JOBS:
    job = ci["jobs"].get(name)
    if job is None:
        faults.append("ci.yml: no %s job" % name)
        continue
    check(str(job.get("runs-on", "")).startswith(runner), "ci.yml: job %s runs on %s, not %s*",
          name, job.get("runs-on"), runner)
    check(re.search(command, runs(job)), "ci.yml: job %s does not run %s", name, command)

# ---- The release -----------------------------------------------------------
rel = texts["release.yml"][1]
tags = (rel["on"].get("push") or {}).get("tags") or []
check(tags == ["v*"], "release.yml: runs on tags %s, not v*", tags)
check(set(rel["on"]) == {"push"}, "release.yml: runs on more than a pushed tag: %s",
      sorted(rel["on"]))
build, release, pages = (rel["jobs"].get(job, {}) for job in ("build", "release", "pages"))
kinds = {m.get("kind") for m in build.get("strategy", {}).get("matrix", {}).get("include", [])}
check(re.search(r"\.ci/release \$\{\{ matrix\.kind \}\}", runs(build)),
      "release.yml: the build job does not run .ci/release for each kind")
gh = [i for i, s in enumerate(steps(release)) if "gh release create" in run(s)]
sums = [i for i, s in enumerate(steps(release)) if re.search(r"\.ci/release sums\b", run(s))]
check(len(gh) == 1, "release.yml: the release job has %d gh release create steps, not 1", len(gh))
if len(gh) == 1:
    words = run(steps(release)[gh[0]]).split()
    for pattern, kind in ATTACHED.items():
        check(pattern in words, "release.yml: the release does not attach %s", pattern)
        check(not kind or kind in kinds, "release.yml: no %s build makes %s", kind, pattern)
    extra = [w for w in words if w.startswith(("zelvane", "SHA256")) and w not in ATTACHED]
    check(not extra, "release.yml: the release attaches more: %s", extra)
    check(sums and sums[0] <= gh[0], "release.yml: no SHA-256 sums are made before the release")
check("build" in str(release.get("needs")), "release.yml: the release does not wait for the builds")
check(any("actions/deploy-pages@" in s.get("uses", "") for s in steps(pages)),
      "release.yml: no pages job deploys the page")
check(any("actions/upload-pages-artifact@" in s.get("uses", "") for s in steps(build)),
      "release.yml: the build does not hand the page to the pages job")

# The tag of this version passes the release's first check: every file that
# names the version names the same one.
with open(os.path.join(src, "CMakeLists.txt"), encoding="utf-8") as f:
    version = re.search(r"project\(zelvane VERSION ([0-9.]+)", f.read())
tag = subprocess.run(["bash", os.path.join(src, ".ci", "release"), "tag", "v" + version.group(1)],
                     capture_output=True, text=True)
check(tag.returncode == 0, "%s", tag.stderr.strip())

# ---- Every workflow ----------------------------------------------------------
for name, (text, doc) in texts.items():
    # Pinned, with the release it stands for beside it.
    for n, line in enumerate(text.splitlines(), 1):
        m = re.match(r"\s*(?:-\s*)?uses:\s*(\S+)(.*)", line)
        if m and not PINNED.match(m.group(1)):
            faults.append("%s:%d: %s is not pinned to a commit" % (name, n, m.group(1)))
        elif m and not re.search(r"#\s*v\d", m.group(2)):
            faults.append("%s:%d: %s names no release beside its commit" % (name, n, m.group(1)))
    top = doc.get("permissions")
    check(top is not None, "%s: no permissions at the top: every job would get the default", name)
    check(not writes(top), "%s: the top grants write: %s", name, sorted(writes(top)))
    for job_name, job in doc["jobs"].items():
        extra = writes(job.get("permissions", top)) - MAY_WRITE.get((name, job_name), set())
        check(not extra, "%s: job %s may write %s", name, job_name, sorted(extra))
        for s in steps(job):
            uses_, with_ = s.get("uses", ""), s.get("with") or {}
            check(not uses_.startswith("actions/cache") and "cache" not in with_,
                  "%s: job %s caches (%s)", name, job_name, uses_ or "cache:")
            keeps_token = with_.get("persist-credentials") is not False
            check(not (uses_.startswith("actions/checkout@") and keeps_token),
                  "%s: job %s leaves its token in the checkout", name, job_name)

for fault in faults:
    print(fault)
print("workflows: %d faults" % len(faults))
sys.exit(1 if faults else 0)
