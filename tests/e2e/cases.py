"""The end-to-end cases that need the Linux side: a fresh prefix whose whole profile (every file
below C:\\users, all of HKCU) is compared from outside before and after, Wine's own programs
(its uninstaller, a new Wine process whose environment Wine builds from the registry) and
screenshots of the boxes from the X server. Everything that can be seen from inside Windows is
in the Windows test programs of tests/windows, which run on Windows and under Wine alike.

Each case runs on its own fresh copy of the template prefix. A case records every check it makes
and goes on after a failed one where the later checks still mean something, so one run shows
everything that is wrong; `require` stops a case where going on would only repeat one fault.
"""

from __future__ import annotations

import contextlib

import struct

from harness import REG_EXPAND_SZ, REG_SZ, Prefix, from_utf16, utf16

CAPTION = "Orvane Worker setup"
ENVIRONMENT = r"HKCU\Environment"
UNINSTALL_PARENT = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall"
UNINSTALL_KEY = UNINSTALL_PARENT + r"\OrvaneWorker"
PAYLOAD = "orvane-worker.exe"
UNINSTALLER = "uninstall.exe"


# ---------------------------------------------------------------------------------------------
# What the program shows and writes


REMOVAL_QUESTION = ("Remove Orvane Worker from this computer?\r\n\r\n"
                    "Your settings and keys (in your user folder) are kept.")
REMOVED_MESSAGE = "Orvane Worker was removed."

BOX_KINDS = {  # buttons by id, and the icon
    "question": ([6, 7], "question"),
    "information": ([1], "information"),
    "error": ([1], "error"),
}


def shown(value):
    """A registry value as a reader wants to see it in a failure message."""
    if value is None:
        return None
    kind, data = value
    if kind in (REG_SZ, REG_EXPAND_SZ) and len(data) % 2 == 0:
        return (kind, from_utf16(data))
    return (kind, data.hex())


# ---------------------------------------------------------------------------------------------
# Checks


class Stop(Exception):
    """A required check failed; the rest of the case would only repeat it."""


class Case:
    def __init__(self, cfg, state, name: str):
        self.cfg, self.state, self.name = cfg, state, name
        self.failures: list[str] = []
        self.count = 0
        self._prefixes = contextlib.ExitStack()

    def prefix(self) -> Prefix:
        return self._prefixes.enter_context(Prefix(self.cfg, self.state, self.name))

    def close(self) -> None:
        self._prefixes.close()

    def check(self, condition: bool, what: str, detail: str = "") -> bool:
        self.count += 1
        print(("ok    " if condition else "FAIL  ") + what, flush=True)
        if not condition:
            self.failures.append(what)
            if detail:
                print("      " + detail.replace("\n", "\n      "), flush=True)
        return condition

    def equal(self, actual, expected, what: str) -> bool:
        return self.check(actual == expected, what,
                          f"expected: {expected!r}\nactual:   {actual!r}")

    def require(self, condition: bool, what: str, detail: str = "") -> None:
        if not self.check(condition, what, detail):
            raise Stop(what)

    def note(self, text: str) -> None:
        print("note  " + text.replace("\n", "\n      "), flush=True)

    # Checks that several cases share

    def value(self, actual, kind: int, text: str, what: str) -> bool:
        """A registry string value is exactly `text` with its terminator, of type `kind`."""
        return self.equal(shown(actual), shown((kind, utf16(text))), what)

    def box(self, boxes: list, index: int, kind: str, text: str, what: str) -> None:
        """Box number `index` (from 0) is a setup box of that kind with exactly that text."""
        if not self.check(len(boxes) > index, f"{what}: the box appears",
                          f"boxes seen: {boxes!r}"):
            return
        box = boxes[index]
        buttons, icon = BOX_KINDS[kind]
        self.equal(box["caption"], CAPTION, f"{what}: caption")
        self.equal(box["text"], text, f"{what}: text")
        self.equal([b["id"] for b in box["buttons"]], buttons, f"{what}: buttons")
        self.equal(box["icon"], icon, f"{what}: icon")

    def box_count(self, run, count: int, what: str) -> None:
        self.check(len(run.boxes) == count and run.driver_status == 0,
                   f"{what}: exactly {count} box(es), each answered",
                   f"driver status {run.driver_status}, boxes: "
                   + repr([b.get("text") for b in run.boxes]))

    def removed(self, p: Prefix, folder: str, what: str, cwd: str = "C:\\") -> None:
        self.equal(p.reg_values(UNINSTALL_KEY), None, f"{what}: the uninstall key is gone")
        self.check(p.wait_gone(folder, cwd=cwd), f"{what}: the install folder is gone (polled 30 s)",
                   f"left: {p.files(folder, cwd) if p.unix(folder, cwd).exists() else None}")


# ---------------------------------------------------------------------------------------------
# Snapshots: "nothing else changed"


def changes(before: dict, after: dict) -> list[str]:
    found = []
    for path in sorted(set(before["files"]) | set(after["files"])):
        old, new = before["files"].get(path), after["files"].get(path)
        if old != new:
            found.append(f"file {path}: {old!r} -> {new!r}")
    for key in sorted(set(before["hkcu"]) | set(after["hkcu"])):
        old, new = before["hkcu"].get(key), after["hkcu"].get(key)
        if old is None or new is None:
            found.append(f"key HKCU\\{key}: {'added' if old is None else 'deleted'}")
            continue
        for name in sorted(set(old) | set(new)):
            if old.get(name) != new.get(name):
                found.append(f"value HKCU\\{key} [{name}]: {shown(old.get(name))!r} -> "
                             f"{shown(new.get(name))!r}")
    return found


def created_parents(p: Prefix, folder: str) -> set[str]:
    """The changes an install leaves after its removal by design: the empty parents of the
    install folder and of the uninstall key that the install created."""
    allowed = set()
    relative = folder[len("C:\\users\\"):]
    parts = relative.split("\\")
    for n in range(1, len(parts)):
        allowed.add(f"file {'/'.join(parts[:n])}: None -> 'dir'")
    key = UNINSTALL_PARENT[len("HKCU\\"):].split("\\")
    for n in range(1, len(key) + 1):
        allowed.add("key HKCU\\" + "\\".join(key[:n]) + ": added")
    return allowed


# ---------------------------------------------------------------------------------------------
# The cases

CASES: dict = {}


def case(name: str):
    def register(function):
        CASES[name] = function
        return function
    return register


def table(name: str, rows: dict):
    """Registers one case per row, named <name>.<row>, each called with the row's value."""
    def register(function):
        for row, value in rows.items():
            CASES[f"{name}.{row}"] = lambda c, v=value: function(c, v)
        return function
    return register


# Another program's entry, as Windows' list of installed programs shows one (DisplayName and
# UninstallString, no SystemComponent): the control that tells where Wine's uninstaller writes its
# list, and that it listed anything at all.
REFERENCE_KEY = UNINSTALL_PARENT + r"\OrvaneE2eReference"
REFERENCE_NAME = "Reference program of the end-to-end cases"


def listed_programs(c: Case, p: Prefix) -> list[str] | None:
    """The names `uninstaller --list` shows (its lines are `KEY|||DisplayName`; like Windows'
    list of installed programs it leaves out entries without DisplayName or UninstallString).
    Wine 8 writes them to standard output; Wine 10 to the Unix standard error, outside the
    program's Windows handles (a redirection in Wine's cmd catches nothing). The stream is the
    one that lists the reference entry; None, after a failed check, when neither does."""
    listed = p.run(["uninstaller", "--list"], label="uninstaller-list")
    for stream in (listed.stdout, listed.stderr):
        names = [line.split("|||")[-1] for line in stream.decode(errors="replace").splitlines()
                 if "|||" in line]
        if REFERENCE_NAME in names:
            return names
    c.check(False, "`uninstaller --list` lists another program's entry",
            f"stdout {listed.stdout!r}, stderr {listed.stderr!r}")
    return None


@case("wine_programs")
def wine_programs(c: Case) -> None:
    """What Wine's own programs make of an installation: its uninstaller lists the entry and
    removes it through UninstallString, and a program started from the Linux side, whose
    environment Wine builds from the registry, finds the command through the user's Path."""
    p = c.prefix()
    p.reg_set(REFERENCE_KEY, "DisplayName", REG_SZ, utf16(REFERENCE_NAME))
    p.reg_set(REFERENCE_KEY, "UninstallString", REG_SZ, utf16(r"C:\windows\system32\cmd.exe /c exit"))
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    names = listed_programs(c, p)
    if names is not None:
        c.check("Orvane Worker" in names, "`uninstaller --list` lists Orvane Worker", f"it listed {names}")
    help_direct = p.run([f"{p.folder}\\{PAYLOAD}", "--help"], label="worker-help")
    help_new_terminal = p.run(["cmd", "/c", "orvane-worker", "--help"], label="cmd-help")
    c.check(help_direct.status == 0 and help_direct.stdout != b"",
            "the installed program answers --help", f"{help_direct!r}")
    c.equal((help_new_terminal.status, help_new_terminal.stdout),
            (0, help_direct.stdout), "`wine64 cmd /c orvane-worker --help` runs it")

    # The uninstaller runs UninstallString as registered and waits for it.
    run = p.interact(["uninstaller", "--remove", "OrvaneWorker"], ["yes", "ok"])
    c.box(run.boxes, 0, "question", REMOVAL_QUESTION, "UninstallString asks the removal question")
    c.box(run.boxes, 1, "information", REMOVED_MESSAGE, "UninstallString ends with the closing box")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, "", "Path loses the folder")
    c.removed(p, p.folder, "UninstallString")
    names = listed_programs(c, p)
    if names is not None:
        c.check("Orvane Worker" not in names, "`uninstaller --list` no longer lists it",
                f"it listed {names}")


PROFILE_ROWS = ("install_declined", "failed_install", "install_and_removal")


@table("profile_untouched", {row: row for row in PROFILE_ROWS})
def profile_untouched(c: Case, row: str) -> None:
    """Every file below C:\\users and all of HKCU, compared from outside: a declined install, a
    failed one, and an install with its removal (declined first) change nothing else."""
    p = c.prefix()
    if row == "install_declined":
        before = p.snapshot()
        run = p.setup(answers=["no"])
        c.box_count(run, 1, "install declined")
        c.equal(changes(before, p.snapshot()), [], "declining changes nothing")
    elif row == "failed_install":
        p.write(p.folder, b"a file, not a folder\n")
        before = p.snapshot()
        c.equal(p.setup("/S").status, 1, "silent install with a file in the folder's place exits 1")
        c.equal(changes(before, p.snapshot()), [], "the failed silent install changes nothing")
        run = p.setup(answers=["yes", "ok"])
        c.box_count(run, 2, "failed interactive install")
        c.equal(run.status, 1, "failed interactive install exits 1")
        c.equal(changes(before, p.snapshot()), [], "the failed interactive install changes nothing")
    else:
        p.reg_set(ENVIRONMENT, "Path", REG_EXPAND_SZ, utf16("%USERPROFILE%\\bin;C:\\Tools"))
        before = p.snapshot()
        c.require(p.setup("/S").status == 0, "silent install exits 0")
        installed = p.snapshot()
        uninstaller = f"{p.folder}\\{UNINSTALLER}"
        run = p.setup(exe=uninstaller, cwd=p.folder, answers=["no"])
        c.box_count(run, 1, "removal declined")
        c.equal(changes(installed, p.snapshot()), [], "declining the removal changes nothing")
        c.equal(p.setup("--uninstall", "--silent").status, 0, "silent removal exits 0")
        c.removed(p, p.folder, "silent removal")
        left = [x for x in changes(before, p.snapshot()) if x not in created_parents(p, p.folder)]
        c.equal(left, [], "after install and removal nothing changed but the parents made")


def png_size(path) -> tuple[int, int] | None:
    data = path.read_bytes()[:24] if path.exists() else b""
    if len(data) < 24 or data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", data[16:24])


@case("screens")
def screens(c: Case) -> None:
    """The five boxes as the X server shows them, one picture each (docs/screens/<name>.png
    with ORVANE_SCREENSHOTS=1, else in the case's logs)."""
    p = c.prefix()
    shots = {}

    def shoot(name):
        def take(box):
            shots[name] = (p.screenshot(name, box), box)
        return take

    run = p.setup(answers=["no"], before_press={1: shoot("install-question")})
    c.box_count(run, 1, "install question")
    run = p.setup(answers=["yes", "ok"], before_press={2: shoot("installed")})
    c.box_count(run, 2, "install")
    uninstaller = f"{p.folder}\\{UNINSTALLER}"
    run = p.setup(exe=uninstaller, cwd=p.folder, answers=["yes", "ok"],
                  before_press={1: shoot("removal-question"), 2: shoot("removed")})
    c.box_count(run, 2, "removal")
    c.removed(p, p.folder, "removal")
    p.write(p.folder, b"a file, not a folder\n")
    run = p.setup(answers=["yes", "ok"], before_press={2: shoot("error")})
    c.box_count(run, 2, "failed install")
    for name in ("install-question", "installed", "removal-question", "removed", "error"):
        path, box = shots.get(name, (None, None))
        left, top, right, bottom = box["rect"] if box else (0, 0, 0, 0)
        c.equal(png_size(path) if path else None, (right - left, bottom - top),
                f"{name}: a picture of the box, at its size")
