#!/usr/bin/env python3
"""Builds the setup program with one build choice after another and prints what each buys.

Each step is a clean build (target orvane-worker-setup, MinSizeRel, the given small payload) of
the given source tree in its own directory under --work, with the step's flags added on the
command line through CMAKE_CXX_FLAGS / CMAKE_EXE_LINKER_FLAGS: the project's files are not
changed; the objects of bench/size/*.cpp join the link where a step names them. Steps are
cumulative unless marked "alone" (measured against the baseline only); a step that does not build
is skipped and the next one builds on the last that did.

usage: size_ladder.py --source DIR --payload FILE --work DIR [--jobs N] [--out FILE.md]
"""
import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# Objects built from bench/size/*.cpp and added to the link (see each file for what it replaces).
OBJECTS = ("lean_terminate", "lean_throw_helpers", "lean_new_delete")

# name, cumulative?, extra C++ flags, extra link flags, toolchain (None: the project's), the
# MinSizeRel optimisation flags (None: CMake's "-Os -DNDEBUG"). "{obj:NAME}" in the link flags
# stands for the built object of bench/size/NAME.cpp.
STEPS = [
    ("as configured (-Os, gc-sections, -s, win32 threads)", True, "", "", None, None),
    ("posix thread model instead of win32", False, "", "", "posix", None),
    ("-O2 instead of -Os", False, "", "", None, "-O2 -DNDEBUG"),
    ("-fno-asynchronous-unwind-tables, exceptions still on", False,
     "-fno-asynchronous-unwind-tables", "", None, None),
    ("short terminate handler (bench/size/lean_terminate.cpp)", True, "", "{obj:lean_terminate}",
     None, None),
    ("-fno-threadsafe-statics", True, "-fno-threadsafe-statics", "", None, None),
    ("-fno-rtti", True, "-fno-rtti", "", None, None),
    ("-flto", True, "-flto", "-flto", None, None),
    ("library throw helpers = abort (bench/size/lean_throw_helpers.cpp)", True, "",
     "{obj:lean_throw_helpers}", None, None),
    ("-fno-exceptions", True, "-fno-exceptions", "", None, None),
    ("-fno-asynchronous-unwind-tables", True, "-fno-asynchronous-unwind-tables", "", None, None),
    ("operator new/delete: malloc, abort when out of memory (bench/size/lean_new_delete.cpp)",
     True, "", "{obj:lean_new_delete}", None, None),
]


def build_objects(work):
    """Compiles bench/size/*.cpp for the link; returns {name: object path}."""
    cxx = shutil.which("x86_64-w64-mingw32-g++-win32") or "x86_64-w64-mingw32-g++-posix"
    objects = {}
    for name in OBJECTS:
        obj = os.path.join(work, name + ".obj")
        subprocess.run([cxx, "-std=c++20", "-Os", "-fno-exceptions", "-ffunction-sections",
                        "-Wall", "-Wextra", "-c", os.path.join(HERE, "size", name + ".cpp"),
                        "-o", obj], check=True)
        objects[name] = obj
    return objects


def build(source, work, name, cxx_flags, link_flags, toolchain, opt_flags, payload, jobs):
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
                             "-DCMAKE_EXE_LINKER_FLAGS=" + ("-static " + link_flags).strip()],
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
    objects = build_objects(os.path.abspath(args.work))
    cxx, link = "", ""
    baseline = previous = None
    for index, (label, cumulative, add_cxx, add_link, toolchain, opt) in enumerate(STEPS):
        step_cxx = (cxx + " " + add_cxx).strip() if cumulative else add_cxx
        for name, obj in objects.items():
            add_link = add_link.replace("{obj:%s}" % name, obj)
        step_link = (link + " " + add_link).strip() if cumulative else add_link
        size, log = build(os.path.abspath(args.source), args.work, "step%02d" % index, step_cxx,
                          step_link, toolchain, opt, payload, args.jobs)
        if size is None:
            lines.append("| %s | does not build (see %s) | | |" % (label, os.path.basename(log)))
            print("size ladder:", label, "failed, see", log, file=sys.stderr, flush=True)
            continue
        against = previous if cumulative else baseline
        bought = "" if against is None else "{:+,}".format(size - against)
        lines.append("| %s%s | {:,} | {:,} | %s |".format(size, size - payload_size)
                     % (label, "" if cumulative else " (alone, vs baseline)", bought))
        print("size ladder:", label, size, file=sys.stderr, flush=True)
        if cumulative:
            cxx, link, previous = step_cxx, step_link, size
            if baseline is None:
                baseline = size
    text = "\n".join(lines)
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text + "\n")


if __name__ == "__main__":
    main()
