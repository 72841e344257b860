#!/usr/bin/env python3
"""Holds src/ to its stack of rooms: a file includes only its own room and the rooms below it.

    entry                 the process entry's logic, the command line, the choice of mode
    install  remove       the two procedures, side by side: neither includes the other
    product               identity, install layout, carried files, box texts, the setup error
    paths  user_registry  the path rules; the registry layer and the user's Path (side by side)
    platform              the platform seam: the interfaces, their value types, UTF-8/UTF-16

Beside the stack stands win32, the Windows realisation of the seam and the image's own pieces:
it includes only the seam and itself, and nothing in the stack includes it. The one exception is
the Win32 process entry (src/win32/win32_entry.cpp), which hands the platform to the top.
Besides, only src/win32/ includes Windows' own headers: the rest builds and runs on Linux. Prints
every offending include and exits 1 when there is one.

    check_layers.py [SRC_DIR]    (default: the src/ folder beside tests/)
"""

import re
import sys
from pathlib import Path

# Rooms from the top down; the rooms of one row stand side by side.
STACK = [["entry"], ["install", "remove"], ["product"], ["paths", "user_registry"], ["platform"]]
# The realisation of the seam, beside the stack: it may include the seam, and nothing includes it.
REALISATION = "win32"
REALISED = "platform"
EXCEPTIONS = {("win32/win32_entry.cpp", "entry")}
WINDOWS_HEADERS = re.compile(r"^(windows|winternl|winbase|winuser|winreg|winnt|ntstatus|winresrc)\.h$",
                             re.IGNORECASE)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.MULTILINE)


def level(room: str) -> int | None:
    for depth, row in enumerate(STACK):
        if room in row:
            return depth
    return None


def problems(src: Path) -> list[str]:
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".rc") or not path.is_file():
            continue
        name = path.relative_to(src).as_posix()
        room = name.split("/")[0]
        here = level(room)
        if here is None and room != REALISATION:
            found.append(f"src/{name}: lies in no room of the stack ({room}/)")
            continue
        for quote, target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if quote == "<":
                if WINDOWS_HEADERS.match(target) and path.suffix != ".rc" and room != REALISATION:
                    found.append(f"src/{name}: includes <{target}>, which only src/{REALISATION}/ may")
                continue
            target_room = target.split("/")[0] if "/" in target else room
            if target_room == room or (name, target_room) in EXCEPTIONS:
                continue
            if room == REALISATION:
                if target_room != REALISED:
                    found.append(f'src/{name}: includes "{target}", and {REALISATION}/ may include '
                                 f"only {REALISED}/, the seam it realises")
                continue
            if target_room == REALISATION:
                found.append(f'src/{name}: includes "{target}", and the logic never includes '
                             f"{REALISATION}/, the realisation")
                continue
            there = level(target_room)
            if there is None:
                continue
            if there < here:
                found.append(f'src/{name}: includes "{target}", and {target_room}/ stands above {room}/')
            elif there == here:
                found.append(f'src/{name}: includes "{target}", and {target_room}/ stands beside {room}/')
    return found


def main(argv: list[str]) -> int:
    src = Path(argv[1]) if len(argv) > 1 else Path(__file__).resolve().parents[2] / "src"
    found = problems(src)
    for line in found:
        print(line)
    if not found:
        print(f"layers: every include in {src} goes down the stack")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
