"""The end-to-end cases: what a user or an administrator sees of the real setup program.

Each case runs on its own fresh copy of the template prefix. A case records every check it makes
and goes on after a failed one where the later checks still mean something, so one run shows
everything that is wrong; `require` stops a case where going on would only repeat one fault.
"""

from __future__ import annotations

import contextlib

from harness import (PROFILE, REG_DWORD, REG_EXPAND_SZ, REG_SZ, Prefix, dword,
                     from_utf16, utf16)

CAPTION = "Orvane Worker setup"
ENVIRONMENT = r"HKCU\Environment"
UNINSTALL_PARENT = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall"
UNINSTALL_KEY = UNINSTALL_PARENT + r"\OrvaneWorker"
PAYLOAD = "orvane-worker.exe"
UNINSTALLER = "uninstall.exe"
FOLDER_ALREADY_EXISTS = 183  # what creating a folder where a file stands gives


# ---------------------------------------------------------------------------------------------
# What the program shows and writes


def install_question(folder: str) -> str:
    return ("Install Orvane Worker 0.2.3 for your user account?\r\n\r\n"
            "Publisher: Pellinor Private Limited\r\n"
            f"Location: {folder}\r\n\r\n"
            "No administrator rights are needed.")


def installed_message(folder: str) -> str:
    return (f"Orvane Worker 0.2.3 is installed in:\r\n{folder}\r\n\r\n"
            "Open a new terminal (PowerShell or Command Prompt) and run:\r\n\r\n"
            "  orvane-worker --help\r\n\r\n"
            "To start its web page: orvane-worker --serve")


def failure_message(error: str) -> str:
    return "Setup could not finish.\r\n\r\n" + error


REMOVAL_QUESTION = ("Remove Orvane Worker from this computer?\r\n\r\n"
                    "Your settings and keys (in your user folder) are kept.")
REMOVED_MESSAGE = "Orvane Worker was removed."

BOX_KINDS = {  # buttons by id, and the icon
    "question": ([6, 7], "question"),
    "information": ([1], "information"),
    "error": ([1], "error"),
}


def registration(folder: str) -> dict:
    """The nine values of the uninstall entry for an install folder."""
    uninstaller = f"{folder}\\{UNINSTALLER}"
    return {
        "DisplayName": (REG_SZ, utf16("Orvane Worker")),
        "DisplayVersion": (REG_SZ, utf16("0.2.3")),
        "Publisher": (REG_SZ, utf16("Pellinor Private Limited")),
        "InstallLocation": (REG_SZ, utf16(folder)),
        "DisplayIcon": (REG_SZ, utf16(f"{folder}\\{PAYLOAD}")),
        "UninstallString": (REG_SZ, utf16(f'"{uninstaller}" --uninstall')),
        "QuietUninstallString": (REG_SZ, utf16(f'"{uninstaller}" --uninstall --silent')),
        "NoModify": (REG_DWORD, dword(1)),
        "NoRepair": (REG_DWORD, dword(1)),
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

    def prefix(self, local_app_data=PROFILE) -> Prefix:
        return self._prefixes.enter_context(Prefix(self.cfg, self.state, self.name,
                                                   local_app_data))

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

    def silent_output(self, run, what: str) -> None:
        self.equal((run.stdout, run.stderr), (b"", b""), f"{what}: writes nothing to stdout/stderr")

    def installed_files(self, p: Prefix, folder: str, what: str, cwd: str = "C:\\") -> None:
        listing = p.files(folder, cwd) if p.unix(folder, cwd).is_dir() else None
        self.equal(sorted(listing) if listing is not None else None, [PAYLOAD, UNINSTALLER],
                   f"{what}: the folder holds exactly {PAYLOAD} and {UNINSTALLER}")
        if listing is None:
            return
        placed = p.unix(f"{folder}\\{PAYLOAD}", cwd).read_bytes()
        self.check(placed == self.cfg.payload.read_bytes(),
                   f"{what}: {PAYLOAD} is byte for byte the carried program",
                   f"{len(placed)} bytes placed, {self.cfg.payload.stat().st_size} carried")
        copy = p.unix(f"{folder}\\{UNINSTALLER}", cwd).read_bytes()
        self.check(copy == self.cfg.setup.read_bytes(),
                   f"{what}: {UNINSTALLER} is byte for byte the setup program",
                   f"{len(copy)} bytes placed, {self.cfg.setup.stat().st_size} in the setup program")

    def registered(self, p: Prefix, folder: str, what: str) -> None:
        entry = p.reg_values(UNINSTALL_KEY)
        if not self.check(entry is not None, f"{what}: the uninstall key exists"):
            return
        values, subkeys = entry
        expected = registration(folder)
        self.equal(sorted(values), sorted(expected), f"{what}: the uninstall key has exactly the nine values")
        for name, value in expected.items():
            self.equal(shown(values.get(name)), shown(value), f"{what}: {name}")
        self.equal(subkeys, [], f"{what}: the uninstall key has no subkeys")

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


@case("silent_install.files")
def silent_install_files(c: Case) -> None:
    p = c.prefix()
    run = p.setup("/S")
    c.equal(run.status, 0, "silent install on a clean profile exits 0")
    c.silent_output(run, "silent install")
    c.installed_files(p, p.folder, "silent install")


@case("silent_install.path_and_registration")
def silent_install_registration(c: Case) -> None:
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, p.folder,
            "Path of a clean profile becomes the folder alone, REG_EXPAND_SZ")
    c.registered(p, p.folder, "after silent install")
    listed = p.run(["uninstaller", "--list"], label="uninstaller-list")
    c.check("Orvane Worker" in [line.split("|||")[-1] for line in
                                listed.stdout.decode(errors="replace").splitlines()],
            "`uninstaller --list` lists Orvane Worker", f"it printed {listed.stdout!r}")
    # A new terminal finds the command through the user's Path.
    help_direct = p.run([f"{p.folder}\\{PAYLOAD}", "--help"], label="worker-help")
    help_new_terminal = p.run(["cmd", "/c", "orvane-worker", "--help"], label="cmd-help")
    c.check(help_direct.status == 0 and help_direct.stdout != b"",
            "the installed program answers --help", f"{help_direct!r}")
    c.equal((help_new_terminal.status, help_new_terminal.stdout),
            (0, help_direct.stdout), "`cmd /c orvane-worker --help` in a new terminal runs it")


@case("silent_install.switch_spellings")
def silent_switch_spellings(c: Case) -> None:
    p = c.prefix()
    # Each spelling must install without a box; a box nobody answers fails the run.
    for switch in ["/S", "/s", "/SILENT", "/quiet", "--Silent"]:
        run = p.setup(switch, timeout=30)
        c.equal(run.status, 0, f"`{switch}` installs silently, exit 0")
    c.installed_files(p, p.folder, "after the silent runs")
    # Near misses are no switches: the question comes up (answered No).
    for near_miss in ["-s", "/s=1", "/S "]:
        run = p.setup(near_miss, answers=["no"])
        c.box(run.boxes, 0, "question", install_question(p.folder), f"{near_miss!r} asks")
        c.equal(run.status, 0, f"{near_miss!r} answered No exits 0")


@case("reinstall_while_running")
def reinstall_while_running(c: Case) -> None:
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "first silent install exits 0")
    # Make the installed copy distinguishable from the new one: a PE file still runs with bytes
    # appended after its image.
    old = p.read(f"{p.folder}\\{PAYLOAD}") + b"previous installation"
    p.write(f"{p.folder}\\{PAYLOAD}", old)
    worker = p.start([f"{p.folder}\\{PAYLOAD}", "--sleep", "60"], label="worker")
    c.require(p.wait_process(PAYLOAD, present=True), "the installed program is running")
    run = p.setup("/S")
    c.equal(run.status, 0, "second silent install while the program runs exits 0")
    c.equal(sorted(p.files(p.folder)), [PAYLOAD, PAYLOAD + ".old", UNINSTALLER],
            "the folder holds the new file, the old one moved aside, and the uninstaller")
    c.check(p.read(f"{p.folder}\\{PAYLOAD}") == c.cfg.payload.read_bytes(),
            f"{PAYLOAD} is the newly carried program")
    if p.exists(f"{p.folder}\\{PAYLOAD}.old"):
        c.check(p.read(f"{p.folder}\\{PAYLOAD}.old") == old, f"{PAYLOAD}.old is the running copy")
    c.check(worker.poll() is None and p.wait_process(PAYLOAD, present=True, seconds=1),
            "the running program keeps running")
    # Once it has ended, the next installation replaces the old copy and deletes it.
    worker.kill()
    worker.wait()
    c.require(p.wait_process(PAYLOAD, present=False), "the program has ended")
    c.equal(p.setup("/S").status, 0, "third silent install exits 0")
    c.equal(sorted(p.files(p.folder)), [PAYLOAD, UNINSTALLER], "the old copy is gone")


@case("install_blocked_by_file")
def install_blocked_by_file(c: Case) -> None:
    p = c.prefix()
    p.write(p.folder, b"a file, not a folder\n")
    before = p.snapshot()
    run = p.setup("/S")
    c.equal(run.status, 1, "silent install with a file in the folder's place exits 1")
    c.silent_output(run, "failed silent install")
    c.equal(changes(before, p.snapshot()), [], "the failed silent install changes nothing")

    run = p.setup(answers=["yes", "ok"], shots=[None, "error"])
    description = f"{p.system_message(FOLDER_ALREADY_EXISTS)} (os error {FOLDER_ALREADY_EXISTS})"
    c.box(run.boxes, 0, "question", install_question(p.folder), "interactive install asks first")
    c.box(run.boxes, 1, "error",
          failure_message(f"Cannot create {p.folder}: {description}"), "then the error box")
    c.box_count(run, 2, "failed interactive install")
    c.equal(run.status, 1, "failed interactive install exits 1")
    c.equal(changes(before, p.snapshot()), [], "the failed interactive install changes nothing")


LOCAL_APP_DATA_ROWS = {
    # row: (LOCALAPPDATA, the install folder it gives, the setup program's current directory)
    "unset": (None, r"C:\Users\Public\AppData\Local\Programs\Orvane Worker", None),
    "empty": ("", r"Programs\Orvane Worker", r"C:\e2e\work"),
    "trailing_backslash": ("{local}\\", "{local}\\Programs\\Orvane Worker", None),
    "non_ascii_and_spaces": ("C:\\Users\\Zoë Łukasz\\Données locales 𝄞",
                             "C:\\Users\\Zoë Łukasz\\Données locales 𝄞\\Programs\\Orvane Worker",
                             None),
    "ampersand_caret_parentheses": (r"C:\R&D ^team (x86)",
                                    r"C:\R&D ^team (x86)\Programs\Orvane Worker", None),
}


@table("local_app_data", LOCAL_APP_DATA_ROWS)
def local_app_data(c: Case, row) -> None:
    value, folder, cwd = row
    local = "C:\\users\\" + c.state["user"] + "\\AppData\\Local"
    value = value.replace("{local}", local) if value else value
    folder = folder.replace("{local}", local)
    p = c.prefix(local_app_data=value)
    if cwd:
        p.unix(cwd).mkdir(parents=True)
    where = cwd or "C:\\"
    # The install question names the folder as the program will use it.
    run = p.setup(answers=["yes", "ok"], cwd=cwd)
    c.box(run.boxes, 0, "question", install_question(folder), "the question names the folder")
    c.box(run.boxes, 1, "information", installed_message(folder), "the closing box names it")
    c.equal(run.status, 0, "install exits 0")
    c.installed_files(p, folder, "install", where)
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, folder,
            "Path holds the folder")
    c.registered(p, folder, "install")

    run = p.setup("--uninstall", "--silent", cwd=cwd)
    c.equal(run.status, 0, "silent removal exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, "",
            "Path loses the folder (and stays, empty)")
    c.removed(p, folder, "silent removal", where)


@case("existing_path_naming_the_folder")
def existing_path_naming_the_folder(c: Case) -> None:
    p = c.prefix()
    # The folder is already there in other letter case and with a trailing backslash.
    old = (REG_SZ, utf16(f"C:\\Tools;%USERPROFILE%\\bin;{p.folder.upper()}\\;D:\\Ünï 𝄞"))
    p.reg_set(ENVIRONMENT, "Path", *old)
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    c.equal(shown(p.reg_value(ENVIRONMENT, "Path")), shown(old),
            "Path is not written: same type, same bytes")


@table("interactive_install_declined", {"no": "no", "closed": "close"})
def interactive_install_declined(c: Case, answer: str) -> None:
    p = c.prefix()
    before = p.snapshot()
    run = p.setup(answers=[answer], shots=["install-question"] if answer == "no" else None)
    c.box(run.boxes, 0, "question", install_question(p.folder), "the install question")
    c.box_count(run, 1, "install declined")
    c.equal(run.status, 0, f"answering {answer!r} exits 0")
    c.equal(changes(before, p.snapshot()), [], "declining leaves disk, registry and Path untouched")


@case("interactive_install.yes")
def interactive_install_yes(c: Case) -> None:
    p = c.prefix()
    run = p.setup(answers=["yes", "ok"], shots=[None, "installed"])
    c.box(run.boxes, 0, "question", install_question(p.folder), "the install question")
    c.box(run.boxes, 1, "information", installed_message(p.folder), "the closing box")
    c.box_count(run, 2, "interactive install")
    c.equal(run.status, 0, "Yes, then OK, exits 0")
    c.installed_files(p, p.folder, "interactive install")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, p.folder,
            "Path holds the folder")
    c.registered(p, p.folder, "interactive install")


@case("environment_key_denied")
def environment_key_denied(c: Case) -> None:
    p = c.prefix()
    old = (REG_EXPAND_SZ, utf16(r"C:\Tools"))
    p.reg_set(ENVIRONMENT, "Path", *old)
    p.reg_deny(ENVIRONMENT)
    probe = p.run([p.helper("reg_set"), "set", ENVIRONMENT, "Probe", "1", "-"], label="deny-check")
    c.require(probe.stdout.split() == [b"status", b"5"], "the harness made Environment unwritable",
              repr(probe.stdout))
    run = p.setup(answers=["yes", "ok"])
    c.box(run.boxes, 1, "information", installed_message(p.folder), "the closing box still comes")
    c.equal(run.status, 0, "install exits 0")
    c.equal(shown(p.reg_value(ENVIRONMENT, "Path")), shown(old), "Path is unchanged")
    c.installed_files(p, p.folder, "install")
    c.registered(p, p.folder, "install")


@case("silent_removal")
def silent_removal(c: Case) -> None:
    p = c.prefix()
    old_path = "%USERPROFILE%\\bin;C:\\Tools;D:\\Ünï 𝄞"
    p.reg_set(ENVIRONMENT, "Path", REG_EXPAND_SZ, utf16(old_path))
    before = p.snapshot()
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, f"{old_path};{p.folder}",
            "install appends ';' and the folder to the existing Path")
    with p.process_log() as started:
        run = p.setup("--uninstall", "--silent")
        payload_gone_at_exit = not p.exists(f"{p.folder}\\{PAYLOAD}")
        c.equal(run.status, 0, "silent removal exits 0")
        c.silent_output(run, "silent removal")
        c.check(payload_gone_at_exit, f"{PAYLOAD} is gone when the removal exits")
        c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, old_path,
                "Path loses the folder and keeps every other entry byte for byte, REG_EXPAND_SZ")
        c.removed(p, p.folder, "silent removal")
    c.note("processes started by the removal: "
           + ", ".join(sorted({e["path"] or e["name"] for e in started} - {""})))
    left = [x for x in changes(before, p.snapshot()) if x not in created_parents(p, p.folder)]
    c.equal(left, [], "nothing outside the folder changed (profile files and HKCU)")


@case("interactive_removal")
def interactive_removal(c: Case) -> None:
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    uninstaller = f"{p.folder}\\{UNINSTALLER}"
    installed = p.snapshot()
    # As a double-click in the install folder starts it: no switch, current directory there.
    for answer in ["no", "close"]:
        run = p.setup(exe=uninstaller, cwd=p.folder, answers=[answer])
        c.box(run.boxes, 0, "question", REMOVAL_QUESTION, "the removal question")
        c.box_count(run, 1, "removal declined")
        c.equal(run.status, 0, f"answering {answer!r} exits 0")
        c.equal(changes(installed, p.snapshot()), [], f"{answer!r} leaves everything as it was")

    run = p.setup(exe=uninstaller, cwd=p.folder, answers=["yes", "ok"],
                  shots=["removal-question", "removed"])
    c.box(run.boxes, 0, "question", REMOVAL_QUESTION, "the removal question")
    c.box(run.boxes, 1, "information", REMOVED_MESSAGE, "the closing box")
    c.box_count(run, 2, "interactive removal")
    c.equal(run.status, 0, "Yes, then OK, exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, "",
            "Path loses the folder")
    c.removed(p, p.folder, "interactive removal")


@case("removal_closing_box_read_slowly")
def removal_closing_box_read_slowly(c: Case) -> None:
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    # The user reads the closing box for longer than the deferred command waits.
    held = []

    def read_slowly(box):
        held.append(p.wait_process("cmd.exe", present=False))

    run = p.setup(exe=f"{p.folder}\\{UNINSTALLER}", answers=["yes", "ok"],
                  before_press={2: read_slowly})
    c.box(run.boxes, 1, "information", REMOVED_MESSAGE, "the closing box")
    c.equal(run.status, 0, "removal exits 0")
    # The box stays up until no deferred command runs; the folder is then removed only by a
    # command that starts after the box.
    c.check(held == [True], "no deferred command left running while the closing box was up")
    c.removed(p, p.folder, "removal with the closing box left open")


@case("registered_uninstall_commands")
def registered_uninstall_commands(c: Case) -> None:
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    # The list of installed programs runs UninstallString as registered and waits for it.
    run = p.interact(["uninstaller", "--remove", "OrvaneWorker"], ["yes", "ok"])
    c.box(run.boxes, 0, "question", REMOVAL_QUESTION, "UninstallString asks the removal question")
    c.box(run.boxes, 1, "information", REMOVED_MESSAGE, "UninstallString ends with the closing box")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, "",
            "Path loses the folder")
    c.removed(p, p.folder, "UninstallString")
    listed = p.run(["uninstaller", "--list"], label="uninstaller-list")
    c.check(b"Orvane Worker" not in listed.stdout, "`uninstaller --list` no longer lists it",
            repr(listed.stdout))

    # An administrator's script runs QuietUninstallString as a command line, exactly as stored.
    c.require(p.setup("/S").status == 0, "second silent install exits 0")
    quiet = p.reg_value(UNINSTALL_KEY, "QuietUninstallString")
    c.require(quiet is not None and quiet[0] == REG_SZ, "QuietUninstallString is a REG_SZ")
    command = from_utf16(quiet[1]).rstrip("\0")
    p.write(r"C:\e2e\quiet-uninstall.cmd", f"@{command}\r\n".encode("utf-8"))
    run = p.run(["cmd", "/c", r"C:\e2e\quiet-uninstall.cmd"], timeout=30, label="quiet")
    c.equal(run.status, 0, "QuietUninstallString runs without a box and exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, "",
            "Path loses the folder")
    c.removed(p, p.folder, "QuietUninstallString")


@case("removal_while_running")
def removal_while_running(c: Case) -> None:
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    p.start([f"{p.folder}\\{PAYLOAD}", "--sleep", "60"], label="worker")
    c.require(p.wait_process(PAYLOAD, present=True), "the installed program is running")
    run = p.setup("--uninstall", "--silent")
    c.equal(run.status, 0, "silent removal while the program runs exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, "",
            "Path loses the folder")
    c.equal(p.reg_values(UNINSTALL_KEY), None, "the uninstall key is gone")
    c.check(p.wait_process("cmd.exe", present=False), "the deferred command ends")
    left = p.files(p.folder) if p.exists(p.folder) else None
    c.note(f"left behind while {PAYLOAD} runs: {sorted(left) if left is not None else 'nothing'}")


@case("removal_of_read_only_program")
def removal_of_read_only_program(c: Case) -> None:
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "silent install exits 0")
    # Wine shows a file without Unix write permission as FILE_ATTRIBUTE_READONLY.
    p.unix(f"{p.folder}\\{PAYLOAD}").chmod(0o444)
    attributes = p.run(["cmd", "/c", "attrib", f"{p.folder}\\{PAYLOAD}"], label="attrib").stdout
    c.require(b"R" in attributes.upper().split(b"C:\\")[0],  # the flags stand before the path
              "the harness made the program read-only", repr(attributes))
    run = p.setup("--uninstall", "--silent")
    c.equal(run.status, 0, "silent removal exits 0")
    c.check(not p.exists(f"{p.folder}\\{PAYLOAD}"),
            f"a read-only {PAYLOAD} is deleted by the removal itself, not left to the deferred command")
    c.removed(p, p.folder, "silent removal")


@case("planted_cmd_beside_setup")
def planted_cmd_beside_setup(c: Case) -> None:
    p = c.prefix()
    p.write(f"{p.downloads}\\cmd.exe", p.unix(p.helper("fake_cmd")).read_bytes())
    c.require(p.setup("/S").status == 0, "silent install from the download folder exits 0")
    with p.process_log() as started:
        run = p.setup("--uninstall", "--silent")
        c.equal(run.status, 0, "silent removal exits 0")
        c.removed(p, p.folder, "silent removal")
    planted = [e for e in started if e["path"].lower() == f"{p.downloads}\\cmd.exe".lower()]
    c.equal(planted, [], "the cmd.exe beside the setup program is never started")
    c.check(not p.exists(f"{p.downloads}\\planted-cmd-ran.txt"), "the planted cmd.exe left no marker")


HOSTILE_FOLDER_ROWS = {
    # row: (LOCALAPPDATA, a folder that must survive the removal)
    "double_quote_extra_folder": ('C:\\e2e\\victim" "C:\\e2e\\elsewhere', r"C:\e2e\victim"),
    "double_quote_chained_command": (
        'C:\\e2e\\x" & echo injected> C:\\e2e\\bystander\\injected.txt & rem "', None),
    "percent_reference": ("C:\\e2e\\%USERNAME%", "C:\\e2e\\{user}\\Programs\\Orvane Worker"),
}


@table("hostile_folder_text", HOSTILE_FOLDER_ROWS)
def hostile_folder_text(c: Case, row) -> None:
    value, bystander = row
    bystander = (bystander or r"C:\e2e\bystander").replace("{user}", c.state["user"])
    p = c.prefix(local_app_data=value)
    p.write(f"{bystander}\\keep.txt", b"must survive\n")
    kept = p.files(bystander)
    if '"' not in value:
        c.require(p.setup("/S").status == 0, "silent install exits 0")
    with p.process_log() as started:
        run = p.setup("--uninstall", "--silent")
        c.equal(run.status, 0, "silent removal exits 0")
        c.check(p.wait_process("cmd.exe", present=False), "any command interpreter has ended")
    if '"' in value:
        interpreters = [e for e in started if e["name"].lower() == "cmd.exe"]
        c.equal(interpreters, [], "a folder text with a double quote starts no command interpreter")
    c.equal(p.files(bystander) if p.exists(bystander) else None, kept,
            f"{bystander} survives untouched")
    c.check(not p.exists(r"C:\e2e\bystander\injected.txt"), "no injected command ran")
