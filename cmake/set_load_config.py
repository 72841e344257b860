#!/usr/bin/env python3
"""Names the program's load configuration in its PE header, after the link.

    set_load_config.py PROGRAM MAP_FILE

The program defines its load configuration as the symbol _load_config_used
(src/win32/win32_load_config.cpp). Newer GNU linkers point the header's load configuration
directory (data directory 10) at that symbol themselves; binutils 2.40, Debian 12's, leaves the
directory empty, so Windows would never read the structure. This finds the symbol's address in
the linker's map, checks that the bytes there are a load configuration (its Size field), and
writes the directory entry: the structure's RVA and that size. A directory that already names
the same structure is left as it is; one that names something else is an error. The header's
checksum, where the linker wrote one, is computed anew; nothing else in the file changes, so the
build stays reproducible.
"""

import re
import struct
import sys
from pathlib import Path

LOAD_CONFIG = 10  # IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG


def fail(message: str) -> None:
    sys.exit(f"set_load_config: {message}")


def pe_checksum(image: bytearray, checksum_offset: int) -> int:
    """The optional header's CheckSum: the file's 16-bit words summed with end-around carry
    (the CheckSum field itself counted as 0), plus the file's length."""
    data = bytes(image[:checksum_offset]) + b"\0\0\0\0" + bytes(image[checksum_offset + 4:])
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def main(program: Path, map_file: Path) -> None:
    found = re.search(r"^\s+0x([0-9a-f]+)\s+_load_config_used\s*$", map_file.read_text(), re.M)
    if not found:
        fail(f"{map_file} does not list _load_config_used")
    address = int(found.group(1), 16)

    image = bytearray(program.read_bytes())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        fail(f"{program} is not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != 0x20B:
        fail(f"{program} is not a 64-bit image")
    image_base = struct.unpack_from("<Q", image, optional + 24)[0]
    if struct.unpack_from("<I", image, optional + 108)[0] <= LOAD_CONFIG:
        fail(f"{program} has no load configuration directory entry")
    entry = optional + 112 + 8 * LOAD_CONFIG
    rva = address - image_base

    table = optional + optional_size
    for k in range(sections):
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from(
            "<IIII", image, table + 40 * k + 8)
        if virtual_address <= rva < virtual_address + min(virtual_size, raw_size):
            offset = raw_offset + rva - virtual_address
            break
    else:
        fail(f"_load_config_used (RVA {rva:#x}) lies in no section's file data")
    size = struct.unpack_from("<I", image, offset)[0]
    if size < 0x50:
        fail(f"the structure at RVA {rva:#x} says it is {size} bytes: not a load configuration")

    current = struct.unpack_from("<II", image, entry)
    if current == (rva, size):
        return
    if current != (0, 0):
        fail(f"the load configuration directory already names RVA {current[0]:#x}")
    struct.pack_into("<II", image, entry, rva, size)
    checksum_offset = optional + 64
    if struct.unpack_from("<I", image, checksum_offset)[0] != 0:
        struct.pack_into("<I", image, checksum_offset, pe_checksum(image, checksum_offset))
    program.write_bytes(image)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(Path(sys.argv[1]), Path(sys.argv[2]))
