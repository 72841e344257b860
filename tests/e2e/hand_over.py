"""Run by root, the end-to-end run goes to the unprivileged Wine user (scripts/as-wine-user).

Wine run by root opens and writes read-only files, which Windows refuses; run by an ordinary user
it refuses them too. That user may be unable to enter the tree (a clone below /root) or to write
in it, so the inputs (this folder, the setup program, the carried program, the helpers) are copied
to places of its own, and the same request runs there as that user, on a work folder at its place
for --work: Xvfb, the template prefix and every case's copy are that user's. The copies are made
by --prepare, or by a case that finds no prepared run (which then prepares and finishes its own),
and go with --finish, or with that case's own run.
"""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parents[1]
WRAPPER = SOURCE / "scripts" / "as-wine-user"


def needed() -> bool:
    return os.geteuid() == 0


def _wrapper(*args) -> Path:
    result = subprocess.run([str(WRAPPER), *map(str, args)], check=True, text=True,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    return Path(result.stdout.strip())


def place(path: Path, copy: bool = False) -> Path:
    """The Wine user's place for `path`; with `copy`, a copy of it made there by that user."""
    return _wrapper("--mirror" if copy else "--where", path)


def forget(path: Path) -> None:
    """The Wine user's place for `path` deleted, with the Wine servers of prefixes in it."""
    _wrapper("--forget", path)


def run(args) -> int:
    """Runs e2e.py with the same request as the Wine user; its exit status."""
    inputs = {"--setup": args.setup, "--payload": args.payload, "--helpers": args.helpers}
    work = place(args.work.resolve())
    if args.finish:
        request, copy = ["--finish"], False
    else:
        missing = [str(p) for p in inputs.values() if p is None or not p.exists()]
        if missing:
            print("missing build output: " + ", ".join(missing), flush=True)
            return 1
        request = ["--prepare"] if args.prepare else args.cases
        copy = args.prepare or not (work / "state.json").exists()
    if copy:
        for path in (HERE, *inputs.values()):
            place(path, copy=True)
    script = place(HERE / "e2e.py")
    status = 0
    if script.exists():
        command = [str(WRAPPER)]
        for name in ("ORVANE_SCREENSHOTS", "ORVANE_E2E_KEEP"):
            if name in os.environ:
                command += ["--env", f"{name}={os.environ[name]}"]
        command += ["--", "python3", str(script), "--work", str(work)]
        for option, path in inputs.items():
            command += [option, str(place(path))]
        status = subprocess.run(command + request, stdin=subprocess.DEVNULL).returncode
    _bring_back_screenshots()
    if args.finish or (copy and not args.prepare):
        for path in (HERE, *inputs.values(), args.work.resolve(), SOURCE / "docs"):
            if path is not None:
                forget(path)
    return status


def _bring_back_screenshots() -> None:
    """Screenshots the user's side took (ORVANE_SCREENSHOTS=1) go to the tree's docs/screens."""
    screens = place(SOURCE / "docs" / "screens")
    target = SOURCE / "docs" / "screens"
    if screens == target or not screens.is_dir():
        return
    target.mkdir(parents=True, exist_ok=True)
    for shot in screens.glob("*.png"):
        shutil.copyfile(shot, target / shot.name)
