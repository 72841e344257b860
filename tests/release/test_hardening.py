#!/usr/bin/python3
"""What the setup program never takes from the folder it is run from, checked on the built
program (build/windows/orvane-worker-setup.exe, or ORVANE_SETUP):

- pefile: the loader's view of the file: ASLR (high entropy), DEP, Terminal Server aware,
  relocations kept; a load configuration with DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
  imports from KnownDLLs only (exactly kernel32, advapi32, user32, msvcrt, ntdll), none delay-loaded;
- under Wine, a relay trace of a silent install run from a download folder: among the calls the
  program's own code makes, SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) comes first,
  after nothing but the runtime's TLS callback setting up its critical section, and so before the
  runtime reads the command line and before every registry, box or broadcast call;
- under Wine, a process trace of a silent removal: the one interpreter the program starts is the
  system folder's cmd.exe with exactly
  "cmd" /D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q "<folder>", and the folder goes.

On the way it checks the size budget: the program is at most 64 KiB larger than the file it
installs (a runtime piece that drags in the exception machinery, as newer libstdc++ releases
can, shows here first).

That a planted DLL is not loaded cannot be shown under Wine (its loader does not hold the DLLs it
loads later to the limit); the Windows test programs hold that case.

Environment: ORVANE_SETUP, ORVANE_RELEASE_KEEP=1 (keep the work folder)."""

from __future__ import annotations

import os
import re
import sys
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

import pefile  # noqa: E402

from release_support import (  # noqa: E402
    ROOT, SETUP_NAME, Checks, Failure, WinePrefix, check_loader_hardening, keep_or_remove,
    temporary_folder)

# What the setup program may add to the program it carries, whichever toolchain built it.
SIZE_BUDGET = 64 * 1024
RELAY_CALL = re.compile(r"^([0-9a-f]+):Call ([\w.]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$")
LOADED = re.compile(r'^([0-9a-f]+):trace:loaddll:\w+ Loaded L"(.*)" at ([0-9A-Fa-f]+): native$')
CREATE_PROCESS = re.compile(r'^([0-9a-f]+):trace:process:CreateProcessInternalW app (L".*"|\(null\)) '
                            r'cmdline (L".*"|\(null\))$')
# What mingw-w64's TLS callback, which Windows runs before any entry point, calls first.
RUNTIME_TLS_CALLS = {"RtlInitializeCriticalSection", "InitializeCriticalSection"}
FIRST_READERS_OF_THE_COMMAND_LINE = {"__wgetmainargs", "__getmainargs", "GetCommandLineW", "GetCommandLineA"}


def wine_text(quoted: str) -> str | None:
    """A string as Wine's debug channels print it (L"..." with C escapes), or None for (null)."""
    if not quoted.startswith('L"'):
        return None
    return re.sub(r'\\(x[0-9a-fA-F]{2,4}|u[0-9a-fA-F]{4}|.)',
                  lambda m: chr(int(m.group(1)[1:], 16)) if m.group(1)[0] in "xu" and len(m.group(1)) > 1
                  else {"n": "\n", "r": "\r", "t": "\t"}.get(m.group(1), m.group(1)),
                  quoted[2:-1])


def own_calls(trace: str, program_name: str, image_size: int) -> list[tuple[str, str]]:
    """(function, arguments) of every call the program's own image makes on its first thread."""
    thread, base = None, None
    calls = []
    for line in trace.splitlines():
        if thread is None:
            loaded = LOADED.match(line)
            if loaded and wine_text('L"' + loaded.group(2) + '"').lower().endswith("\\" + program_name):
                thread, base = loaded.group(1), int(loaded.group(3), 16)
            continue
        call = RELAY_CALL.match(line)
        if call and call.group(1) == thread and base <= int(call.group(5), 16) < base + image_size:
            calls.append((call.group(3), call.group(4)))
    return calls


def main() -> int:
    checks = Checks("test_hardening")
    program = Path(os.environ.get("ORVANE_SETUP", ROOT / "build" / "windows" / SETUP_NAME))
    if not program.is_file():
        print(f"test_hardening: no program at {program}: build it first (cmake --build --preset windows)")
        return 1
    work = temporary_folder("hardening")
    log = work / "log.txt"
    print(f"test_hardening: {program}, working in {work}", flush=True)
    try:
        checks.group("the file, as the loader reads it")
        check_loader_hardening(checks, program, "the setup program")

        checks.group("under Wine: the program's first calls (relay trace of a silent install)")
        prefix = WinePrefix(work / "prefix", log)
        setup = prefix.place(program, "C:\\users\\Public\\Downloads")
        folder_text = prefix.local_app_data() + "\\Programs\\Orvane Worker"
        traced = prefix.wine(setup, "/S", debug="+relay,+loaddll")
        prefix.wait()
        checks.check(traced.returncode == 0 and (prefix.unix_path(folder_text) / "orvane-worker.exe").is_file(),
                     "the traced silent install succeeded (exit 0, program in place)",
                     f"exit {traced.returncode}")
        installed = prefix.unix_path(folder_text) / "orvane-worker.exe"
        if installed.is_file():
            overhead = program.stat().st_size - installed.stat().st_size
            checks.check(overhead <= SIZE_BUDGET,
                         f"the program is at most {SIZE_BUDGET:,} bytes over the payload it carries",
                         f"{program.stat().st_size:,} bytes, payload {installed.stat().st_size:,}: "
                         f"{overhead:,} over")
        image_size = pefile.PE(str(program), fast_load=True).OPTIONAL_HEADER.SizeOfImage
        calls = own_calls(traced.stdout, SETUP_NAME, image_size)
        names = [name for name, _ in calls]
        if not checks.check("SetDefaultDllDirectories" in names, "the program calls SetDefaultDllDirectories",
                            f"{len(calls)} own calls traced, the first: {names[:8]}"):
            raise Failure("no search limit in the trace")
        first = names.index("SetDefaultDllDirectories")
        checks.equal(calls[first][1], "00000800", "with LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800)")
        checks.equal(set(names[:first]) - RUNTIME_TLS_CALLS, set(),
                     "nothing comes before it but the runtime's TLS callback (which precedes any entry point)")
        later = set(names[first + 1:])
        checks.check(later & FIRST_READERS_OF_THE_COMMAND_LINE and "RegCreateKeyExW" in later
                     and "SendMessageTimeoutW" in later,
                     "the command line, registry and broadcast calls all come after it",
                     sorted(later & (FIRST_READERS_OF_THE_COMMAND_LINE | {"RegCreateKeyExW", "SendMessageTimeoutW"})))
        checks.equal([n for n in names if n.startswith("LoadLibrary")], [],
                     "the program loads no DLL by name itself")

        checks.group("under Wine: the command the removal starts (process trace of a silent removal)")
        traced = prefix.wine(setup, "/S", "/uninstall", debug="+process")
        prefix.wait()
        started = []
        for line in traced.stdout.splitlines():
            match = CREATE_PROCESS.match(line)
            if match and (wine_text(match.group(3)) or "").startswith('"cmd" '):
                started.append((wine_text(match.group(2)), wine_text(match.group(3))))
        system_cmd = "c:\\windows\\system32\\cmd.exe"
        checks.equal([(app.lower(), line) for app, line in started],
                     [(system_cmd, f'"cmd" /D /V:OFF /C ping -n 3 127.0.0.1 >nul & rmdir /S /Q "{folder_text}"')],
                     "one cmd started: the system folder's, AutoRun and delayed expansion off")
        checks.check(traced.returncode == 0 and not prefix.unix_path(folder_text).exists(),
                     "the removal exited 0 and the command deleted the folder", f"exit {traced.returncode}")
    except Failure as failure:
        checks.check(False, "the test could go on", failure)
    status = checks.finish()
    keep_or_remove(work, status != 0)
    return status


if __name__ == "__main__":
    sys.exit(main())
