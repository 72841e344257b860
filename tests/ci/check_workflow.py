#!/usr/bin/python3
"""Holds .github/workflows/tests.yml to its shape, since it cannot run here:

- it runs on pushes to main and on pull requests (a pull request's commit is not tested twice),
  with the token reading the repository only (top-level permissions: contents: read);
- one job each in a debian:12 and a debian:13 container (a matrix is expanded; one failing release
  cancels no other) checks the tree out, runs scripts/test (or .ci/run), writes the kit with
  scripts/windows-kit DIR and uploads DIR under a name of its own; when it fails it uploads its
  logs and the work folders the tests keep (if: failure()), without a prefix's links to /;
- jobs on windows-2022 and windows-2025 (a matrix is expanded) need that job, download the
  debian:12 job's kit under the name it was uploaded with, run run-tests.cmd in the downloaded
  folder, and upload the XML from that folder even when the tests failed (if: always()), each
  under a name of its own;
- every action is pinned to a major version, and the artifact actions are of the generation
  (v4 and later) that can read each other's artifacts;
- every CMake test preset (CMakePresets.json) fails when it finds no test, so a filter or a
  discovery that matches nothing never passes as an empty run.

Each rule is also tried on a copy of the workflow (or the presets) with one fault put in, which it
must report. Runs with Debian's python3 and python3-yaml.

    check_workflow.py [WORKFLOW [PRESETS]]    (default: .github/workflows/tests.yml and
                                               CMakePresets.json of this tree)
"""

from __future__ import annotations

import copy
import itertools
import json
import re
import sys
from pathlib import Path

import yaml

ROOT = Path(__file__).resolve().parents[2]
WORKFLOW = ROOT / ".github" / "workflows" / "tests.yml"
PRESETS = ROOT / "CMakePresets.json"
RELEASES = ("debian:12", "debian:13")
KIT_FROM = "debian:12"  # the release whose kit the Windows jobs run
# What a failed Linux job uploads, (what, the path it must name): the build folders' logs, the work
# folders the end-to-end cases (tests/e2e/CMakeLists.txt) and the kit under Wine keep, the release
# tests' work folders (release_support.temporary_folder) and the Wine user's places for all of them
# (scripts/as-wine-user, run by root as CI runs).
KEPT_ON_FAILURE = [
    ("the build logs", "build/**/*.log"),
    ("the end-to-end work folder", "build/windows/tests/e2e/work"),
    ("the kit's work folder", "build/windows/kit-under-wine"),
    ("the release tests' work folders", "/tmp/orvane-*"),
    ("the Wine user's places", "/var/lib/orvane-wine/work"),
]
WINDOWS_RUNNERS = {"windows-2022", "windows-2025"}
CHECKOUT = "actions/checkout"
UPLOAD, DOWNLOAD = "actions/upload-artifact", "actions/download-artifact"
MATRIX_REFERENCE = re.compile(r"\$\{\{\s*matrix\.(\w+)\s*\}\}")


def expand(job_id: str, job: dict) -> list[dict]:
    """The jobs a job definition stands for: one per matrix combination, `${{ matrix.X }}`
    replaced everywhere."""
    matrix = (job.get("strategy") or {}).get("matrix") or {}
    axes = {k: v for k, v in matrix.items() if isinstance(v, list)}
    jobs = []
    for values in itertools.product(*axes.values()) if axes else [()]:
        chosen = dict(zip(axes, values))

        def fill(node):
            if isinstance(node, str):
                return MATRIX_REFERENCE.sub(lambda m: str(chosen.get(m.group(1), m.group(0))), node)
            if isinstance(node, list):
                return [fill(n) for n in node]
            if isinstance(node, dict):
                return {k: fill(v) for k, v in node.items()}
            return node

        jobs.append(dict(fill(job), id=job_id))
    return jobs


def action(step: dict) -> tuple[str, str]:
    """(name, version) of a step's action; ("", "") for a run step."""
    name, _, version = (step.get("uses") or "").partition("@")
    return name, version


def given(step: dict, key: str) -> str:
    """An input of a step's action (its `with:`), "" when not given."""
    return str((step.get("with") or {}).get(key) or "")


def runs(step: dict, pattern: str) -> bool:
    return re.search(pattern, step.get("run") or "") is not None


def normal(path: str) -> str:
    return str(Path(path.replace("\\", "/"))).rstrip("/")


def triggers_of(workflow: dict):
    return workflow.get("on", workflow.get(True))  # YAML 1.1 reads a bare `on` as true


def upload_paths(step: dict) -> list[str]:
    return [line.strip() for line in given(step, "path").splitlines() if line.strip()]


def linux_problems(job: dict, where: str) -> tuple[list[str], str | None, str | None]:
    """What is wrong with one Linux job; the names of its kit and failure uploads."""
    found = []
    if not str(job.get("runs-on", "")).startswith("ubuntu-"):
        found.append(f"{where} runs on Linux, not {job.get('runs-on')!r}")
    steps = job.get("steps", [])
    order, kit_folder = {}, None
    for index, step in enumerate(steps):
        if action(step)[0] == CHECKOUT:
            order.setdefault("checkout", index)
        if runs(step, r"(^|[\s;&|])(\./)?(scripts/test|\.ci/run)(\s|$)"):
            order.setdefault("test", index)
        kit = re.search(r"scripts/windows-kit\s+(\S+)", step.get("run") or "")
        if kit:
            order.setdefault("kit", index)
            kit_folder = normal(kit.group(1))
    for what in ("checkout", "test", "kit"):
        if what not in order:
            found.append(f"{where} has a {what} step")
    if len(order) == 3 and not order["checkout"] < order["test"] < order["kit"]:
        found.append(f"{where} checks out, runs scripts/test, then writes the kit")
    kit_uploads = [s for s in steps[order.get("kit", len(steps)) + 1:]
                   if action(s)[0] == UPLOAD and normal(given(s, "path")) == kit_folder]
    kit_name = None
    if len(kit_uploads) != 1:
        found.append(f"{where} uploads the folder scripts/windows-kit wrote, once, after")
    else:
        kit_name = given(kit_uploads[0], "name")
        if not kit_name:
            found.append(f"{where}: the kit upload has a name")

    failure_uploads = [(i, s) for i, s in enumerate(steps)
                       if action(s)[0] == UPLOAD and "failure()" in str(s.get("if", ""))]
    if len(failure_uploads) != 1:
        found.append(f"{where} uploads its logs and kept work folders when it fails "
                     "(if: failure()), once")
        return found, kit_name, None
    index, failure = failure_uploads[0]
    if index < order.get("test", 0):
        found.append(f"{where} uploads what a failure kept after the tests, not before")
    paths = upload_paths(failure)
    kept = {normal(p) for p in paths if not p.startswith("!")}
    for what, path in KEPT_ON_FAILURE:
        if normal(path) not in kept:
            found.append(f"{where}: a failure uploads {what} ({path})")
    if not any(p.startswith("!") and "dosdevices" in p for p in paths):
        found.append(f"{where}: a failure upload leaves out the prefixes' dosdevices (links to /)")
    return found, kit_name, given(failure, "name")


def problems(workflow: dict, presets: dict) -> list[str]:
    found = []
    triggers = triggers_of(workflow)
    if not triggers:
        found.append("the workflow has no triggers")
    else:
        if isinstance(triggers, str):
            triggers = {triggers: None}
        elif isinstance(triggers, list):
            triggers = dict.fromkeys(triggers)
        if "pull_request" not in triggers:
            found.append("the workflow runs on pull requests")
        if "push" in triggers and ((triggers["push"] or {}).get("branches") or []) != ["main"]:
            found.append("pushes run the workflow on main only (pull requests have their own run)")
    permissions = workflow.get("permissions")
    if permissions != {"contents": "read"}:
        found.append(f"the workflow's token reads only (permissions: contents: read), not {permissions!r}")
    definitions = workflow.get("jobs") or {}
    for job_id, job in definitions.items():
        if "write" in str(job.get("permissions", "")):
            found.append(f"the job {job_id} asks for no write permission")
    jobs = [j for job_id, job in definitions.items() for j in expand(job_id, job)]

    def container_image(job):
        container = job.get("container")
        return container.get("image") if isinstance(container, dict) else container

    images = sorted(str(container_image(j)) for j in jobs if container_image(j))
    if images != sorted(RELEASES):
        return found + [f"one job each runs in a container of {list(RELEASES)}, found {images}"]
    linux, kit_names, failure_names = {}, {}, []
    for job in jobs:
        image = container_image(job)
        if image:
            linux[image] = job
            job_found, kit_names[image], failure_name = linux_problems(job, f"the {image} job")
            found += job_found
            failure_names.append(failure_name)
    for definition_id in {j["id"] for j in linux.values()}:
        strategy = definitions[definition_id].get("strategy") or {}
        if strategy.get("matrix") and strategy.get("fail-fast", True) is not False:
            found.append("one failing Debian release cancels no other (fail-fast: false)")
    for names, what in ((list(kit_names.values()), "kit"), (failure_names, "failure upload")):
        present = [n for n in names if n is not None]
        if len(set(present)) != len(present):
            found.append(f"each Linux job's {what} has a name of its own, not {present}")
    kit_name = kit_names.get(KIT_FROM)

    windows = [j for j in jobs if str(j.get("runs-on", "")).startswith("windows-")]
    runners = sorted(str(j.get("runs-on")) for j in windows)
    if runners != sorted(WINDOWS_RUNNERS):
        found.append(f"the Windows jobs run on {sorted(WINDOWS_RUNNERS)}, not {runners}")
    result_names = []
    for job in windows:
        where = f"the {job.get('runs-on')} job"
        needs = job.get("needs") or []
        if linux[KIT_FROM]["id"] not in ([needs] if isinstance(needs, str) else needs):
            found.append(f"{where} needs the {KIT_FROM} job")
        strategy = job.get("strategy") or {}
        if strategy.get("matrix") and strategy.get("fail-fast", True) is not False:
            found.append(f"{where}: one failing Windows cancels no other (fail-fast: false)")
        steps = job.get("steps", [])
        downloads = [s for s in steps if action(s)[0] == DOWNLOAD and given(s, "name") == kit_name]
        if len(downloads) != 1:
            found.append(f"{where} downloads the {KIT_FROM} kit, named {kit_name!r}, once")
            continue
        folder = normal(given(downloads[0], "path") or ".")
        tests = [s for s in steps if runs(s, r"(^|[\s\\/&])run-tests\.cmd\b")]
        if len(tests) != 1:
            found.append(f"{where} runs run-tests.cmd, once")
            continue
        test = tests[0]
        in_kit = normal(test.get("working-directory") or ".") == folder or runs(
            test, rf"{re.escape(folder)}[\\/]run-tests\.cmd")
        if not in_kit:
            found.append(f"{where} runs run-tests.cmd of the downloaded folder {folder!r}")
        if test.get("continue-on-error"):
            found.append(f"{where}: a failed run-tests.cmd fails the job (no continue-on-error)")
        after = steps[steps.index(test) + 1:]
        xml = [s for s in after if action(s)[0] == UPLOAD and given(s, "path").endswith(".xml")
               and normal(given(s, "path")).startswith(folder + "/")]
        if len(xml) != 1:
            found.append(f"{where} uploads the XML of the kit folder after the tests, once")
            continue
        if "always()" not in str(xml[0].get("if", "")):
            found.append(f"{where} uploads the XML even when the tests failed (if: always())")
        result_names.append(given(xml[0], "name"))
    if len(set(result_names)) != len(result_names) or "" in result_names:
        found.append(f"each Windows job uploads its XML under its own name, not {result_names}")

    for job in jobs:
        for step in job.get("steps", []):
            name, version = action(step)
            major = re.fullmatch(r"v(\d+)", version)
            if not name:
                continue
            if not major:
                found.append(f"{name} is pinned to a major version (@vN), not {version!r}")
            elif name in (UPLOAD, DOWNLOAD) and int(major.group(1)) < 4:
                found.append(f"{name}@{version}: v3 and v4+ cannot exchange artifacts")
    return found + preset_problems(presets)


def preset_problems(presets: dict) -> list[str]:
    tests = {p.get("name"): p for p in presets.get("testPresets") or []}
    if not tests:
        return ["CMakePresets.json has test presets"]

    def no_tests_action(preset, seen=()):
        value = (preset.get("execution") or {}).get("noTestsAction")
        if value is not None or preset.get("name") in seen:
            return value
        parents = preset.get("inherits") or []
        for parent in [parents] if isinstance(parents, str) else parents:
            value = no_tests_action(tests.get(parent, {}), (*seen, preset.get("name")))
            if value is not None:
                return value
        return None

    return [f"the test preset {name} fails when it finds no test (execution.noTestsAction: error)"
            for name, preset in tests.items() if no_tests_action(preset) != "error"]


def faults(workflow: dict, presets: dict):
    """(what, the workflow and the presets with that fault put in) for each rule."""

    def linux(w):  # the job in a container
        return next(j for j in w["jobs"].values() if j.get("container"))

    def windows(w):  # the job that needs another
        return next(j for j in w["jobs"].values() if j.get("needs"))

    def step(job, pattern):
        return next(s for s in job["steps"]
                    if re.search(pattern, f"{s.get('uses')} {s.get('run')} {s.get('if')}"))

    def move_last(job, pattern):
        job["steps"].append(job["steps"].pop(job["steps"].index(step(job, pattern))))

    def move_first(job, pattern):
        job["steps"].insert(0, job["steps"].pop(job["steps"].index(step(job, pattern))))

    def set_input(job, pattern, **inputs):
        step(job, pattern)["with"].update(inputs)

    def failure_upload(w):
        return step(linux(w), r"failure\(\)")

    def drop_path(w, text):
        upload = failure_upload(w)
        upload["with"]["path"] = "\n".join(p for p in upload_paths(upload) if text not in p)

    def one_release(w):
        job = linux(w)
        job.pop("strategy", None)
        job["container"] = "debian:12"
        for s in job["steps"]:
            if s.get("with"):
                s["with"] = {k: str(v).replace("${{ matrix.debian }}", "12") for k, v in s["with"].items()}

    table = [
        ("push on every branch", lambda w: triggers_of(w).update(push=None)),
        ("no pull_request trigger", lambda w: triggers_of(w).pop("pull_request")),
        ("no permissions", lambda w: w.pop("permissions")),
        ("a token that writes", lambda w: w.update(permissions={"contents": "write"})),
        ("a job asking to write", lambda w: linux(w).update(permissions={"contents": "write"})),
        ("Debian 12 only", one_release),
        ("no debian:12 container",
         lambda w: linux(w)["strategy"]["matrix"].update(debian=["11", "13"])),
        ("fail-fast across the releases", lambda w: linux(w)["strategy"].pop("fail-fast")),
        ("no scripts/test",
         lambda w: linux(w)["steps"].remove(step(linux(w), r"\.ci/run|scripts/test"))),
        ("the kit written after its upload", lambda w: move_last(linux(w), "windows-kit")),
        ("another folder uploaded", lambda w: set_input(linux(w), r"upload.*None$", path="build")),
        ("one kit name for both releases",
         lambda w: set_input(linux(w), r"upload.*None$", name="windows-kit")),
        ("no failure upload", lambda w: linux(w)["steps"].remove(failure_upload(w))),
        ("a failure upload without if: failure()", lambda w: failure_upload(w).pop("if")),
        ("the failure upload before the tests", lambda w: move_first(linux(w), r"failure\(\)")),
        ("one failure upload name for both releases",
         lambda w: failure_upload(w)["with"].update(name="linux-failure")),
        ("no build logs on failure", lambda w: drop_path(w, ".log")),
        ("no Wine user's places on failure", lambda w: drop_path(w, "/var/lib/orvane-wine")),
        ("a failure upload following dosdevices", lambda w: drop_path(w, "dosdevices")),
        ("another name downloaded", lambda w: set_input(windows(w), DOWNLOAD, name="kit")),
        ("the debian:13 kit downloaded",
         lambda w: set_input(windows(w), DOWNLOAD, name="windows-kit-debian-13")),
        ("one Windows runner",
         lambda w: windows(w)["strategy"]["matrix"].update(runner=["windows-2022"])),
        ("fail-fast", lambda w: windows(w)["strategy"].pop("fail-fast")),
        ("run-tests.cmd outside the kit",
         lambda w: step(windows(w), "run-tests").update({"working-directory": "."})),
        ("no if: always()", lambda w: step(windows(w), r"always\(\)").pop("if")),
        ("one result name for both",
         lambda w: set_input(windows(w), r"always\(\)", name="results")),
        ("a v3 download action",
         lambda w: step(windows(w), DOWNLOAD).update(uses=DOWNLOAD + "@v3")),
    ]
    for what, change in table:
        broken = copy.deepcopy(workflow)
        change(broken)
        yield what, broken, presets
    broken = copy.deepcopy(presets)
    broken["testPresets"][0].pop("execution", None)
    yield "a test preset that passes without tests", workflow, broken


def main(argv) -> int:
    path = Path(argv[0]) if argv else WORKFLOW
    presets_path = Path(argv[1]) if len(argv) > 1 else PRESETS
    workflow = yaml.safe_load(path.read_text(encoding="utf-8"))
    presets = json.loads(presets_path.read_text(encoding="utf-8"))
    found = problems(workflow, presets)
    for problem in found:
        print(f"check_workflow: {path.name}: {problem}")
    status = 1 if found else 0
    if not found:
        # Each rule must notice its fault; a rule that does not is itself a failure.
        for what, broken, broken_presets in faults(workflow, presets):
            if not problems(broken, broken_presets):
                print(f"check_workflow: a workflow with {what} passed the checks")
                status = 1
    print(f"check_workflow: {path.name}: " + ("holds" if status == 0 else "FAILED"))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
