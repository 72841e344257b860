#!/usr/bin/env python3
"""Builds the setup program with one build choice after another and prints what each buys.

Each step is a clean build (target orvane-worker-setup, MinSizeRel, the given small payload) of
the given source tree in its own directory under --work, with the step's flags added on the
command line through CMAKE_CXX_FLAGS / CMAKE_EXE_LINKER_FLAGS: the project's files are not
changed. Steps are cumulative unless marked "alone" (measured against the baseline only).

usage: size_ladder.py --source DIR --payload FILE --work DIR [--jobs N] [--out FILE.md]
"""
import argparse
import os
import shutil
import subprocess
import sys

TERMINATE = "-Wl,--defsym=_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort"
THROWS = " ".join("-Wl,--defsym=%s=abort" % s for s in (
    "_ZSt20__throw_length_errorPKc", "_ZSt17__throw_bad_allocv",
    "_ZSt28__throw_bad_array_new_lengthv", "_ZSt19__throw_logic_errorPKc",
    "_ZSt24__throw_out_of_range_fmtPKcz"))

# name, cumulative?, extra C++ flags, extra link flags, toolchain (None: the project's), the
# MinSizeRel optimisation flags (None: CMake's "-Os -DNDEBUG")
STEPS = [
    ("as configured (-Os, gc-sections, -s, win32 threads)", True, "", "", None, None),
    ("posix thread model instead of win32", False, "", "", "posix", None),
    ("-O2 instead of -Os", False, "", "", None, "-O2 -DNDEBUG"),
    ("no verbose terminate handler (link: handler = abort)", True, "", TERMINATE, None, None),
    ("-fno-asynchronous-unwind-tables", True, "-fno-asynchronous-unwind-tables", "", None, None),
    ("-fno-threadsafe-statics", True, "-fno-threadsafe-statics", "", None, None),
    ("-fno-rtti", True, "-fno-rtti", "", None, None),
    ("-flto", True, "-flto", "-flto", None, None),
    ("library __throw_* helpers = abort (link)", True, "", THROWS, None, None),
    ("-fno-exceptions", True, "-fno-exceptions", "", None, None),
    ("-fno-asynchronous-unwind-tables, now without exceptions", True,
     "-fno-asynchronous-unwind-tables", "", None, None),
]


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
    cxx, link = "", ""
    baseline = previous = None
    for index, (label, cumulative, add_cxx, add_link, toolchain, opt) in enumerate(STEPS):
        step_cxx = (cxx + " " + add_cxx).strip() if cumulative else add_cxx
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
