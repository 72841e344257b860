#!/usr/bin/env python3
"""Runs the installer benchmark under Wine and prints its table. Python 3 standard library only.

Three programs do the same silent per-user job: ours (the setup program), the NSIS peer and the
floor (a plain Win32 program that only writes the same files and registry values). Every run gets
a fresh `cp -a` copy of one template prefix with its own warm Wine server (`wineserver -p` and a
warm-up program first, so neither server nor session start-up is measured). In each copy the
program installs silently (timed, peak memory taken by /usr/bin/time -v), the result is checked,
then the installed uninstaller removes silently (timed) and the result is checked again. The
programs take turns in rotating order. Figures are printed, never judged against a time limit;
the targets are reported as met or not met.

A run that does not do the whole job (a non-zero exit status or a failed check) is kept for a
post-mortem under --keep (default WORK/kept): its logs (stdout, stderr, /usr/bin/time's output),
its exit status, whether the prefix's own wineserver was still alive, the prefix's processes, its
registry files and the installed folder's listing; then the failed step is repeated once, untimed,
under strace with Wine's default debug channels, and the repeat's outcome is recorded too.

usage: run_bench.py --ours EXE --nsis EXE --floor EXE --payload EXE --warm-up EXE
                    --work DIR [--floor-broadcast EXE] [--runs N] [--template DIR]
                    [--builds FILE.json] [--nsis-stub FILE] [--keep DIR] [--out FILE.md]

--floor-broadcast adds a fourth program: the floor built to also send the environment broadcast,
which shows what that one required platform call costs.
"""
import argparse
import glob
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

WINE_DIR = "/usr/lib/wine"
FOLDER_NAME = "Orvane Worker"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvaneWorker"
NINE_VALUES = ["DisplayName", "DisplayVersion", "Publisher", "InstallLocation", "DisplayIcon",
               "UninstallString", "QuietUninstallString", "NoModify", "NoRepair"]
# How each program is started: install arguments; removal arguments for its uninstall.exe.
PROGRAMS = {
    "ours": (["/S"], ["--uninstall", "--silent"]),
    "nsis": (["/S"], ["/S"]),
    "floor": (["/S"], ["--uninstall"]),
    "floor_bc": (["/S"], ["--uninstall"]),
}
LABELS = {"ours": "ours", "nsis": "NSIS (lzma solid, amd64)", "floor": "floor",
          "floor_bc": "floor + broadcast"}
TARGET_STUB_BYTES = 64 * 1024
TARGET_BUILD_SECONDS = 5.0


def log(*parts):
    print("bench:", *parts, file=sys.stderr, flush=True)


class Prefix:
    """One prefix copy with its own persistent Wine server."""

    def __init__(self, template, path):
        self.path = path
        subprocess.run(["cp", "-a", template, path], check=True)
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all",
                        PATH=WINE_DIR + ":" + os.environ.get("PATH", ""))
        self.env.pop("DISPLAY", None)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self.servers = self.processes("wineserver")
        users = [u for u in glob.glob(os.path.join(path, "drive_c", "users", "*"))
                 if os.path.basename(u) != "Public"]
        self.user = os.path.basename(users[0])
        self.folder = os.path.join(path, "drive_c", "users", self.user, "AppData", "Local",
                                   "Programs", FOLDER_NAME)
        self.folder_win = "C:\\users\\%s\\AppData\\Local\\Programs\\%s" % (self.user, FOLDER_NAME)

    def wine(self, args, log_name):
        with open(log_name, "wb") as out:
            return subprocess.run(["wine64"] + args, env=self.env, stdout=out,
                                  stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL).returncode

    def timed(self, args, logs):
        """Wall time (s), peak resident set (KiB) and exit status of one wine64 run; its stdout,
        stderr and /usr/bin/time's report go to logs + .out, .err and .time."""
        with open(logs + ".out", "wb") as out, open(logs + ".err", "wb") as err:
            start = time.perf_counter()
            status = subprocess.run(["/usr/bin/time", "-v", "-o", logs + ".time", "wine64"] + args,
                                    env=self.env, stdout=out, stderr=err,
                                    stdin=subprocess.DEVNULL).returncode
            wall = time.perf_counter() - start
        with open(logs + ".time") as f:
            rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", f.read()).group(1))
        return wall, rss, status, start

    def reg_query(self, key, log_name):
        with open(log_name, "wb") as out:
            done = subprocess.run(["wine64", "reg", "query", key], env=self.env, stdout=out,
                                  stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        with open(log_name, "rb") as f:
            return done.returncode, f.read().decode("utf-8", "replace")

    def processes(self, name_part):
        """Unix pids of this prefix's Windows processes whose command line contains name_part."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    if name_part.encode() not in f.read():
                        continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if ("WINEPREFIX=" + self.path).encode() not in f.read().split(b"\0"):
                        continue
            except OSError:
                continue
            found.append(int(entry))
        return found

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while self.processes("") and time.monotonic() < deadline:
            time.sleep(0.05)
        shutil.rmtree(self.path, ignore_errors=True)


def alive(pid):
    """True while the process exists and is not a zombie."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(") ", 1)[1][:1] != "Z"
    except (OSError, IndexError):
        return False


def vm_hwm_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            match = re.search(r"VmHWM:\s+(\d+) kB", f.read())
        return int(match.group(1)) if match else 0
    except OSError:
        return 0


def check_install(prefix, payload_size, logs):
    problems = []
    target = os.path.join(prefix.folder, "orvane-worker.exe")
    if not os.path.isfile(target) or os.path.getsize(target) != payload_size:
        problems.append("orvane-worker.exe missing or of the wrong size")
    if not os.path.isfile(os.path.join(prefix.folder, "uninstall.exe")):
        problems.append("uninstall.exe missing")
    _, env_text = prefix.reg_query(r"HKCU\Environment", logs + ".env")
    path_line = [l for l in env_text.splitlines() if l.strip().startswith("Path ")]
    if not path_line or "REG_EXPAND_SZ" not in path_line[0] or prefix.folder_win not in path_line[0]:
        problems.append("Path lacks the folder as REG_EXPAND_SZ")
    status, key_text = prefix.reg_query(UNINSTALL_KEY, logs + ".key")
    missing = [v for v in NINE_VALUES if not re.search(r"^\s+%s\s" % v, key_text, re.M)]
    if status != 0 or missing:
        problems.append("uninstall entry lacks " + (", ".join(missing) or "its key"))
    return problems


def check_removal(prefix, logs):
    problems = []
    if os.path.exists(os.path.join(prefix.folder, "orvane-worker.exe")):
        problems.append("orvane-worker.exe still there")
    _, env_text = prefix.reg_query(r"HKCU\Environment", logs + ".env")
    if prefix.folder_win.lower() in env_text.lower():
        problems.append("Path still names the folder")
    status, _ = prefix.reg_query(UNINSTALL_KEY, logs + ".key")
    if status == 0:
        problems.append("uninstall entry still there")
    return problems


def wait_gone(path, timeout):
    start = time.perf_counter()
    while os.path.exists(path):
        if time.perf_counter() - start > timeout:
            return None
        time.sleep(0.002)
    return time.perf_counter() - start


def tail_text(path, limit=300):
    """The last bytes of a log file as one line of text ("empty" when there are none)."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return "missing"
    text = " | ".join(l for l in data.decode("utf-8", "replace").splitlines() if l.strip())
    return (text[-limit:] if len(text) > limit else text) or "empty"


def keep_failed(prefix, step, args, result, logs, keep_dir, check):
    """Keeps what explains a failed step (see the module's description) under keep_dir, repeats
    the step once under strace and returns a one-line summary for the report."""
    dest = os.path.join(keep_dir, "%s-run%02d-%s-%s" % (
        time.strftime("%Y%m%d-%H%M%S"), result["run"], result["program"], step))
    os.makedirs(dest, exist_ok=True)
    servers = [(pid, alive(pid)) for pid in prefix.servers]
    with open(os.path.join(dest, "processes.txt"), "w") as f:
        f.write("wineserver at the start of the run: %s\n" % (
            ", ".join("%d (%s now)" % (p, "alive" if a else "gone") for p, a in servers)
            or "none found"))
        f.write("load average: %.2f %.2f %.2f\n" % os.getloadavg())
        for pid in prefix.processes(""):
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as c:
                    f.write("%d %s\n" % (pid, c.read().replace(b"\0", b" ").decode("utf-8", "replace")))
            except OSError:
                pass
    for path in glob.glob(logs + "-*"):
        shutil.copy(path, dest)
    for reg in glob.glob(os.path.join(prefix.path, "*.reg")):
        shutil.copy(reg, dest)
    with open(os.path.join(dest, "folder.txt"), "w") as f:
        for root, _, files in os.walk(prefix.folder):
            for name in files:
                path = os.path.join(root, name)
                f.write("%d %s\n" % (os.path.getsize(path), os.path.relpath(path, prefix.folder)))
    # The repeat: untimed, with Wine's default debug channels, under strace where there is one.
    env = dict(prefix.env)
    env.pop("WINEDEBUG", None)
    command = ["wine64"] + args
    if shutil.which("strace"):
        command = ["strace", "-f", "-tt", "-o", os.path.join(dest, "repeat.strace")] + command
    with open(os.path.join(dest, "repeat.out"), "wb") as out, \
            open(os.path.join(dest, "repeat.err"), "wb") as err:
        repeat_status = subprocess.run(command, env=env, stdout=out, stderr=err,
                                       stdin=subprocess.DEVNULL).returncode
    time.sleep(3)  # the deferred rmdir of a removal, and NSIS's temp copy, end within this
    repeat_problems = check(os.path.join(dest, "repeat"))
    status = result[step + "_status"]
    summary = ("%s: exit status %d after %.0f ms, peak %.1f MiB, problems: %s; stderr: %s; "
               "wineserver %s; repeat under strace: exit status %d, checks: %s; kept in %s" % (
                   step, status, result[{"install": "install_s", "remove": "remove_done_s"}[step]]
                   * 1e3, result[step + "_kib"] / 1024,
                   "; ".join(result[step + "_problems"]) or "none",
                   tail_text(logs + "-%s.err" % step),
                   ", ".join("%d %s" % (p, "alive" if a else "gone") for p, a in servers)
                   or "not found",
                   repeat_status, "; ".join(repeat_problems) or "passed", dest))
    with open(os.path.join(dest, "summary.txt"), "w") as f:
        f.write(summary + "\n")
    log("run %d %s did not do the whole job: %s" % (result["run"], result["program"], summary))
    return summary


def one_run(name, exe, template, work, index, payload_size, warm_up, wait_folder, keep_dir):
    install_args, removal_args = PROGRAMS[name]
    logs = os.path.join(work, "logs", "%02d-%s" % (index, name))
    prefix = Prefix(template, os.path.join(work, "prefix-%02d-%s" % (index, name)))
    result = {"program": name, "run": index, "kept": []}
    try:
        prefix.wine([warm_up], logs + "-warm.log")
        wall, rss, status, _ = prefix.timed([exe] + install_args, logs + "-install")
        result.update(install_s=wall, install_kib=rss, install_status=status)
        result["install_problems"] = check_install(prefix, payload_size, logs + "-install")
        if status != 0 or result["install_problems"]:
            result["kept"].append(keep_failed(
                prefix, "install", [exe] + install_args, result, logs, keep_dir,
                lambda where: check_install(prefix, payload_size, where)))

        uninstaller = prefix.folder_win + "\\uninstall.exe"
        wall, rss, status, started = prefix.timed([uninstaller] + removal_args,
                                                  logs + "-remove")
        result.update(remove_exit_s=wall, remove_kib=rss, remove_status=status,
                      remove_done_s=wall)
        if name == "nsis":
            # NSIS's uninstaller copies itself to the temp folder (~nsuN.tmp, as Un.exe), starts
            # the copy and exits at once; the copy does the work. Follow it to its end, keeping
            # its peak memory.
            helpers, helper_kib = prefix.processes("\\~nsu"), 0
            while helpers:
                helper_kib = max([helper_kib] + [vm_hwm_kib(p) for p in helpers])
                helpers = [p for p in helpers if alive(p)]
                time.sleep(0.002)
            helper_end = time.perf_counter() - started
            gone = wait_gone(prefix.folder, 10.0)
            folder_end = None if gone is None else time.perf_counter() - started
            result["remove_done_s"] = max(wall, helper_end, folder_end or 0)
            result["remove_kib"] = max(rss, helper_kib)
            result["remove_helper_kib"] = helper_kib
        elif wait_folder:
            gone = wait_gone(prefix.folder, 10.0)
            result["folder_gone_s"] = None if gone is None else time.perf_counter() - started
        result["remove_problems"] = check_removal(prefix, logs + "-remove")
        if status != 0 or result["remove_problems"]:
            result["kept"].append(keep_failed(
                prefix, "remove", [uninstaller] + removal_args, result, logs, keep_dir,
                lambda where: check_removal(prefix, where)))
    finally:
        prefix.close()
    return result


def make_template(path):
    log("making the template prefix", path)
    env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all",
               PATH=WINE_DIR + ":" + os.environ.get("PATH", ""))
    env.pop("DISPLAY", None)
    subprocess.run(["wine64", "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True)
    subprocess.run(["wineserver", "-w"], env=env, check=True)


def median_range(values, scale=1.0, digits=0):
    values = [v * scale for v in values if v is not None]
    if not values:
        return "n/a", None
    med = statistics.median(values)
    fmt = "%%.%df" % digits
    return "%s (%s–%s)" % (fmt % med, fmt % min(values), fmt % max(values)), med


def machine_line():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = re.search(r"model name\s*:\s*(.*)", f.read()).group(1).strip()
    except (OSError, AttributeError):
        pass
    wine = subprocess.run([os.path.join(WINE_DIR, "wine64"), "--version"], capture_output=True,
                          text=True).stdout.strip()
    load = os.getloadavg()
    return ("%s, nproc %d, %s, %s; load average %.2f %.2f %.2f at the end; %s" %
            (platform.node() or "host", os.cpu_count() or 0, cpu, wine or "wine ?", *load,
             time.strftime("%Y-%m-%d %H:%M %Z")))


def main():
    parser = argparse.ArgumentParser()
    for name in ("ours", "nsis", "floor", "payload", "warm-up", "work"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--floor-broadcast")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--template")
    parser.add_argument("--builds", help="JSON with the build times measured by scripts/bench")
    parser.add_argument("--nsis-stub", default="/usr/share/nsis/Stubs/lzma_solid-amd64-unicode")
    parser.add_argument("--keep", help="where failed runs are kept (default WORK/kept)")
    parser.add_argument("--out")
    args = parser.parse_args()

    work = os.path.abspath(args.work)
    keep_dir = os.path.abspath(args.keep or os.path.join(work, "kept"))
    os.makedirs(os.path.join(work, "logs"), exist_ok=True)
    template = args.template or os.path.join(work, "template")
    if not os.path.isdir(template):
        make_template(template)
    exes = {"ours": os.path.abspath(args.ours), "nsis": os.path.abspath(args.nsis),
            "floor": os.path.abspath(args.floor)}
    if args.floor_broadcast:
        exes["floor_bc"] = os.path.abspath(args.floor_broadcast)
    payload_size = os.path.getsize(args.payload)
    warm_up = os.path.abspath(args.warm_up)

    results = []
    names = [n for n in PROGRAMS if n in exes]
    started = time.monotonic()
    for index in range(args.runs):
        shift = index % len(names)
        order = names[shift:] + names[:shift]
        for name in order:
            r = one_run(name, exes[name], template, work, index, payload_size, warm_up,
                        wait_folder=(index == 0), keep_dir=keep_dir)
            results.append(r)
            problems = r["install_problems"] + r["remove_problems"] + [
                "%s exit status %d" % (step, r[step + "_status"])
                for step in ("install", "remove") if r[step + "_status"] != 0]
            log("run %2d %-5s install %6.0f ms %6d KiB  removal %6.0f ms%s" %
                (index, name, r["install_s"] * 1e3, r["install_kib"], r["remove_done_s"] * 1e3,
                 ("  PROBLEM: " + "; ".join(problems)) if problems else ""))
    elapsed = time.monotonic() - started

    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    builds = {}
    if args.builds and os.path.exists(args.builds):
        with open(args.builds) as f:
            builds = json.load(f)

    text = report(results, exes, payload_size, args, builds, elapsed)
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text + "\n")
    return 0


def did_the_job(r):
    return (not r["install_problems"] and not r["remove_problems"] and r["install_status"] == 0
            and r["remove_status"] == 0)


def report(results, exes, payload_size, args, builds, elapsed):
    by = {n: [r for r in results if r["program"] == n] for n in PROGRAMS if n in exes}
    rows, med = [], {}
    for n in by:
        rs = by[n]
        cells = []
        for key, scale, digits in (("install_s", 1e3, 0), ("install_kib", 1 / 1024, 1),
                                   ("remove_done_s", 1e3, 0), ("remove_kib", 1 / 1024, 1)):
            text, m = median_range([r.get(key) for r in rs], scale, digits)
            cells.append(text)
            med[(n, key)] = m
        ok = sum(1 for r in rs if did_the_job(r))
        rows.append("| %s | %s | %s | %s | %s | %s | %d/%d |" % (
            LABELS[n],
            "{:,}".format(os.path.getsize(exes[n])), *cells, ok, len(rs)))

    def ratio(a, b, key):
        if med.get((a, key)) and med.get((b, key)):
            return med[(a, key)] / med[(b, key)]
        return None

    def fmt_ratio(x):
        return "n/a" if x is None else "%.2f" % x

    ours_size = os.path.getsize(exes["ours"])
    floor_size = os.path.getsize(exes["floor"])
    stub = ours_size - payload_size
    nsis_stub = os.path.getsize(args.nsis_stub) if os.path.exists(args.nsis_stub) else None
    lines = [
        "Machine: " + machine_line(),
        "Runs: %d per program, each in a fresh prefix copy with a warm server; bench time %.0f s."
        % (args.runs, elapsed),
        "Payload: orvane-worker.exe, {:,} bytes.".format(payload_size),
        "",
        "| program | installer bytes | install ms, median (min–max) | install peak MiB | "
        "removal ms | removal peak MiB | runs that did the job |",
        "|---|---:|---:|---:|---:|---:|---:|",
        *rows,
        "",
        "Removal: until the uninstaller exits (ours, floor); NSIS: until its temp copy (Un.exe), "
        "which does the work, has ended and the folder is gone (its peak is the larger of the two).",
    ]
    gone = [r.get("folder_gone_s") for r in results if r.get("folder_gone_s")]
    if gone:
        lines.append("Ours and floor leave the folder to the deferred cmd: gone %s ms after the "
                     "start of removal (first run; the ping's 2 s are by design)."
                     % " / ".join("%.0f" % (g * 1e3) for g in gone))
    r_in_nsis = ratio("ours", "nsis", "install_s")
    r_in_floor = ratio("ours", "floor", "install_s")
    r_rm_nsis = ratio("ours", "nsis", "remove_done_s")
    r_rm_floor = ratio("ours", "floor", "remove_done_s")
    r_mem_nsis = ratio("ours", "nsis", "install_kib")
    r_mem_floor = ratio("ours", "floor", "install_kib")
    r_rmem_nsis = ratio("ours", "nsis", "remove_kib")
    r_in_bc = ratio("ours", "floor_bc", "install_s")
    r_rm_bc = ratio("ours", "floor_bc", "remove_done_s")
    lines += [
        "",
        "Ratios of medians: install time ours/NSIS %s, ours/floor %s; removal time ours/NSIS %s, "
        "ours/floor %s; install peak memory ours/NSIS %s, ours/floor %s; removal peak memory "
        "ours/NSIS %s." % tuple(fmt_ratio(x) for x in (r_in_nsis, r_in_floor, r_rm_nsis,
                                                       r_rm_floor, r_mem_nsis, r_mem_floor,
                                                       r_rmem_nsis)),
    ]
    if "floor_bc" in exes:
        lines.append("Against the floor + broadcast: install time ours/floor+broadcast %s, removal %s; "
                     "the broadcast alone costs the floor %s ms at install (medians)." % (
                         fmt_ratio(r_in_bc), fmt_ratio(r_rm_bc),
                         "n/a" if not med.get(("floor_bc", "install_s")) else "%.0f" % (
                             med[("floor_bc", "install_s")] - med[("floor", "install_s")])))
    lines += [
        "Stub overhead (installer − payload): ours {:,} bytes; floor {:,} bytes; NSIS stub {} "
        "bytes (its installer carries the payload LZMA-compressed).".format(
            stub, floor_size - payload_size,
            "{:,}".format(nsis_stub) if nsis_stub else "n/a"),
    ]
    added = None
    if builds:
        added = builds.get("added_s")
        lines.append("Build (target orvane-worker-setup, -j2): clean with the 3.5 MB payload "
                     "%.1f s, clean with a 1 KiB payload %.1f s; after changing only the payload: "
                     "%.2f s vs %.2f s (median of 3). Carrying it adds %.2f s (payload-dependent "
                     "steps: assemble, archive, link); the two clean builds differ by %.1f s "
                     "(noisy on a shared machine)." % (
                         builds.get("clean_with_s", 0), builds.get("clean_without_s", 0),
                         builds.get("payload_only_with_s", 0),
                         builds.get("payload_only_without_s", 0), added or 0,
                         builds.get("clean_added_s", 0)))

    def verdict(ok):
        return "n/a" if ok is None else ("met" if ok else "NOT met")

    lines += [
        "",
        "Targets (reported, not asserted):",
        "- silent install at most half NSIS's median time: %s (ours/NSIS %s)"
        % (verdict(None if r_in_nsis is None else r_in_nsis <= 0.5), fmt_ratio(r_in_nsis)),
        "- stub overhead at most 64 KiB: %s ({:,} bytes)".format(stub)
        % verdict(stub <= TARGET_STUB_BYTES),
        "- peak memory no higher than NSIS's: %s (install %s, removal %s)"
        % (verdict(None if r_mem_nsis is None or r_rmem_nsis is None
                   else r_mem_nsis <= 1.0 and r_rmem_nsis <= 1.0),
           fmt_ratio(r_mem_nsis), fmt_ratio(r_rmem_nsis)),
        "- install time within 1.2x of the floor: %s against the plain floor (%s); %s against "
        "the floor + broadcast (%s), which also sends the broadcast the real program must send"
        % (verdict(None if r_in_floor is None else r_in_floor <= 1.2), fmt_ratio(r_in_floor),
           verdict(None if r_in_bc is None else r_in_bc <= 1.2), fmt_ratio(r_in_bc)),
        "- carrying the payload adds at most 5 s to a build: %s (%s s)"
        % (verdict(None if added is None else added <= TARGET_BUILD_SECONDS),
           "n/a" if added is None else "%.2f" % added),
    ]
    bad = [r for r in results if not did_the_job(r)]
    if bad:
        lines.append("")
        lines.append("NOT EVERY RUN DID THE WHOLE JOB: this table is not to be recorded (the "
                     "failed runs' figures are in it). The runs that did not:")
        for r in bad:
            lines.append("- run %d %s: %s" % (r["run"], r["program"], " / ".join(r["kept"])))
    return "\n".join(lines)


if __name__ == "__main__":
    sys.exit(main())
