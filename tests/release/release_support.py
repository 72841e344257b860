"""What the release tests share: a check counter, throwaway signing identities, a fresh Wine
prefix, and readers for what a built setup program holds (version information, manifest,
signature). Runs with Debian's python3 and its python3-yaml and python3-pefile packages."""

from __future__ import annotations

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean

import pefile  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
WINE_DIR = Path("/usr/lib/wine")
AS_WINE_USER = ROOT / "scripts" / "as-wine-user"
SETUP_NAME = "orvane-worker-setup.exe"


class Checks:
    """Counts checks; a failed one is reported and the run goes on."""

    def __init__(self, suite: str):
        self.suite = suite
        self.passed = 0
        self.failed: list[str] = []

    def check(self, condition: bool, what: str, detail: object = "") -> bool:
        if condition:
            self.passed += 1
            print(f"  ok    {what}", flush=True)
        else:
            self.failed.append(what)
            print(f"  FAIL  {what}" + (f"\n        {detail}" if detail != "" else ""), flush=True)
        return bool(condition)

    def equal(self, actual: object, expected: object, what: str) -> bool:
        return self.check(actual == expected, what, f"got {actual!r}, expected {expected!r}")

    def group(self, title: str) -> None:
        print(f"-- {title}", flush=True)

    def finish(self) -> int:
        for what in self.failed:
            print(f"{self.suite}: failed: {what}")
        print(f"{self.suite}: {self.passed} passed, {len(self.failed)} failed", flush=True)
        return 1 if self.failed else 0


class Failure(Exception):
    """A step the remaining checks depend on went wrong."""


def run(args, *, env=None, cwd=None, log: Path | None = None, check=True,
        stdin=None) -> subprocess.CompletedProcess:
    """Runs a command with its output in a file (never a pipe: the deferred command interpreter a
    removal starts inherits the handles and would keep a pipe open); `stdin` is an open file or
    nothing."""
    with tempfile.TemporaryFile() as out:
        result = subprocess.run([str(a) for a in args], env=env, cwd=cwd,
                                stdin=subprocess.DEVNULL if stdin is None else stdin,
                                stdout=out, stderr=subprocess.STDOUT)
        out.seek(0)
        result.stdout = out.read().decode("utf-8", "replace")
    if log is not None:
        with open(log, "a", encoding="utf-8") as f:
            f.write(f"$ {' '.join(map(str, args))}\n{result.stdout}\n")
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(map(str, args))} exited with {result.returncode}:\n{result.stdout[-3000:]}")
    return result


def sha256(path: Path) -> str:
    return hashlib.sha256(Path(path).read_bytes()).hexdigest()


def build_env(**extra: str | None) -> dict:
    """The environment for a build: the caller's, without signing settings and SOURCE_DATE_EPOCH
    unless given here (None removes a variable)."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith("ORVANE_SIGN_") and k != "SOURCE_DATE_EPOCH"}
    for key, value in extra.items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    return env


# ---- signing identities ------------------------------------------------------------------------

class SigningIdentity:
    """A throwaway self-signed code-signing certificate: PEM certificate, its private key
    encrypted with a password kept in a file, and the same pair as a PKCS#12 file."""

    subject = "/CN=Orvane Worker release test/O=Pellinor Private Limited"

    def __init__(self, folder: Path):
        folder.mkdir(parents=True, exist_ok=True)
        self.cert = folder / "cert.pem"
        self.key = folder / "key.pem"
        self.pass_file = folder / "password.txt"
        self.pkcs12 = folder / "identity.p12"
        self.password = "throwaway-test-password"
        self.pass_file.write_text(self.password + "\n")
        run(["openssl", "req", "-x509", "-newkey", "rsa:3072", "-sha256", "-days", "2",
             "-subj", self.subject, "-keyout", self.key, "-passout", f"file:{self.pass_file}",
             "-out", self.cert,
             "-addext", "basicConstraints=critical,CA:FALSE",
             "-addext", "keyUsage=critical,digitalSignature",
             "-addext", "extendedKeyUsage=critical,codeSigning"])
        run(["openssl", "pkcs12", "-export", "-in", self.cert, "-inkey", self.key,
             # (openssl reads a second line for the second use of one password file)
             "-passin", f"file:{self.pass_file}", "-passout", f"pass:{self.password}",
             "-out", self.pkcs12])

    def pem_env(self) -> dict:
        return {"ORVANE_SIGN_CERT": str(self.cert), "ORVANE_SIGN_KEY": str(self.key),
                "ORVANE_SIGN_PASS_FILE": str(self.pass_file)}


# A verify error, as the osslsigncode versions of Debian 12 and 13 word it: 2.9 prints its own line
# "Error: MESSAGE" (and OpenSSL's line below); 2.5 prints only OpenSSL's error queue, whose line
# ends in "...:certificate verify error:FILE:LINE:Verify error: MESSAGE" (OpenSSL 1.1 writes no
# space after the colon).
VERIFY_ERROR = re.compile(r"(?:^[ \t]*Error|:Verify error): ?(.+?)\s*$", re.M)


class Verification:
    """What `osslsigncode verify` says about one file (or, with `text`, what a verify printed)."""

    def __init__(self, path: Path | None, ca_file: Path | None = None, *, text: str | None = None,
                 status: int = 0):
        if text is None:
            args = ["osslsigncode", "verify"]
            if ca_file is not None:
                args += ["-CAfile", ca_file]
            result = run(args + ["-in", path], check=False)
            status, text = result.returncode, result.stdout
        self.status = status
        self.text = text
        current = re.search(r"Current message digest\s*:\s*([0-9A-F]+)", self.text)
        calculated = re.search(r"Calculated message digest\s*:\s*([0-9A-F]+)", self.text)
        self.current_digest = current and current.group(1)
        self.calculated_digest = calculated and calculated.group(1)
        self.signature_ok = "Signature verification: ok" in self.text
        self.errors = sorted(set(VERIFY_ERROR.findall(self.text)))
        subject = re.search(r"Signer #0:\s*\n\s*Subject: (.+)", self.text)
        self.signer = subject and subject.group(1).strip()
        description = re.search(r"Text description: (.+)", self.text)
        self.description = description and description.group(1).strip()
        signing_time = re.search(r"Signing time: (.+)", self.text)
        self.signing_time = signing_time and signing_time.group(1).strip()

    @property
    def digest_matches(self) -> bool:
        return bool(self.current_digest) and self.current_digest == self.calculated_digest


# ---- what the program holds --------------------------------------------------------------------

RT_VERSION = 16
RT_MANIFEST = 24


class ProgramImage:
    """The PE facts of one built setup program, read with pefile (not with the tools that made it)."""

    def __init__(self, path: Path):
        self.path = Path(path)
        pe = pefile.PE(str(path))
        self.machine = pe.FILE_HEADER.Machine
        self.timestamp = pe.FILE_HEADER.TimeDateStamp
        self.subsystem = pe.OPTIONAL_HEADER.Subsystem
        security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
        self.signature_size = security.Size
        self.resources: dict[int, list[tuple[int, int, bytes]]] = {}
        kinds = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
        for kind in kinds:
            for name in kind.directory.entries:
                for lang in name.directory.entries:
                    data = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
                    self.resources.setdefault(kind.id, []).append((name.id, lang.id, data))
        self.fixed = None
        self.strings: dict[str, str] = {}
        self.string_tables: list[str] = []
        self.translations: list[str] = []
        if hasattr(pe, "VS_FIXEDFILEINFO"):
            f = pe.VS_FIXEDFILEINFO[0]
            self.fixed = {
                "FileVersion": (f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF,
                                f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF),
                "ProductVersion": (f.ProductVersionMS >> 16, f.ProductVersionMS & 0xFFFF,
                                   f.ProductVersionLS >> 16, f.ProductVersionLS & 0xFFFF),
                "FileType": f.FileType, "FileOS": f.FileOS, "FileFlags": f.FileFlags,
            }
            for info in pe.FileInfo[0]:
                if info.Key == b"StringFileInfo":
                    for table in info.StringTable:
                        self.string_tables.append(table.LangID.decode())
                        self.strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
                elif info.Key == b"VarFileInfo":
                    for var in info.Var:
                        self.translations += list(var.entry.values())
        pe.close()

    def manifests(self) -> list[tuple[int, int, bytes]]:
        return self.resources.get(RT_MANIFEST, [])


ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
WS2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WS2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
OS_WINDOWS_10_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
OS_WINDOWS_8_1 = "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"


def check_manifest_resource(checks: Checks, image: ProgramImage) -> None:
    """The embedded application manifest: one resource, read as the loader reads it."""
    manifests = image.manifests()
    checks.equal([name for name, _, _ in manifests], [1],
                 "exactly one RT_MANIFEST resource, id 1 (no second, default manifest)")
    if not manifests:
        return
    try:
        root = ET.fromstring(manifests[0][2])
    except ET.ParseError as error:
        checks.check(False, "the manifest is well-formed XML", error)
        return
    checks.equal(root.tag, f"{{{ASM_V1}}}assembly", "the manifest's root is an asm.v1 assembly")
    levels = root.findall(f".//{{{ASM_V3}}}requestedExecutionLevel") + \
        root.findall(f".//{{{ASM_V1}}}requestedExecutionLevel")
    checks.equal([(e.get("level"), e.get("uiAccess")) for e in levels], [("asInvoker", "false")],
                 "requestedExecutionLevel asInvoker, uiAccess false (never elevated)")
    supported = {e.get("Id", "").lower() for e in root.findall(f".//{{{COMPAT}}}supportedOS")}
    checks.equal(supported, {OS_WINDOWS_10_11, OS_WINDOWS_8_1}, "supportedOS: Windows 10/11 and 8.1")
    settings = {(e.tag, (e.text or "").strip()) for e in root.iter()
                if e.tag in (f"{{{WS2016}}}dpiAwareness", f"{{{WS2005}}}dpiAware", f"{{{WS2016}}}longPathAware")}
    # dpiAwareness is an ordered list, the first mode the system knows wins: PerMonitor is what
    # Windows 10 1607 knows (PerMonitorV2 came with 1703); dpiAware serves the systems before.
    checks.equal(settings, {(f"{{{WS2016}}}dpiAwareness", "PerMonitorV2, PerMonitor"),
                            (f"{{{WS2005}}}dpiAware", "true/pm"), (f"{{{WS2016}}}longPathAware", "true")},
                 "dpiAwareness PerMonitorV2, PerMonitor; dpiAware true/pm; longPathAware true (in their namespaces)")
    dependencies = [(e.get("name"), e.get("version"), e.get("publicKeyToken"), e.get("processorArchitecture"))
                    for e in root.findall(f".//{{{ASM_V1}}}dependentAssembly/{{{ASM_V1}}}assemblyIdentity")]
    checks.equal(dependencies, [("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df", "*")],
                 "depends on Common Controls 6")


# ---- What the loader takes ----------------------------------------------------------------------

# Windows' KnownDLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs) and ntdll,
# which every process has: DLLs of these names are always taken from the system.
KNOWN_DLLS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll", "ntdll.dll", "gdi32.dll",
              "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "comdlg32.dll", "imm32.dll",
              "rpcrt4.dll", "sechost.dll", "combase.dll", "ws2_32.dll", "setupapi.dll", "psapi.dll"}
# What the program imports today; a change of this list is a change to look at.
EXPECTED_IMPORTS = {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll", "ntdll.dll"}

IMAGE_FILE_RELOCS_STRIPPED = 0x0001
DLL_CHARACTERISTICS = {"HIGH_ENTROPY_VA": 0x0020, "DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100,
                       "TERMINAL_SERVER_AWARE": 0x8000}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
DEPENDENT_LOAD_FLAGS_OFFSET = 0x4E  # in IMAGE_LOAD_CONFIG_DIRECTORY64 (pefile 2023 calls it Reserved1)


def check_loader_hardening(checks: Checks, program: Path, what: str) -> None:
    """The PE header and import tables of a setup program, as the Windows loader reads them."""
    pe = pefile.PE(str(program), fast_load=False)
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    for name, bit in DLL_CHARACTERISTICS.items():
        checks.check(flags & bit, f"{what}: DllCharacteristics has {name}", f"DllCharacteristics {flags:#06x}")
    relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    checks.check(not pe.FILE_HEADER.Characteristics & IMAGE_FILE_RELOCS_STRIPPED and relocations.Size > 0,
                 f"{what}: relocations kept (ASLR can move the image)")

    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if checks.check(config is not None and directory.Size > 0, f"{what}: the header names a load configuration"):
        data = pe.get_data(directory.VirtualAddress, DEPENDENT_LOAD_FLAGS_OFFSET + 2)
        size = int.from_bytes(data[:4], "little")
        dependent = int.from_bytes(data[DEPENDENT_LOAD_FLAGS_OFFSET:], "little")
        checks.check(size > DEPENDENT_LOAD_FLAGS_OFFSET and directory.Size == size,
                     f"{what}: the load configuration is large enough to hold DependentLoadFlags",
                     f"structure {size} bytes, directory {directory.Size} bytes")
        checks.equal(dependent, LOAD_LIBRARY_SEARCH_SYSTEM32,
                     f"{what}: DependentLoadFlags is LOAD_LIBRARY_SEARCH_SYSTEM32 (static imports from System32)")

    imports = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    checks.equal(imports - KNOWN_DLLS, set(), f"{what}: every imported DLL is a KnownDLL")
    checks.equal(imports, EXPECTED_IMPORTS, f"{what}: imports exactly kernel32, advapi32, user32, msvcrt, ntdll")
    delay = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]]
    checks.check(delay.Size == 0 and not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"),
                 f"{what}: no delay-loaded imports")


# ---- Wine --------------------------------------------------------------------------------------

class WinePrefix:
    """A fresh Wine prefix of its own, with no display: a message box cannot appear, so a run that
    would ask a question gets 'not Yes'. Wine runs as the unprivileged user of
    scripts/as-wine-user (as root it writes read-only files, which Windows refuses), in a prefix
    at that user's place for `folder`, which keep_or_remove deletes with the work folder."""

    def __init__(self, folder: Path, log: Path):
        self.log = log
        self.folder = user_place(folder)
        self.wine("wineboot", "-i", check=True)
        self.wait()

    def as_user(self, *args, check=True, stdin=None,
                debug: str | None = None) -> subprocess.CompletedProcess:
        """A command as that user, with WINEPREFIX set to the prefix. With `debug` (WINEDEBUG
        channels) the output is Wine's trace, which can be large: it stays out of the log."""
        options = ["--prefix", self.folder] + (["--env", f"WINEDEBUG={debug}"] if debug else [])
        return run([AS_WINE_USER, *options, "--", *args], log=None if debug else self.log,
                   check=check, stdin=stdin)

    def wait(self) -> None:
        """Until every process of the prefix has ended (the deferred removal command included)."""
        self.as_user(WINE_DIR / "wineserver", "-w")

    def wine(self, *args, check=False, debug: str | None = None) -> subprocess.CompletedProcess:
        """Runs a program in the prefix (see as_user for `debug`)."""
        return self.as_user(WINE_DIR / "wine64", *args, check=check, debug=debug)

    def unix_path(self, windows_path: str) -> Path:
        drive, rest = windows_path[0].lower(), windows_path[3:]
        path = self.folder / "dosdevices" / f"{drive}:"
        for part in rest.split("\\"):
            if part:
                match = [p for p in path.iterdir() if p.name.lower() == part.lower()] if path.is_dir() else []
                path = match[0] if match else path / part
        return path

    def place(self, program: Path, windows_folder: str) -> str:
        """Copies a program into the prefix, as a download would (the user writes the copy);
        returns its Windows path."""
        target = self.unix_path(windows_folder)
        with open(program, "rb") as source:
            self.as_user("sh", "-c", 'mkdir -p "$1" && cat >"$1/$2"', "sh", target, program.name,
                         stdin=source)
        return windows_folder.rstrip("\\") + "\\" + program.name

    def local_app_data(self) -> str:
        result = self.wine("cmd", "/c", "echo", "%LOCALAPPDATA%", check=True)
        return result.stdout.strip().splitlines()[-1].strip()

    def reg_values(self, key: str) -> dict[str, tuple[str, str]] | None:
        """name -> (type, data) of one key as `reg query` shows it, or None when it is missing."""
        result = self.wine("reg", "query", key)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.splitlines():
            match = re.match(r"^    (.+?)    (REG_[A-Z_]+)    ?(.*?)\r?$", line)
            if match:
                values[match.group(1)] = (match.group(2), match.group(3))
        return values


def split_command(command: str) -> list[str]:
    """A command line of the form "program" arguments..., as the registration entry writes it."""
    match = re.fullmatch(r'"([^"]+)"((?: \S+)*)', command)
    if not match:
        raise Failure(f"not a quoted program followed by arguments: {command!r}")
    return [match.group(1)] + match.group(2).split()


def temporary_folder(name: str) -> Path:
    return Path(tempfile.mkdtemp(prefix=f"orvane-{name}.", dir=os.environ.get("TMPDIR", "/tmp")))


def user_place(path: Path) -> Path:
    """Where the Wine user keeps what stands for `path` (scripts/as-wine-user --where)."""
    return Path(run([AS_WINE_USER, "--where", path]).stdout.strip())


def keep_or_remove(folder: Path, failed: bool) -> None:
    """Keeps a test's work folder, and the Wine user's place for it, or deletes both (stopping the
    servers of the prefixes there)."""
    if failed or os.environ.get("ORVANE_RELEASE_KEEP"):
        place = user_place(folder)
        print(f"(kept {folder}" + (f" and {place})" if place != folder else ")"))
    else:
        run([AS_WINE_USER, "--forget", folder], check=False)
        shutil.rmtree(folder, ignore_errors=True)
