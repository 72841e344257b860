#!/usr/bin/env python3
"""Builds the setup program with one build choice after another and prints what each buys.

Each step is a clean build (target orvane-worker-setup, MinSizeRel, the given small payload) of
the given source tree in its own directory under --work; the project's files are not changed.
The ladder starts from the earlier configuration (ORVANE_LEAN_RUNTIME=OFF, cmake/windows.cmake),
adds the project's lean choices one by one on the command line (CMAKE_CXX_FLAGS,
CMAKE_INTERPROCEDURAL_OPTIMIZATION) and ends with the project's own configuration
(ORVANE_LEAN_RUNTIME=ON, nothing added), which also links src/win32/lean_runtime.cpp. Rows
marked "alone" change one thing against the first or the last of those rows only. A step that
does not build is reported and skipped; the next one builds on the last that did.

usage: size_ladder.py --source DIR --payload FILE --work DIR [--jobs N] [--out FILE.md]
"""
import argparse
import os
import shutil
import subprocess
import sys

OFF = {"ORVANE_LEAN_RUNTIME": "OFF"}
ON = {"ORVANE_LEAN_RUNTIME": "ON"}
# label, kind, added C++ flags, cache entries, toolchain (None: the project's; "posix":
# bench/cmake's), MinSizeRel optimisation flags (None: CMake's "-Os -DNDEBUG"). Kinds: "step"
# adds its flags to those of the steps before it; "project" is the project's own configuration
# (nothing added), measured against the last step; "alone-earlier" and "alone-project" change one
# thing against the first row or the project's row only.
STEPS = [
    ("earlier configuration: ORVANE_LEAN_RUNTIME=OFF (-Os, gc-sections, -s, win32 threads)",
     "step", "", OFF, None, None),
    ("-fno-asynchronous-unwind-tables, exceptions still on", "alone-earlier",
     "-fno-asynchronous-unwind-tables", OFF, None, None),
    ("-fno-exceptions", "step", "-fno-exceptions", OFF, None, None),
    ("-fno-asynchronous-unwind-tables", "step", "-fno-asynchronous-unwind-tables", OFF, None,
     None),
    ("-fno-threadsafe-statics", "step", "-fno-threadsafe-statics", OFF, None, None),
    ("link-time optimisation (CMAKE_INTERPROCEDURAL_OPTIMIZATION)", "step", "",
     dict(OFF, CMAKE_INTERPROCEDURAL_OPTIMIZATION="ON"), None, None),
    ("the project's configuration: ORVANE_LEAN_RUNTIME=ON (the above and "
     "src/win32/lean_runtime.cpp)", "project", "", ON, None, None),
    ("-fno-rtti, not adopted", "alone-project", "-fno-rtti", ON, None, None),
    ("posix thread model instead of win32", "alone-project", "", ON, "posix", None),
    ("-O2 instead of -Os", "alone-project", "", ON, None, "-O2 -DNDEBUG"),
]
NOTES = {"alone-earlier": " (alone, vs the earlier configuration)",
         "alone-project": " (alone, vs the project's configuration)"}


def build(source, work, name, cxx_flags, entries, toolchain, opt_flags, payload, jobs):
    build_dir = os.path.join(work, name)
    shutil.rmtree(build_dir, ignore_errors=True)
    tc = (os.path.join(source, "bench", "cmake", "mingw-w64-x86_64-posix.cmake")
          if toolchain == "posix" else os.path.join(source, "cmake", "mingw-w64-x86_64.cmake"))
    log = os.path.join(work, name + ".log")
    with open(log, "w") as out:
        ok = subprocess.run(["cmake", "-S", source, "-B", build_dir, "-G", "Ninja",
                             "-DCMAKE_TOOLCHAIN_FILE=" + tc, "-DCMAKE_BUILD_TYPE=MinSizeRel",
                             "-DORVANE_PAYLOAD=" + payload, "-DORVANE_BUILD_TESTS=OFF",
                             "-DCMAKE_CXX_FLAGS=" + cxx_flags,
                             "-DCMAKE_CXX_FLAGS_MINSIZEREL=" + (opt_flags or "-Os -DNDEBUG"),
                             # The toolchain's own initial link flags are "-static"; keep them.
                             "-DCMAKE_EXE_LINKER_FLAGS=-static"]
                            + ["-D%s=%s" % kv for kv in sorted(entries.items())],
                            stdout=out, stderr=subprocess.STDOUT).returncode == 0
        ok = ok and subprocess.run(["cmake", "--build", build_dir, "-j", str(jobs), "--target",
                                    "orvane-worker-setup"], stdout=out,
                                   stderr=subprocess.STDOUT).returncode == 0
    exe = os.path.join(build_dir, "orvane-worker-setup.exe")
    size = os.path.getsize(exe) if ok and os.path.exists(exe) else None
    shutil.rmtree(build_dir, ignore_errors=True)
    return size, log


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--payload", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--out")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    payload = os.path.abspath(args.payload)
    payload_size = os.path.getsize(payload)

    lines = ["| step | setup bytes | overhead (setup − payload) | bytes bought |",
             "|---|---:|---:|---:|"]
    cxx = ""  # the flags of the steps so far
    earlier = previous = project = None
    for index, (label, kind, add_cxx, entries, toolchain, opt) in enumerate(STEPS):
        step_cxx = (cxx + " " + add_cxx).strip() if kind == "step" else add_cxx
        size, log = build(os.path.abspath(args.source), args.work, "step%02d" % index, step_cxx,
                          entries, toolchain, opt, payload, args.jobs)
        if size is None:
            lines.append("| %s | does not build (see %s) | | |" % (label, os.path.basename(log)))
            print("size ladder:", label, "failed, see", log, file=sys.stderr, flush=True)
            continue
        base = {"step": previous, "project": previous, "alone-earlier": earlier,
                "alone-project": project}[kind]
        bought = "" if base is None else "{:+,}".format(size - base)
        lines.append("| %s%s | {:,} | {:,} | %s |".format(size, size - payload_size)
                     % (label, NOTES.get(kind, ""), bought))
        print("size ladder:", label, size, file=sys.stderr, flush=True)
        if kind == "step":
            cxx, previous = step_cxx, size
            earlier = size if earlier is None else earlier
        elif kind == "project":
            project = size
    text = "\n".join(lines)
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text + "\n")


if __name__ == "__main__":
    main()
