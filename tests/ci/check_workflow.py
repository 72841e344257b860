#!/usr/bin/python3
"""Holds .github/workflows/tests.yml to its shape, since it cannot run here:

- one job in a debian:12 container checks the tree out, runs scripts/test (or .ci/run), writes the
  kit with scripts/windows-kit DIR and uploads DIR;
- jobs on windows-2022 and windows-2025 (a matrix is expanded) need that job, download the kit
  under the name it was uploaded with, run run-tests.cmd in the downloaded folder, and upload the
  XML from that folder even when the tests failed (if: always()), each under a name of its own;
- every action is pinned to a major version, and the artifact actions are of the generation
  (v4 and later) that can read each other's artifacts.

Each rule is also tried on a copy of the workflow with one fault put in, which it must report.
Runs with Debian's python3 and python3-yaml.

    check_workflow.py [WORKFLOW]    (default: .github/workflows/tests.yml of this tree)
"""

from __future__ import annotations

import copy
import itertools
import re
import sys
from pathlib import Path

import yaml

WORKFLOW = Path(__file__).resolve().parents[2] / ".github" / "workflows" / "tests.yml"
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


def problems(workflow: dict) -> list[str]:
    found = []
    triggers = workflow.get("on", workflow.get(True))  # YAML 1.1 reads a bare `on` as true
    if not triggers:
        found.append("the workflow has no triggers")
    definitions = workflow.get("jobs") or {}
    jobs = [j for job_id, job in definitions.items() for j in expand(job_id, job)]

    def container_image(job):
        container = job.get("container")
        return container.get("image") if isinstance(container, dict) else container

    linux = [j for j in jobs if container_image(j) == "debian:12"]
    if len(linux) != 1:
        return found + [f"one job runs in a debian:12 container, found {len(linux)}"]
    linux = linux[0]
    if not str(linux.get("runs-on", "")).startswith("ubuntu-"):
        found.append(f"the debian:12 job runs on Linux, not {linux.get('runs-on')!r}")
    steps = linux.get("steps", [])
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
            found.append(f"the debian:12 job has a {what} step")
    if len(order) == 3 and not order["checkout"] < order["test"] < order["kit"]:
        found.append("the debian:12 job checks out, runs scripts/test, then writes the kit")
    kit_uploads = [s for s in steps[order.get("kit", len(steps)) + 1:]
                   if action(s)[0] == UPLOAD and normal(given(s, "path")) == kit_folder]
    if len(kit_uploads) != 1:
        found.append("the debian:12 job uploads the folder scripts/windows-kit wrote, once, after")
        kit_name = None
    else:
        kit_name = given(kit_uploads[0], "name")
        if not kit_name:
            found.append("the kit upload has a name")

    windows = [j for j in jobs if str(j.get("runs-on", "")).startswith("windows-")]
    runners = sorted(str(j.get("runs-on")) for j in windows)
    if runners != sorted(WINDOWS_RUNNERS):
        found.append(f"the Windows jobs run on {sorted(WINDOWS_RUNNERS)}, not {runners}")
    result_names = []
    for job in windows:
        where = f"the {job.get('runs-on')} job"
        needs = job.get("needs") or []
        if linux["id"] not in ([needs] if isinstance(needs, str) else needs):
            found.append(f"{where} needs the debian:12 job")
        strategy = job.get("strategy") or {}
        if strategy.get("matrix") and strategy.get("fail-fast", True) is not False:
            found.append(f"{where}: one failing Windows cancels no other (fail-fast: false)")
        steps = job.get("steps", [])
        downloads = [s for s in steps if action(s)[0] == DOWNLOAD and given(s, "name") == kit_name]
        if len(downloads) != 1:
            found.append(f"{where} downloads the artifact named {kit_name!r}, once")
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
    return found


def faults(workflow: dict):
    """(what, the workflow with that fault put in) for each rule."""

    def linux(w):  # the job in a container
        return next(j for j in w["jobs"].values() if j.get("container"))

    def windows(w):  # the job that needs another
        return next(j for j in w["jobs"].values() if j.get("needs"))

    def step(job, pattern):
        return next(s for s in job["steps"]
                    if re.search(pattern, f"{s.get('uses')} {s.get('run')}"))

    def move_last(job, pattern):
        job["steps"].append(job["steps"].pop(job["steps"].index(step(job, pattern))))

    def set_input(job, pattern, **inputs):
        step(job, pattern)["with"].update(inputs)

    table = [
        ("no debian:12 container", lambda w: linux(w).update(container="debian:11")),
        ("no scripts/test",
         lambda w: linux(w)["steps"].remove(step(linux(w), r"\.ci/run|scripts/test"))),
        ("the kit written after its upload", lambda w: move_last(linux(w), "windows-kit")),
        ("another folder uploaded", lambda w: set_input(linux(w), UPLOAD, path="build")),
        ("another name downloaded", lambda w: set_input(windows(w), DOWNLOAD, name="kit")),
        ("one Windows runner",
         lambda w: windows(w)["strategy"]["matrix"].update(runner=["windows-2022"])),
        ("fail-fast", lambda w: windows(w)["strategy"].pop("fail-fast")),
        ("run-tests.cmd outside the kit",
         lambda w: step(windows(w), "run-tests").update({"working-directory": "."})),
        ("no if: always()", lambda w: step(windows(w), UPLOAD).pop("if")),
        ("one result name for both", lambda w: set_input(windows(w), UPLOAD, name="results")),
        ("a v3 download action",
         lambda w: step(windows(w), DOWNLOAD).update(uses=DOWNLOAD + "@v3")),
    ]
    for what, change in table:
        broken = copy.deepcopy(workflow)
        change(broken)
        yield what, broken


def main(argv) -> int:
    path = Path(argv[0]) if argv else WORKFLOW
    workflow = yaml.safe_load(path.read_text(encoding="utf-8"))
    found = problems(workflow)
    for problem in found:
        print(f"check_workflow: {path.name}: {problem}")
    status = 1 if found else 0
    if not found:
        # Each rule must notice its fault; a rule that does not is itself a failure.
        for what, broken in faults(workflow):
            if not problems(broken):
                print(f"check_workflow: a workflow with {what} passed the checks")
                status = 1
    print(f"check_workflow: {path.name}: " + ("holds" if status == 0 else "FAILED"))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
