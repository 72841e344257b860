#!/usr/bin/env python3
"""Runs the Windows test kit under Wine exactly as a user runs it on Windows, on a profile that
holds a real installation, and proves from outside that the kit leaves that profile as it was.

  kit_under_wine.py --kit DIR --build-dir build/windows [--work DIR] [--helpers DIR]

In a prefix of its own (with an Xvfb server for the boxes):
 0. the kit is copied to C:\\kit; before anything of the product is on the profile, the cases
    whose LOCALAPPDATA gives way to the profile's own Local AppData folder (unset, empty,
    relative, a bare drive) install there for real and remove again: none skips, and the profile
    is as before (in step 2 they skip, as that folder then holds the real installation);
 1. the user gets a Path of their own and another program's uninstall entry, then Orvane Worker
    is really installed (silently, for Wine's own LOCALAPPDATA);
 2. `wine64 cmd /c run-tests.cmd` in C:\\kit: exit 0, every test program's XML report beside
    it, no failure in any;
 3. a test program started without the flag refuses, with one line and a non-zero status;
 4. run-tests.cmd with one case that fails on purpose after changing the profile: it exits 1;
 5. a run that dies in the middle of a case (the process ends itself on the spot) leaves the
    profile changed and its saved copy behind; the next run puts it back before anything else.
After each step every file below C:\\users and all of HKCU must be byte for byte as before step 2
(Wine's own cache of system parameters aside). --kit is what scripts/windows-kit wrote;
--build-dir gives the end-to-end helpers (tests/e2e) that read and write the registry from
outside (--helpers names their folder itself). ORVANE_KIT_KEEP=1 keeps the work folder. Run by
root, the whole run goes to the unprivileged Wine user of scripts/as-wine-user (as root, Wine
writes read-only files that Windows refuses), on that user's copies of this folder, tests/e2e,
the kit and the helpers, in a work folder at its place for --work. Exit status 0 when all holds.
"""

from __future__ import annotations

import argparse
import os
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from pathlib import Path

sys.dont_write_bytecode = True
E2E = Path(__file__).resolve().parents[1] / "e2e"
sys.path.insert(0, str(E2E))

import cases  # noqa: E402
import hand_over  # noqa: E402
import harness  # noqa: E402
from harness import REG_DWORD, REG_EXPAND_SZ, REG_SZ, dword, utf16  # noqa: E402

KIT = r"C:\kit"
E2E_PROGRAM = KIT + r"\orvane_e2e_tests.exe"
OTHER_ENTRY = cases.UNINSTALL_PARENT + r"\QuillonNotes"
PROFILE_FOLDER_CASES = ("Rows/LocalAppDataCases.*/unset:Rows/LocalAppDataCases.*/empty:"
                        "Rows/LocalAppDataCases.*/relative:Rows/LocalAppDataCases.*/bare_drive")
OWN_PATH = "%USERPROFILE%\\bin;;C:\\Tools;D:\\\u00dcn\u00ef \U0001D11E"


class Checks:
    def __init__(self) -> None:
        self.failures: list[str] = []

    def check(self, condition: bool, what: str, detail: str = "") -> bool:
        print(("ok    " if condition else "FAIL  ") + what, flush=True)
        if not condition:
            self.failures.append(what)
            if detail:
                print("      " + detail.replace("\n", "\n      "), flush=True)
        return condition


def run_live(p: harness.Prefix, argv: list[str], env: dict | None = None,
             timeout: float = 1200) -> tuple[int, str]:
    """Runs a Windows program in C:\\kit, passing its output on as it comes (read from a file:
    the setup program's children would hold a pipe open); its status and its output."""
    out = p.logs / f"live-{time.monotonic_ns()}.out"
    with open(out, "wb") as sink:
        process = subprocess.Popen([harness.WINE64, *argv], cwd=p.unix(KIT),
                                   env=dict(p.env, **(env or {})), stdin=subprocess.DEVNULL,
                                   stdout=sink, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + timeout
    shown = 0
    with open(out, "rb") as source:
        while True:
            ended = process.poll() is not None
            chunk = source.read()
            if chunk:
                sys.stdout.write(chunk.decode("utf-8", "replace").replace("\r\n", "\n"))
                sys.stdout.flush()
                shown += len(chunk)
            if ended:
                break
            if time.monotonic() > deadline:
                process.kill()
                process.wait()
                raise harness.HarnessError(f"{' '.join(argv)} did not end in {timeout:.0f} s")
            time.sleep(0.2)
    return process.returncode, out.read_bytes().decode("utf-8", "replace")


def reports(p: harness.Prefix, programs: list[str], checks: Checks) -> None:
    """Each program's XML report beside it: counts, and no failure or error in any."""
    total = {"tests": 0, "failures": 0, "errors": 0, "skipped": 0}
    for program in programs:
        report = p.unix(f"{KIT}\\{program[:-4]}.xml")
        if not checks.check(report.exists(), f"{program}: its XML report is beside it"):
            continue
        root = ET.parse(report).getroot()
        counts = {k: int(root.get(k, "0")) for k in ("tests", "failures", "errors")}
        counts["tests"] -= int(root.get("disabled", "0"))  # the guard's proof cases, run below
        counts["skipped"] = sum(1 for case in root.iter("testcase")
                                if case.find("skipped") is not None)
        for k in total:
            total[k] += counts[k]
        checks.check(counts["failures"] == 0 and counts["errors"] == 0 and counts["tests"] > 0,
                     f"{program}: {counts['tests']} cases, {counts['failures']} failed, "
                     f"{counts['errors']} errors, {counts['skipped']} skipped")
        for case in root.iter("testcase"):
            skipped = case.find("skipped")
            if skipped is not None:
                print(f"      skipped {case.get('classname')}.{case.get('name')}: "
                      f"{skipped.get('message', '').strip().splitlines()[-1]}")
    print(f"kit: {total['tests']} cases in {len(programs)} programs, {total['failures']} failed, "
          f"{total['skipped']} skipped (Windows only, or where Wine is looser)", flush=True)


def main(argv) -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--kit", type=Path, required=True)
    ap.add_argument("--build-dir", type=Path)
    ap.add_argument("--work", type=Path)
    ap.add_argument("--helpers", type=Path)
    args = ap.parse_args(argv)
    if args.build_dir is None and (args.work is None or args.helpers is None):
        ap.error("give --build-dir, or --work and --helpers")
    kit = args.kit.resolve()
    work = (args.work or args.build_dir / "kit-under-wine").resolve()
    helpers = (args.helpers or args.build_dir / "tests" / "e2e" / "helpers").resolve()
    if hand_over.needed():
        return as_wine_user(kit, work, helpers)
    programs = sorted(p.name for p in kit.glob("*_tests.exe"))
    if not (kit / "run-tests.cmd").exists() or not programs:
        print(f"kit_under_wine: no kit in {kit} (scripts/windows-kit writes one)", file=sys.stderr)
        return 1
    cfg = harness.Config(setup=kit / harness.SETUP_NAME, payload=kit / "carried" / cases.PAYLOAD,
                         helpers=helpers,
                         work=work, source=Path(__file__).resolve().parents[2],
                         keep=os.environ.get("ORVANE_KIT_KEEP") == "1")
    checks = Checks()
    start = time.monotonic()
    state = harness.prepare(cfg)
    print(f"prefix and Xvfb ready in {time.monotonic() - start:.1f} s", flush=True)
    try:
        with harness.Prefix(cfg, state, "kit") as p:
            prove(p, kit, programs, checks)
    except harness.HarnessError as error:
        checks.check(False, f"the run went to its end: {error}")
    finally:
        if not cfg.keep:
            harness.finish(cfg)
    print(f"kit under Wine: {'PASS' if not checks.failures else 'FAIL'} in "
          f"{time.monotonic() - start:.0f} s", flush=True)
    return 0 if not checks.failures else 1


def as_wine_user(kit: Path, work: Path, helpers: Path) -> int:
    """The same run as the Wine user, on its copies; its exit status."""
    here = Path(__file__).resolve().parent
    copies = (here, E2E, kit, helpers)
    for path in copies:
        hand_over.place(path, copy=True)
    command = [str(hand_over.WRAPPER)]
    if "ORVANE_KIT_KEEP" in os.environ:
        command += ["--env", f"ORVANE_KIT_KEEP={os.environ['ORVANE_KIT_KEEP']}"]
    command += ["--", "python3", str(hand_over.place(here / Path(__file__).name)),
                "--kit", str(hand_over.place(kit)), "--helpers", str(hand_over.place(helpers)),
                "--work", str(hand_over.place(work))]
    try:
        return subprocess.run(command, stdin=subprocess.DEVNULL).returncode
    finally:
        for path in (*copies, *(() if os.environ.get("ORVANE_KIT_KEEP") == "1" else (work,))):
            hand_over.forget(path)


def prove(p: harness.Prefix, kit: Path, programs: list[str], checks: Checks) -> None:
    # 0. The cases that install into the profile's own folder, while it is free.
    shutil.copytree(kit, p.unix("C:\\") / "kit")
    clean = p.snapshot()
    print(f"\n== the profile's own install folder: {PROFILE_FOLDER_CASES}", flush=True)
    status, output = run_live(p, [E2E_PROGRAM, "--orvane-change-profile",
                                  f"--gtest_filter={PROFILE_FOLDER_CASES}"], timeout=300)
    ran = output.count("[       OK ] Rows/LocalAppDataCases.")
    checks.check(status == 0 and ran == 4 and "[  SKIPPED ]" not in output,
                 "with LOCALAPPDATA unset, empty, relative or a bare drive the program installs in "
                 "the profile's Local AppData folder and removes again (4 cases, none skipped)",
                 f"status {status}, {ran} passed")
    found = cases.changes(clean, p.snapshot())
    checks.check(found == [], "after them every file below C:\\users and all of HKCU are byte for "
                 "byte as before", "\n".join(found))

    # 1. A profile of someone who uses the machine: a Path of their own, another program's
    # uninstall entry, and Orvane Worker really installed.
    p.reg_set(cases.ENVIRONMENT, "Path", REG_EXPAND_SZ, utf16(OWN_PATH))
    p.reg_set(OTHER_ENTRY, "DisplayName", REG_SZ, utf16("Quillon Notes"))
    p.reg_set(OTHER_ENTRY, "UninstallString", REG_SZ,
              utf16('"C:\\Program Files\\Quillon\\unins000.exe"'))
    p.reg_set(OTHER_ENTRY, "EstimatedSize", REG_DWORD, dword(20480))
    p.reg_set(OTHER_ENTRY + r"\Details", "Channel", REG_SZ, utf16("stable"))
    install = p.setup("/S")
    if not checks.check(install.status == 0, "the product installs for real (silent)"):
        return
    checks.check(p.reg_value(cases.ENVIRONMENT, "Path") ==
                 (REG_EXPAND_SZ, utf16(f"{OWN_PATH};{p.folder}")),
                 "the user's Path holds their own entries and the real install folder")
    before = p.snapshot()
    checks.check(sorted(p.files(p.folder)) == [cases.PAYLOAD, cases.UNINSTALLER],
                 f"the real installation is in {p.folder}")

    def unchanged(after_what: str) -> None:
        found = cases.changes(before, p.snapshot())
        checks.check(found == [], f"after {after_what}: every file below C:\\users and all of "
                     "HKCU are byte for byte as before", "\n".join(found))

    # 2. The kit, as a Windows user runs it.
    print(f"\n== wine64 cmd /c run-tests.cmd in {KIT}", flush=True)
    begin = time.monotonic()
    status, _ = run_live(p, ["cmd", "/c", "run-tests.cmd"])
    seconds = time.monotonic() - begin
    checks.check(status == 0, f"run-tests.cmd exits 0 ({seconds:.0f} s)", f"status {status}")
    reports(p, programs, checks)
    unchanged("the whole kit")

    # 3. Without the flag a program refuses, and changes nothing.
    run = p.run([E2E_PROGRAM], cwd=KIT, label="refusal")
    lines = (run.stdout + run.stderr).decode("utf-8", "replace").strip().splitlines()
    checks.check(run.status != 0 and len(lines) == 1 and "refusing" in lines[0],
                 "a test program started without the flag refuses with one line",
                 f"status {run.status}: {lines!r}")
    unchanged("the refusal")

    # 4. A case that fails after changing the profile: run-tests.cmd says so, the guard puts
    # everything back.
    failing = {"GTEST_FILTER": "ProfileGuardProof.DISABLED_CaseFailsWithTheProfileChanged",
               "GTEST_ALSO_RUN_DISABLED_TESTS": "1"}
    status, output = run_live(p, ["cmd", "/c", "run-tests.cmd"], env=failing, timeout=120)
    checks.check(status == 1 and f"1 of {len(programs)} test programs failed" in output,
                 "run-tests.cmd exits 1 when a case fails", f"status {status}")
    unchanged("a failed case")

    # 5. A run that dies in the middle of a case, then the next run.
    died = p.run([E2E_PROGRAM, "--orvane-change-profile", "--gtest_also_run_disabled_tests",
                  "--gtest_filter=ProfileGuardProof.DISABLED_RunDiesWithTheProfileChanged"],
                 cwd=KIT, timeout=120, label="dies")
    saved = [line.split(" saved in ", 1)[1].split(",", 1)[0]
             for line in died.stdout.decode("utf-8", "replace").splitlines()
             if line.startswith("profile guard: saved in ")]
    checks.check(died.status == 99 and len(saved) == 1, "the dying run ends on the spot (99)",
                 f"status {died.status}, output {died.stdout!r}")
    if saved:
        checks.check(p.exists(saved[0]), f"it left its saved copy: {saved[0]}")
    changed = cases.changes(before, p.snapshot())
    checks.check(any("Environment [Path]" in x for x in changed)
                 and any("OrvaneWorker" in x for x in changed),
                 "it left Path and the uninstall entry changed", "\n".join(changed))
    denied = p.run([p.helper("reg_set"), "set", cases.ENVIRONMENT, "Probe", "1", "-"],
                   label="deny-check")
    checks.check(denied.stdout.split() == [b"status", b"5"],
                 "and HKCU\\Environment unwritable", repr(denied.stdout))
    status, output = run_live(p, [E2E_PROGRAM, "--orvane-change-profile", "--gtest_filter=-*"],
                              timeout=120)
    checks.check(status == 0 and "put back the profile that a run which did not finish" in output,
                 "the next run puts the saved copy back first", f"status {status}")
    if saved:
        checks.check(not p.exists(saved[0]), "and the saved copy is gone")
    unchanged("a run that died and the next run")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
