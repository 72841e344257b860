"""Bad inputs, end to end: install folders that a command interpreter or a Path list could
mistake, Path values that are huge, odd or not text at all, command lines at the platform's limit
or not valid UTF-16, and runs that overlap. Each case asserts the exact result the program gives.

The folders with "&", "^", "(", ")" and a double quote, and %USERNAME% as a reference the
interpreter must not expand, are the local_app_data and hostile_folder_text cases in cases.py.
"""

from __future__ import annotations

import json

from cases import (ENVIRONMENT, PAYLOAD, UNINSTALL_KEY, UNINSTALLER, Case, case, changes,
                   failure_message, install_question, shown, table)
from harness import REG_EXPAND_SZ, REG_SZ, utf16

REG_NONE = 0
REG_BINARY = 3
REG_MULTI_SZ = 7
# The longest command line CreateProcessW takes, its terminator included. Wine hands a longer
# one to the child cut to this length, so the harness never builds one.
LONGEST_COMMAND_LINE = 32_767
OLD_PATH = "C:\\Tools;%USERPROFILE%\\bin"
PATH_NOT_FOUND = 3


def units(text: str) -> int:
    """The number of UTF-16 units of a text (lone surrogates count one each)."""
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def interpreters(started: list) -> set:
    """The process ids of the command interpreters among the started processes."""
    return {e["pid"] for e in started if e["name"].lower() == "cmd.exe"}


def spawn(p, *lines: str, answers: list[str] | None = None):
    """Starts the setup program once per command line, each given as exact UTF-16 units (lone
    surrogates included), through the probe, all let go at the same moment; `answers` drives the
    boxes they bring up. Returns the probe's run and one {"created", "status" or "error"} per
    command line."""
    files = []
    for k, line in enumerate(lines):
        name = f"C:\\e2e\\command-line-{k}.bin"
        p.write(name, line.encode("utf-16-le", "surrogatepass"))
        files.append(name)
    argv = [p.helper("probe"), "spawn", p.setup_exe, *files]
    run = p.interact(argv, answers) if answers else p.run(argv, timeout=60, label="spawn")
    return run, [json.loads(line) for line in run.stdout.decode().splitlines()]


def exited(*statuses: int) -> list:
    return [{"created": True, "status": s} for s in statuses]


def still_installed(c: Case, p, folder: str, path_text: str, what: str) -> None:
    c.installed_files(p, folder, what)
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, path_text, f"{what}: Path")
    c.registered(p, folder, what)


# ---------------------------------------------------------------------------------------------
# Install folders that cmd or a Path list could take for something else, or that are long


def long_local_app_data() -> str:
    names = [f"{k} a folder name that goes on for quite a while" for k in range(6)]
    return "C:\\e2e\\" + "\\".join(names)


ODD_LOCAL_APP_DATA = {
    # row: (LOCALAPPDATA, what of the install folder the removal leaves behind). The install
    # folder is LOCALAPPDATA + "\Programs\Orvane Worker".
    # A folder text holding % gets no deferred command (cmd would expand the reference), so the
    # folder stays with the uninstaller in it.
    "lone_percent": ("C:\\e2e\\100% local", [UNINSTALLER]),
    "percent_reference": ("C:\\a%USERPROFILE%b", [UNINSTALLER]),
    "semicolon": ("C:\\e2e\\a;b", None),
    "spaces": ("C:\\e2e\\ leading space, two  inner spaces", None),
    "three_scripts_and_emoji": ("C:\\e2e\\Данные Δεδομένα 数据 😀", None),
    # The deferred command is started, but Wine's cmd rmdir fails on a file whose path is longer
    # than MAX_PATH (260), here uninstall.exe, \\?\ form or not: the folder stays with it.
    "longer_than_260": (long_local_app_data(), [UNINSTALLER]),
}
assert len(ODD_LOCAL_APP_DATA["longer_than_260"][0]) > 260


@table("bad_input.local_app_data", ODD_LOCAL_APP_DATA)
def odd_local_app_data(c: Case, row) -> None:
    value, left = row
    folder = value + "\\Programs\\Orvane Worker"
    splits = ";" in folder  # never counts as present, never dropped
    commands = 0 if "%" in folder else 1
    p = c.prefix(local_app_data=value)
    p.reg_set(ENVIRONMENT, "Path", REG_EXPAND_SZ, utf16(OLD_PATH))
    c.note(f"install folder ({len(folder)} characters): {folder}")

    run = p.setup("/S")
    c.equal(run.status, 0, "silent install exits 0")
    c.silent_output(run, "silent install")
    still_installed(c, p, folder, f"{OLD_PATH};{folder}",
                    "silent install (';' and the folder text appended)")

    run = p.setup("/S")
    c.equal(run.status, 0, "a second silent install exits 0")
    installed_path = f"{OLD_PATH};{folder};{folder}" if splits else f"{OLD_PATH};{folder}"
    still_installed(c, p, folder, installed_path,
                    "second install (a folder with ';' never counts as present: appended again)"
                    if splits else "second install (the folder counts as present: not appended)")

    with p.process_log() as started:
        run = p.setup("--uninstall", "--silent")
        c.equal(run.status, 0, "silent removal exits 0")
        c.silent_output(run, "silent removal")
        c.check(not p.exists(f"{folder}\\{PAYLOAD}"), f"{PAYLOAD} is gone when the removal exits")
        c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ,
                installed_path if splits else OLD_PATH,
                "Path after removal (entries with the folder's ';' stay: none names the folder)"
                if splits else "Path after removal: the folder's entry gone, the rest unchanged")
        c.equal(p.reg_values(UNINSTALL_KEY), None, "the uninstall key is gone")
        if left is None:
            c.removed(p, folder, "silent removal")
        else:
            c.check(p.wait_process("cmd.exe", present=False), "any command interpreter has ended")
    c.equal(len(interpreters(started)), commands,
            f"the removal started {commands} command interpreter(s)")
    if left is not None:
        listing = p.files(folder) if p.exists(folder) else None
        c.equal(sorted(listing) if listing is not None else None, left,
                f"the folder stays, holding exactly {', '.join(left)}")


# Wine drops a trailing space from the last name of a path only, and a trailing dot from every
# name; what the program then finds is the platform's rule, not its own.


@case("bad_input.local_app_data_ending_in.space")
def local_app_data_ending_in_space(c: Case) -> None:
    """Creating the base, whose last name ends in a space, makes "Local data"; its subfolder,
    asked for under "Local data " (the space kept, as it is not the last name), then has no
    parent. The install fails and says so."""
    value = f"C:\\users\\{c.state['user']}\\Local data "
    folder = value + "\\Programs\\Orvane Worker"
    p = c.prefix(local_app_data=value)
    before = p.snapshot()
    stray = [f"file {c.state['user']}/Local data: None -> 'dir'"]
    run = p.setup("/S")
    c.equal(run.status, 1, "silent install exits 1")
    c.silent_output(run, "failed silent install")
    c.equal(changes(before, p.snapshot()), stray,
            "the one change: an empty \"Local data\" folder; Path and registry untouched")

    run = p.setup(answers=["yes", "ok"])
    c.box(run.boxes, 0, "question", install_question(folder), "the question names the folder")
    description = f"{p.system_message(PATH_NOT_FOUND)} (os error {PATH_NOT_FOUND})"
    c.box(run.boxes, 1, "error", failure_message(f"Cannot create {folder}: {description}"),
          "then the error box")
    c.box_count(run, 2, "failed interactive install")
    c.equal(run.status, 1, "failed interactive install exits 1")
    c.equal(changes(before, p.snapshot()), stray, "still nothing else changed")


@case("bad_input.local_app_data_ending_in.dot")
def local_app_data_ending_in_dot(c: Case) -> None:
    """The files land in "Local data" without the dot; Path and the registration carry the folder
    text as the program has it, dot included, and the removal (whose cmd drops the dot alike)
    takes the folder away."""
    value = f"C:\\users\\{c.state['user']}\\Local data."
    folder = value + "\\Programs\\Orvane Worker"
    on_disk = value[:-1] + "\\Programs\\Orvane Worker"
    p = c.prefix(local_app_data=value)
    run = p.setup("/S")
    c.equal(run.status, 0, "silent install exits 0")
    c.installed_files(p, on_disk, "silent install, under the name without the dot")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, folder,
            "Path holds the folder text, dot included")
    c.registered(p, folder, "silent install")
    run = p.setup("--uninstall", "--silent")
    c.equal(run.status, 0, "silent removal exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, "", "Path loses the folder")
    c.removed(p, on_disk, "silent removal")


# ---------------------------------------------------------------------------------------------
# Path values


def thousand_entries(folder: str) -> list[str]:
    """1,000 Path entries, about 32,000 UTF-16 units joined: spaces, double quotes, %VAR%
    references, trailing backslashes, non-ASCII, empty entries (leading and in runs), and the
    install folder written in ways that do not name it."""
    kinds = [
        lambda i: f"C:\\Tools\\tool-{i:03d}\\bin",
        lambda i: f"C:\\Program Files\\Vendor {i:03d}\\App  Two Spaces\\bin ",
        lambda i: f"\"C:\\Quoted Folder {i:03d}\\bin\"",
        lambda i: f"%USERPROFILE%\\tools\\{i:03d}" if i % 2 else f"%SystemRoot%\\x{i:03d}",
        lambda i: f"D:\\trailing\\{i:03d}\\\\",
        lambda i: f"C:\\Ünïcødé\\Пример {i:03d}\\例\\😀",
        lambda i: "",
    ]
    entries = [kinds[i % len(kinds)](i) for i in range(1000)]
    entries[0] = ""  # a leading ";"
    entries[500:503] = ["", "", ""]  # a run of empty entries
    near_misses = [folder + "/", " " + folder, folder + " ", f"\"{folder}\"",
                   folder.replace("\\", "/"), folder.replace("\\", "\\\\"),
                   "%LOCALAPPDATA%\\Programs\\Orvane Worker", folder + "\\.", folder[:-1]]
    for k, entry in enumerate(near_misses):
        entries[101 + 97 * k] = entry
    entries[-1] = "C:\\last"
    # Pad plain entries one unit at a time, spread over the list, to 32,000 units in all.
    k = 1
    while units(";".join(entries)) < 32_000:
        if entries[k].startswith("C:\\Tools\\"):
            entries[k] += "x"
        k = k % 998 + 1
    assert len(entries) == 1000
    return entries


@case("bad_input.path_of_1000_entries")
def path_of_1000_entries(c: Case) -> None:
    p = c.prefix()
    entries = thousand_entries(p.folder)
    old = ";".join(entries)
    c.note(f"Path of {len(entries)} entries, {units(old)} UTF-16 units, "
           f"{entries.count('')} empty")
    p.reg_set(ENVIRONMENT, "Path", REG_EXPAND_SZ, utf16(old))
    run = p.setup("/S")
    c.equal(run.status, 0, "silent install exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, f"{old};{p.folder}",
            "Path is the old value + ';' + the folder, byte for byte")
    # (No "new terminal" check here: Wine cuts the Path it gives new processes to about 1,000
    # units, so the folder at the end never reaches them.)
    run = p.setup("--uninstall", "--silent")
    c.equal(run.status, 0, "silent removal exits 0")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, ";".join(e for e in entries if e),
            "Path is the old value without its empty entries, byte for byte otherwise")
    c.removed(p, p.folder, "silent removal")


REWRITTEN_PATHS = {
    # row: (type, stored bytes, the text install appends to and removal gives back)
    "reg_sz_with_references": (
        REG_SZ,
        utf16("%USERPROFILE%\\bin;%LOCALAPPDATA%\\Programs\\Orvane Worker;"
              "%USERPROFILE%\\AppData\\Local\\Programs\\Orvane Worker;C:\\Tools"),
        "%USERPROFILE%\\bin;%LOCALAPPDATA%\\Programs\\Orvane Worker;"
        "%USERPROFILE%\\AppData\\Local\\Programs\\Orvane Worker;C:\\Tools"),
    "expand_sz_without_terminator": (
        REG_EXPAND_SZ, "C:\\Tools;D:\\Bin".encode("utf-16-le"), "C:\\Tools;D:\\Bin"),
}


@case("bad_input.path_rewritten_as_text")
def path_rewritten_as_text(c: Case) -> None:
    """Values the text carries unchanged are rewritten as REG_EXPAND_SZ with a terminator;
    references stay unexpanded, and one that means the folder does not name it."""
    p = c.prefix()
    for row, (kind, data, text) in REWRITTEN_PATHS.items():
        p.reg_set(ENVIRONMENT, "Path", kind, data)
        c.require(p.reg_value(ENVIRONMENT, "Path") == (kind, data), f"{row}: the harness stored it")
        c.equal(p.setup("/S").status, 0, f"{row}: silent install exits 0")
        c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, f"{text};{p.folder}",
                f"{row}: install makes it REG_EXPAND_SZ, old text + ';' + folder, unexpanded")
        c.equal(p.setup("--uninstall", "--silent").status, 0, f"{row}: silent removal exits 0")
        c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, text,
                f"{row}: removal gives back the old text, REG_EXPAND_SZ")
        c.removed(p, p.folder, f"{row}: removal")


NOT_TEXT_PATHS = {
    # row: (type, stored bytes): a value the text would not carry unchanged
    "multi_sz": (REG_MULTI_SZ, utf16("C:\\Tools") + utf16("D:\\Bin") + b"\0\0"),
    "binary": (REG_BINARY, utf16("C:\\Tools")),
    "none_type": (REG_NONE, utf16("C:\\Tools")),
    "odd_byte_count": (REG_EXPAND_SZ, utf16("C:\\Tools")[:-1]),
    "lone_surrogate": (REG_EXPAND_SZ, utf16("C:\\Tools\ud800;D:\\Bin")),
    "data_after_terminator": (REG_SZ, utf16("C:\\Tools") + utf16("D:\\Hidden")),
}


@case("bad_input.path_not_text")
def path_not_text(c: Case) -> None:
    p = c.prefix()
    for row, stored in NOT_TEXT_PATHS.items():
        p.reg_set(ENVIRONMENT, "Path", *stored)
        c.require(p.reg_value(ENVIRONMENT, "Path") == stored, f"{row}: the harness stored it",
                  repr(shown(p.reg_value(ENVIRONMENT, "Path"))))
        run = p.setup("/S")
        c.equal(run.status, 0, f"{row}: silent install exits 0")
        c.equal(shown(p.reg_value(ENVIRONMENT, "Path")), shown(stored),
                f"{row}: install leaves Path untouched (type and bytes)")
        c.installed_files(p, p.folder, f"{row}: install")
        c.registered(p, p.folder, f"{row}: install")
        run = p.setup("--uninstall", "--silent")
        c.equal(run.status, 0, f"{row}: silent removal exits 0")
        c.equal(shown(p.reg_value(ENVIRONMENT, "Path")), shown(stored),
                f"{row}: removal leaves Path untouched (type and bytes)")
        c.removed(p, p.folder, f"{row}: removal")


# ---------------------------------------------------------------------------------------------
# Command lines


def longest_command_line(program: str) -> str:
    """The program, arguments of every shape the splitter knows (quoted with spaces, escaped and
    doubled quotes, backslashes, near-miss switches, non-ASCII), then /S as the very last units,
    LONGEST_COMMAND_LINE units with the terminator."""
    shapes = ['"quoted argument with spaces"', "plain", 'a\\\\\\"b', '"x""y"', "-s", "/s=1",
              '"/S "', "/uninstal", "ünï", "𝄞", "c:\\dir\\\\", '""']
    target = LONGEST_COMMAND_LINE - 1 - units(" /S")
    line, k = program, 0
    while units(line) + 1 + units(shapes[k % len(shapes)]) + 2 <= target:
        line += " " + shapes[k % len(shapes)]
        k += 1
    line += " " + "x" * (target - units(line) - 1) + " /S"
    return line


@case("bad_input.command_line")
def command_line(c: Case) -> None:
    p = c.prefix()
    program = f'"{p.setup_exe}"'
    before = p.snapshot()

    # /S followed by a lone high surrogate, as one argument: no switch, so the question comes.
    run, children = spawn(p, program + " /S\ud800", answers=["no"])
    c.box(run.boxes, 0, "question", install_question(p.folder),
          "/S + U+D800 is no switch: the install question")
    c.box_count(run, 1, "/S + U+D800")
    c.equal(children, exited(0), "/S + U+D800, answered No: exit 0")
    c.equal(changes(before, p.snapshot()), [], "/S + U+D800, answered No: nothing changed")

    line = longest_command_line(program)
    c.require(units(line) + 1 == LONGEST_COMMAND_LINE,
              f"the command line is {LONGEST_COMMAND_LINE} units with its terminator")
    run, children = spawn(p, line)
    c.equal(children, exited(0), "the longest command line, /S last: silent install, exit 0")
    still_installed(c, p, p.folder, p.folder, "after the longest command line")

    # A lone low surrogate makes "--uninstall" no switch; the /S beside it still counts.
    run, children = spawn(p, program + " --uninstall\udc00 /S")
    c.equal(children, exited(0), "--uninstall + U+DC00 and /S: exit 0 without a box")
    still_installed(c, p, p.folder, p.folder, "--uninstall + U+DC00 installs, it does not remove")


# ---------------------------------------------------------------------------------------------
# Runs that overlap


@case("bad_input.concurrent_installs")
def concurrent_installs(c: Case) -> None:
    p = c.prefix()
    p.reg_set(ENVIRONMENT, "Path", REG_EXPAND_SZ, utf16(OLD_PATH))
    program = f'"{p.setup_exe}"'
    for what in ["on a clean profile", "over the installation", "over it once more"]:
        run, children = spawn(p, program + " /S", program + " /S")
        c.equal(children, exited(0, 0), f"two silent installs at once {what}: both exit 0")
        c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, f"{OLD_PATH};{p.folder}",
                f"{what}: Path holds the folder exactly once")
        listing = sorted(p.files(p.folder))
        c.check(listing in ([PAYLOAD, UNINSTALLER], [PAYLOAD, PAYLOAD + ".old", UNINSTALLER]),
                f"{what}: the folder holds {PAYLOAD}, {UNINSTALLER} and at most an .old copy",
                repr(listing))
        if PAYLOAD + ".old" in listing:
            c.note(f"{what}: {PAYLOAD}.old was left")
        c.check(p.read(f"{p.folder}\\{PAYLOAD}") == c.cfg.payload.read_bytes(),
                f"{what}: {PAYLOAD} is byte for byte the carried program")
        c.check(p.read(f"{p.folder}\\{UNINSTALLER}") == c.cfg.setup.read_bytes(),
                f"{what}: {UNINSTALLER} is byte for byte the setup program")
        c.registered(p, p.folder, what)


@case("bad_input.install_while_removal_pending")
def install_while_removal_pending(c: Case) -> None:
    """A silent install right after a silent removal, while the removal's deferred command still
    waits: the command then deletes the new installation's folder; Path and the registration,
    written by the install, stay and name a folder that is gone. The harness holds the command
    (suspends it) until the install has ended, so that the order does not depend on the load."""
    p = c.prefix()
    c.require(p.setup("/S").status == 0, "first silent install exits 0")
    c.equal(p.setup("--uninstall", "--silent").status, 0, "silent removal exits 0")
    held = p.probe_json("suspend", "cmd.exe", "10000")
    c.require(held["processes"] == 1 and held["threads"] > 0
              and p.exists(f"{p.folder}\\{UNINSTALLER}"),
              "the removal's deferred command is held before it reached rmdir", repr(held))
    try:
        c.equal(p.setup("/S").status, 0, "silent install while the command is pending exits 0")
        still_installed(c, p, p.folder, p.folder, "install while the command is pending")
    finally:
        p.probe_json("resume", "cmd.exe")
    c.require(p.wait_process("cmd.exe", present=False), "the deferred command has run (polled 30 s)")
    c.equal(p.exists(p.folder), False,
            "end state: the pending command deleted the new installation's folder")
    c.value(p.reg_value(ENVIRONMENT, "Path"), REG_EXPAND_SZ, p.folder,
            "end state: Path still holds the folder")
    c.registered(p, p.folder, "end state: the registration stays")
    c.equal(p.setup("/S").status, 0, "a later silent install exits 0")
    still_installed(c, p, p.folder, p.folder, "a later install repairs it")
