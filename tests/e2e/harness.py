"""Runs the real setup program under Wine, in throwaway copies of one template prefix.

One test run owns a work directory holding a template prefix and the state of one Xvfb server
with several screens. Every case takes its own `cp -a` copy of the template (a Prefix), locks one
screen of the Xvfb server for itself (so that its message boxes and screenshots never overlap
another case's), starts a persistent wineserver for the copy (every program then starts in about
50 ms), and kills that server and deletes the copy when it is done.

Facts about Wine 8 that shape this file:
- A program started from the Linux side gets an environment Wine builds from the registry:
  HKCU\\Volatile Environment (which sets LOCALAPPDATA and wins over the Unix environment and
  HKCU\\Environment), and PATH as the machine's Path + ";" + the user's. A program a Windows
  program starts with an environment block of its own (CreateProcessW's lpEnvironment) gets
  exactly that block; the Windows test programs (tests/windows) pass LOCALAPPDATA so.
- A program's output is read from files, never from pipes: the setup program's deferred command
  interpreter inherits its handles and would keep a pipe open.
"""

from __future__ import annotations

import contextlib
import fcntl
import hashlib
import json
import os
import select
import shutil
import signal
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path

WINE_DIR = "/usr/lib/wine"
WINE64 = f"{WINE_DIR}/wine64"
WINESERVER = f"{WINE_DIR}/wineserver"
SCREENS = 4  # Xvfb screens, one per concurrently running case

REG_SZ = 1
REG_EXPAND_SZ = 2
REG_DWORD = 4

SETUP_NAME = "orvane-worker-setup.exe"
WINE_CACHE_KEY = "software\\wine\\temporary system parameters"
HELPERS = ("box_driver", "reg_dump", "reg_set")


class HarnessError(Exception):
    """The harness itself could not do what a case asked (not a finding about the program)."""


def utf16(text: str) -> bytes:
    """A registry string value's bytes: UTF-16LE with its terminator."""
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def from_utf16(data: bytes) -> str:
    return data.decode("utf-16-le", "surrogatepass")


def dword(value: int) -> bytes:
    return value.to_bytes(4, "little")


@dataclass
class Config:
    setup: Path  # the setup program as built
    payload: Path  # the program it carries
    helpers: Path  # folder of the helper .exe files
    work: Path  # this run's work directory
    source: Path  # the source tree (for docs/screens)
    screenshots: bool = False
    keep: bool = False  # keep each case's prefix copy

    @property
    def state_file(self) -> Path:
        return self.work / "state.json"

    @property
    def template(self) -> Path:
        return self.work / "template"


def wine_env(prefix: Path, display: str) -> dict:
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE") and k != "LOCALAPPDATA"}
    env.update(
        PATH=f"{WINE_DIR}:{env.get('PATH', '/usr/bin:/bin')}",
        WINEPREFIX=str(prefix),
        WINEDEBUG="-all",
        # No desktop entries in the real home, no Mono or Gecko installer prompts.
        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml=",
        DISPLAY=display,
        LC_ALL="C.UTF-8",
    )
    return env


# ---------------------------------------------------------------------------------------------
# The run: Xvfb and the template prefix (the CTest fixture's setup and cleanup)


def _start_xvfb(work: Path) -> tuple[str, int]:
    # Xvfb picks the display itself (-displayfd) and names it once it listens: a number whose
    # lock file is free here can still be taken by a server in another root on this machine,
    # which shares the abstract socket names, and a probe would then reach that server instead.
    screens = []
    for s in range(SCREENS):
        screens += ["-screen", str(s), "1024x768x24"]
    read_end, write_end = os.pipe()
    with open(work / "xvfb.log", "ab") as log:
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), *screens, "-nolisten", "tcp"],
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                pass_fds=(write_end,), start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 20
    with os.fdopen(read_end, "rb", buffering=0) as named:
        while not number.endswith(b"\n") and select.select([named], [], [], max(0.0, deadline - time.monotonic()))[0]:
            chunk = named.read(16)
            if not chunk:
                break
            number += chunk
    if not number.strip().isdigit() or xvfb.poll() is not None:
        if xvfb.poll() is None:
            xvfb.kill()
        raise HarnessError(f"Xvfb named no display (it said {number!r}; see {work / 'xvfb.log'})")
    display = f":{int(number)}"
    probe = subprocess.run(["xdotool", "getdisplaygeometry"],
                           env=dict(os.environ, DISPLAY=f"{display}.{SCREENS - 1}"),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if probe.returncode != 0 or xvfb.poll() is not None:
        if xvfb.poll() is None:
            xvfb.kill()
        raise HarnessError(f"Xvfb on {display} does not answer")
    return display, xvfb.pid


def _make_template(cfg: Config, display: str) -> str:
    template = cfg.template
    env = wine_env(template, f"{display}.0")
    with open(cfg.work / "template.log", "ab") as log:
        subprocess.run([WINE64, "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                       stdout=log, stderr=log, timeout=300, check=True)
        settings = [
            # Unmanaged windows: otherwise each box stalls about 2 s when it closes.
            ["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f"],
            # A crashing program ends instead of waiting behind a crash dialog.
            ["reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog",
             "/t", "REG_DWORD", "/d", "0", "/f"],
        ]
        for command in settings:
            subprocess.run([WINE64, *command], env=env, stdin=subprocess.DEVNULL,
                           stdout=log, stderr=log, timeout=60, check=True)
        subprocess.run([WINESERVER, "-w"], env=env, timeout=120, check=True)
    users = template / "drive_c" / "users"
    names = [p.name for p in users.iterdir() if p.name != "Public"]
    if len(names) != 1:
        raise HarnessError(f"expected one user profile in the template, found {names}")
    # Wine links Desktop, Documents, Downloads, ... to the Unix home. Copies would share (and
    # cases would write into) the real home, so each becomes a folder of its own.
    for profile in users.iterdir():
        for entry in profile.iterdir():
            if entry.is_symlink():
                entry.unlink()
                entry.mkdir()
    return names[0]


def prepare(cfg: Config) -> dict:
    """Starts Xvfb and makes the template prefix; returns the run's state."""
    if cfg.state_file.exists():
        finish(cfg)
    cfg.work.mkdir(parents=True, exist_ok=True)
    display, pid = _start_xvfb(cfg.work)
    state = {"display": display, "xvfb_pid": pid}
    cfg.state_file.write_text(json.dumps(state))
    with _screen_lock(cfg.work, 0):
        state["user"] = _make_template(cfg, display)
    cfg.state_file.write_text(json.dumps(state))
    return state


def load_state(cfg: Config) -> dict | None:
    try:
        state = json.loads(cfg.state_file.read_text())
    except (OSError, ValueError):
        return None
    if "user" not in state or not cfg.template.is_dir() or not _is_xvfb(state["xvfb_pid"]):
        return None
    return state


def _is_xvfb(pid: int) -> bool:
    try:
        return Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0].endswith(b"Xvfb")
    except OSError:
        return False


def finish(cfg: Config) -> None:
    """Stops every wineserver of the run and its Xvfb, and deletes the work directory."""
    try:
        state = json.loads(cfg.state_file.read_text())
    except (OSError, ValueError):
        state = {}
    prefixes = [cfg.template]
    cases = cfg.work / "cases"
    if cases.is_dir():
        prefixes += list(cases.iterdir())
    for prefix in prefixes:
        if (prefix / "system.reg").exists():
            subprocess.run([WINESERVER, "-k"], env=wine_env(prefix, ""),
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    pid = state.get("xvfb_pid")
    if pid and _is_xvfb(pid):
        os.kill(pid, signal.SIGTERM)
    shutil.rmtree(cfg.work, ignore_errors=True)


@contextlib.contextmanager
def _screen_lock(work: Path, index: int):
    with open(work / f"screen-{index}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield index


@contextlib.contextmanager
def _any_screen(work: Path):
    """Locks the first free Xvfb screen for the caller, waiting for one if all are taken."""
    while True:
        for index in range(SCREENS):
            lock = open(work / f"screen-{index}.lock", "w")
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                lock.close()
                continue
            try:
                yield index
            finally:
                lock.close()
            return
        time.sleep(0.2)


# ---------------------------------------------------------------------------------------------
# One case's prefix


@dataclass
class Run:
    status: int
    stdout: bytes
    stderr: bytes


@dataclass
class SetupRun(Run):
    boxes: list = field(default_factory=list)  # what the box driver saw, one dict per box
    driver_status: int | None = None


class Prefix:
    """A copy of the template with its own persistent wineserver, for one case.

    Windows paths are given as text ("C:\\users\\..."); `unix()` maps them to the copy's files.
    """

    def __init__(self, cfg: Config, state: dict, name: str):
        self.cfg = cfg
        self.name = name
        self.user = state["user"]
        self.root = cfg.work / "cases" / name
        self._stack = contextlib.ExitStack()
        self._count = 0
        self._background: list[subprocess.Popen] = []
        try:
            self._open(state)
        except BaseException:
            self.close()
            raise

    # Well-known places
    @property
    def profile(self) -> str:
        return f"C:\\users\\{self.user}"

    @property
    def local_app_data(self) -> str:
        return self.profile + r"\AppData\Local"

    @property
    def folder(self) -> str:
        """The install folder for Wine's own LOCALAPPDATA."""
        return self.local_app_data + r"\Programs\Orvane Worker"

    @property
    def downloads(self) -> str:
        return self.profile + r"\Downloads"

    @property
    def setup_exe(self) -> str:
        """The setup program as a user would start it: from the download folder."""
        return self.downloads + "\\" + SETUP_NAME

    def helper(self, name: str) -> str:
        return f"C:\\e2e\\{name}.exe"

    def _open(self, state: dict) -> None:
        if self.root.exists():
            self._kill_server()
            shutil.rmtree(self.root)
        self.root.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["cp", "-a", str(self.cfg.template), str(self.root)], check=True)
        screen = self._stack.enter_context(_any_screen(self.cfg.work))
        self.display = f"{state['display']}.{screen}"
        self.env = wine_env(self.root, self.display)
        self.logs = self.root / "e2e-logs"
        self.logs.mkdir()
        subprocess.run([WINESERVER, "-p"], env=self.env, check=True, timeout=30)
        helpers = self.root / "drive_c" / "e2e"
        helpers.mkdir()
        for name in HELPERS:
            shutil.copyfile(self.cfg.helpers / f"{name}.exe", helpers / f"{name}.exe")
        shutil.copyfile(self.cfg.setup, self.unix(self.setup_exe))

    def close(self) -> None:
        for process in self._background:
            if process.poll() is None:
                process.kill()
        self._kill_server()
        for process in self._background:
            with contextlib.suppress(Exception):
                process.wait(timeout=10)
        self._stack.close()
        if not self.cfg.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def _kill_server(self) -> None:
        subprocess.run([WINESERVER, "-k"], env=wine_env(self.root, ""),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def __enter__(self) -> "Prefix":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    # Paths

    def unix(self, windows_path: str, cwd: str = "C:\\") -> Path:
        """The Unix path of a Windows path in this prefix (drive C: only). Existing components
        are matched without regard to case, as Wine does; a relative path is taken against cwd."""
        path = windows_path.replace("/", "\\")
        if not (len(path) >= 2 and path[1] == ":"):
            path = cwd.rstrip("\\") + "\\" + path
        if path[0].upper() != "C":
            raise HarnessError(f"not on drive C: {windows_path!r}")
        current = self.root / "drive_c"
        for name in path[2:].split("\\"):
            if name in ("", "."):
                continue
            candidate = current / name
            if not candidate.exists() and current.is_dir():
                for entry in current.iterdir():
                    if entry.name.lower() == name.lower():
                        candidate = entry
                        break
            current = candidate
        return current

    def exists(self, windows_path: str) -> bool:
        return self.unix(windows_path).exists()

    def read(self, windows_path: str) -> bytes:
        return self.unix(windows_path).read_bytes()

    def write(self, windows_path: str, data: bytes) -> None:
        target = self.unix(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)

    def files(self, windows_path: str, cwd: str = "C:\\") -> dict:
        """Everything below a folder: relative path -> "dir", or (size, sha256) for a file."""
        top = self.unix(windows_path, cwd)
        listing = {}
        for base, dirs, names in os.walk(top):
            rel = Path(base).relative_to(top)
            for d in dirs:
                listing[str(rel / d)] = "dir"
            for n in names:
                p = Path(base) / n
                if p.is_symlink():
                    listing[str(rel / n)] = ("link", os.readlink(p))
                else:
                    data = p.read_bytes()
                    listing[str(rel / n)] = (len(data), hashlib.sha256(data).hexdigest()[:16])
        return listing

    def wait_gone(self, windows_path: str, seconds: float = 30, cwd: str = "C:\\") -> bool:
        """Polls until the path is gone; False when it is still there after `seconds`."""
        deadline = time.monotonic() + seconds
        while self.unix(windows_path, cwd).exists():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.1)
        return True

    # Running Windows programs

    def _files_for(self, label: str):
        self._count += 1
        stem = self.logs / f"{self._count:02d}-{label}"
        return stem.with_suffix(".out"), stem.with_suffix(".err")

    def _unix_cwd(self, cwd: str | None) -> Path:
        return self.unix(cwd) if cwd else self.root / "drive_c"

    def start(self, argv: list[str], cwd: str | None = None, label: str = "bg") -> subprocess.Popen:
        """Starts a Windows program in the background; it is killed when the prefix closes."""
        out, err = self._files_for(label)
        with open(out, "wb") as o, open(err, "wb") as e:
            process = subprocess.Popen([WINE64, *argv], cwd=self._unix_cwd(cwd), env=self.env,
                                       stdin=subprocess.DEVNULL, stdout=o, stderr=e)
        process.out_file, process.err_file = out, err
        self._background.append(process)
        return process

    def _finish(self, process: subprocess.Popen, timeout: float, what: str) -> Run:
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            boxes = self._peek_boxes()
            process.kill()
            process.wait()
            raise HarnessError(f"{what} did not end within {timeout:.0f} s"
                               + (f"; a box is up: {boxes}" if boxes else ""))
        return Run(status, process.out_file.read_bytes(), process.err_file.read_bytes())

    def run(self, argv: list[str], cwd: str | None = None, timeout: float = 60,
            label: str = "run") -> Run:
        """Runs a Windows program to its end; its Unix exit status and its output."""
        process = self.start(argv, cwd, label)
        self._background.remove(process)
        return self._finish(process, timeout, " ".join(argv))

    def _peek_boxes(self) -> list:
        out = self.root / "drive_c" / "e2e" / "peek.json"
        subprocess.run([WINE64, self.helper("box_driver"), "--out", r"C:\e2e\peek.json",
                        "--timeout-ms", "1000", "peek"], env=self.env, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return [json.loads(line) for line in out.read_text().splitlines()] if out.exists() else []

    def setup(self, *args: str, exe: str | None = None, cwd: str | None = None,
              answers: list[str] | None = None, before_press: dict | None = None,
              timeout: float = 60) -> SetupRun:
        """Runs the setup program (by default the downloaded copy) with `args`; see interact()."""
        argv = [exe or self.setup_exe, *args]
        if answers is None:
            run = self.run(argv, cwd, timeout, "setup")
            return SetupRun(run.status, run.stdout, run.stderr)
        return self.interact(argv, answers, cwd=cwd, before_press=before_press, timeout=timeout)

    def interact(self, argv: list[str], answers: list[str], cwd: str | None = None,
                 before_press: dict | None = None, timeout: float = 60) -> SetupRun:
        """Runs a Windows program and answers the setup boxes it brings up, in order ("yes",
        "no", "ok", "close"), recording what each box showed.

        `before_press` maps a box number (from 1) to a function called with the box while it is
        up, before it is answered. A program that is still running `timeout` seconds after it
        started fails with the contents of any box that is up.
        """
        self._count += 1
        e2e = self.root / "drive_c" / "e2e"
        boxes_file = e2e / f"boxes-{self._count}.json"
        driver_argv = [self.helper("box_driver"), "--out", "C:\\e2e\\" + boxes_file.name]
        hooks = dict(before_press or {})
        signal_dir = e2e / f"signals-{self._count}"
        if hooks:
            signal_dir.mkdir()
            driver_argv += ["--signal-dir", "C:\\e2e\\" + signal_dir.name]
        program = self.start(argv, cwd, "program")
        driver = self.start([*driver_argv, *answers], None, "box-driver")
        for process in (program, driver):
            self._background.remove(process)
        deadline = time.monotonic() + timeout
        for index in range(1, len(answers) + 1):
            if not hooks:
                break
            ready = signal_dir / f"box{index}.ready"
            while not ready.exists() and driver.poll() is None and program.poll() is None:
                if time.monotonic() > deadline:
                    break
                time.sleep(0.05)
            if not ready.exists():
                break
            if index in hooks:
                box = json.loads(boxes_file.read_text().splitlines()[index - 1])
                hooks[index](box)
            (signal_dir / f"box{index}.go").touch()
        while driver.poll() is None:
            if program.poll() is not None:
                # No box can appear any more: a driver still waiting for one has seen all.
                with contextlib.suppress(subprocess.TimeoutExpired):
                    driver.wait(timeout=2)
                break
            if time.monotonic() > deadline:
                break
            time.sleep(0.05)
        if driver.poll() is None:
            driver.kill()
        driver_status = driver.wait()
        run = self._finish(program, max(deadline - time.monotonic(), 1), " ".join(argv))
        text = boxes_file.read_text() if boxes_file.exists() else ""
        boxes = [json.loads(line) for line in text.splitlines()]
        return SetupRun(run.status, run.stdout, run.stderr, boxes, driver_status)

    def screenshot(self, name: str, box: dict) -> Path:
        """A picture of the box as the X server shows it: docs/screens/<name>.png when
        screenshots are switched on, else in the case's logs."""
        folder = self.cfg.source / "docs" / "screens" if self.cfg.screenshots else self.logs
        folder.mkdir(parents=True, exist_ok=True)
        left, top, right, bottom = box["rect"]
        time.sleep(0.3)  # the box has shown; let it finish painting before the picture
        path = folder / f"{name}.png"
        subprocess.run(["import", "-display", self.display, "-window", "root",
                        "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                        str(path)], check=True, timeout=30)
        return path

    # Registry, read and written exactly through the helpers

    def reg_value(self, key: str, name: str):
        """(type, bytes) of a value, or None when the key or the value is missing."""
        words = self._reg_dump("value", key, name).split()
        return None if words[0] == "missing" else (int(words[1]), _unhex(words[2]))

    def reg_values(self, key: str):
        """{name: (type, bytes)} and the list of subkey names; None when the key is missing."""
        text = self._reg_dump("key", key)
        if text.startswith("missing"):
            return None
        values, subkeys = {}, []
        for line in text.splitlines():
            words = line.split()
            if words[0] == "value":
                values[from_utf16(_unhex(words[1]))] = (int(words[2]), _unhex(words[3]))
            else:
                subkeys.append(from_utf16(_unhex(words[1])))
        return values, subkeys

    def reg_tree(self, key: str = "HKCU") -> dict:
        """Every key below `key`: {path: {name: (type, bytes)}} (the key itself is "")."""
        tree: dict = {}
        for line in self._reg_dump("tree", key).splitlines():
            words = line.split()
            path = from_utf16(_unhex(words[1]))
            tree.setdefault(path, {})
            if words[0] == "v":
                tree[path][from_utf16(_unhex(words[2]))] = (int(words[3]), _unhex(words[4]))
        return tree

    def _reg_dump(self, *args: str) -> str:
        run = self.run([self.helper("reg_dump"), *args], label="reg-dump")
        if run.status not in (0, 1):
            raise HarnessError(f"reg_dump {args} failed: {run.status} {run.stderr!r}")
        return run.stdout.decode()

    def reg_set(self, key: str, name: str, value_type: int, data: bytes) -> None:
        self._reg_set("set", key, name, str(value_type), data.hex() or "-")

    def reg_delete_value(self, key: str, name: str) -> None:
        self._reg_set("delete-value", key, name, allow=(2,))

    def _reg_set(self, *args: str, allow=()) -> None:
        run = self.run([self.helper("reg_set"), *args], label="reg-set")
        status = int(run.stdout.split()[1]) if run.stdout.startswith(b"status") else None
        if status != 0 and status not in allow:
            raise HarnessError(f"reg_set {args} failed: {run.stdout!r} {run.stderr!r}")

    # The state a case compares before and after

    def snapshot(self) -> dict:
        """The user profiles' files and all of HKCU, for "nothing else changed" checks. Wine's
        own cache of system parameters, which any program showing a window fills, is left out."""
        hkcu = {key: values for key, values in self.reg_tree("HKCU").items()
                if not key.lower().startswith(WINE_CACHE_KEY)}
        return {"files": self.files("C:\\users"), "hkcu": hkcu}


def _unhex(text: str) -> bytes:
    return b"" if text == "-" else bytes.fromhex(text)
