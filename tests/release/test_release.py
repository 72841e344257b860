#!/usr/bin/python3
"""scripts/release end to end: builds a signed release (throwaway certificate) into a folder of
its own and checks what it wrote against the built program itself:

- dist/ holds the setup program, SHA256SUMS and the three winget manifests, and every sum holds;
- each manifest keeps the rules of the winget 1.6.0 manifest schemas it names (required and
  allowed fields, value patterns and lists), and the three agree with each other;
- the installer manifest's InstallerSha256 is the sha256 of the program as shipped (signed);
- the version information read back from the program (pefile, not the tools that wrote it)
  has the product's texts and numbers and matches the manifests; the embedded application
  manifest says what it must; the loader's view of it (flags, load configuration, imports) is
  that of test_hardening.py;
- under Wine, in a fresh prefix with no display (a question box would answer "not Yes"), the
  manifest's Silent switch installs without asking, SilentWithProgress installs again over it
  (UpgradeBehavior install), the uninstall entry the program writes matches
  AppsAndFeaturesEntries and ProductCode, the Commands entry runs in a new shell, and the
  QuietUninstallString removes the product.

Environment: ORVANE_PAYLOAD (default the stand-in), ORVANE_TEST_JOBS, ORVANE_RELEASE_KEEP=1."""

from __future__ import annotations

import os
import re
import sys
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

import yaml  # noqa: E402

from release_support import (  # noqa: E402
    ROOT, SETUP_NAME, Checks, Failure, ProgramImage, SigningIdentity, Verification, WinePrefix,
    build_env, check_loader_hardening, check_manifest_resource, keep_or_remove, run, sha256, split_command,
    temporary_folder)

MANIFEST_VERSION = "1.6.0"
URL_TEMPLATE = "https://downloads.example.com/orvane-worker/{version}/orvane-worker-setup.exe"
RELEASE_DATE = "2026-12-10"
UNINSTALL_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

# What the setup program's version information must say.
EXPECTED_STRINGS = {
    "CompanyName": "Pellinor Private Limited",
    "FileDescription": "Orvane Worker setup",
    "FileVersion": "0.2.3.0",
    "InternalName": "orvane-worker-setup.exe",
    "LegalCopyright": "Copyright (C) Pellinor Private Limited",
    "OriginalFilename": "orvane-worker-setup.exe",
    "ProductName": "Orvane Worker",
    "ProductVersion": "0.2.3.0",
}
VFT_APP = 1
VOS_NT_WINDOWS32 = 0x40004
IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2

# The winget 1.6.0 schemas, as far as these manifests use them: per manifest type the required
# fields, the allowed top-level fields, and the rules of the values.
IDENTIFIER = r"^[^.\s\\/:*?\"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?\"<>|\x01-\x1f]{1,32}){1,7}$"
VERSION = r"^[^\\/:*?\"<>|\x01-\x1f]+$"
LOCALE = r"^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$"
URL = r"^([Hh][Tt][Tt][Pp][Ss]?)://.+$"
SHA256 = r"^[A-Fa-f0-9]{64}$"
SCHEMA = {
    "version": {
        "required": {"PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"},
        "allowed": set(),
    },
    "installer": {
        "required": {"PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"},
        "allowed": {"InstallerType", "Scope", "InstallModes", "InstallerSwitches", "UnsupportedArguments",
                    "UpgradeBehavior", "Commands", "ProductCode", "ReleaseDate", "AppsAndFeaturesEntries"},
    },
    "defaultLocale": {
        "required": {"PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                     "License", "ShortDescription", "ManifestType", "ManifestVersion"},
        "allowed": {"PublisherUrl", "LicenseUrl", "Copyright", "Moniker"},
    },
}


def text_rule(value, pattern=None, low=1, high=None) -> bool:
    return (isinstance(value, str) and len(value) >= low and (high is None or len(value) <= high)
            and (pattern is None or re.match(pattern, value) is not None))


def check_schema_rules(checks: Checks, kind: str, path: Path, doc: dict) -> None:
    name = path.name
    lines = path.read_text(encoding="utf-8").splitlines()
    schema_line = f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json"
    checks.check(schema_line in lines[:3], f"{name}: names its schema in a $schema comment", lines[:3])
    checks.check(isinstance(doc, dict), f"{name}: is a YAML mapping")
    if not isinstance(doc, dict):
        return
    rules = SCHEMA[kind]
    checks.equal(sorted(rules["required"] - doc.keys()), [], f"{name}: has every required field")
    checks.equal(sorted(doc.keys() - rules["required"] - rules["allowed"]), [], f"{name}: has no unknown field")
    checks.equal((doc.get("ManifestType"), doc.get("ManifestVersion")), (kind, MANIFEST_VERSION),
                 f"{name}: ManifestType and ManifestVersion")
    checks.check(text_rule(doc.get("PackageIdentifier"), IDENTIFIER, high=128), f"{name}: PackageIdentifier pattern")
    checks.check(text_rule(doc.get("PackageVersion"), VERSION, high=128), f"{name}: PackageVersion is a text")
    if kind == "version":
        checks.check(text_rule(doc.get("DefaultLocale"), LOCALE, high=20), f"{name}: DefaultLocale pattern")
    elif kind == "defaultLocale":
        checks.check(text_rule(doc.get("PackageLocale"), LOCALE, high=20), f"{name}: PackageLocale pattern")
        checks.check(all(text_rule(doc.get(f), low=2, high=256) for f in ("Publisher", "PackageName")),
                     f"{name}: Publisher and PackageName are 2 to 256 characters")
        checks.check(text_rule(doc.get("License"), low=3, high=512) and
                     text_rule(doc.get("ShortDescription"), low=3, high=256) and
                     text_rule(doc.get("Copyright", "---"), low=3, high=512) and
                     text_rule(doc.get("Moniker", "-"), low=1, high=40),
                     f"{name}: License, ShortDescription, Copyright and Moniker lengths")
        checks.check(all(text_rule(doc[f], URL, high=2048) for f in ("PublisherUrl", "LicenseUrl") if f in doc),
                     f"{name}: addresses are http(s) URLs")
    else:
        checks.equal((doc.get("InstallerType"), doc.get("Scope"), doc.get("UpgradeBehavior")),
                     ("exe", "user", "install"), f"{name}: InstallerType exe, Scope user, UpgradeBehavior install")
        checks.equal(doc.get("InstallModes"), ["interactive", "silent"], f"{name}: InstallModes interactive, silent")
        switches = doc.get("InstallerSwitches") or {}
        checks.check(set(switches) == {"Silent", "SilentWithProgress"} and
                     all(text_rule(v, high=512) for v in switches.values()),
                     f"{name}: InstallerSwitches Silent and SilentWithProgress", switches)
        checks.equal(doc.get("UnsupportedArguments"), ["log", "location"], f"{name}: UnsupportedArguments")
        commands = doc.get("Commands")
        checks.check(isinstance(commands, list) and 1 <= len(commands) <= 16 and
                     all(text_rule(c, high=40) for c in commands), f"{name}: Commands", commands)
        checks.check(text_rule(doc.get("ProductCode"), high=255), f"{name}: ProductCode")
        checks.check(re.fullmatch(r"\d{4}-\d{2}-\d{2}", str(doc.get("ReleaseDate", "2000-01-01"))) is not None,
                     f"{name}: ReleaseDate is a date")
        entries = doc.get("AppsAndFeaturesEntries")
        checks.check(isinstance(entries, list) and len(entries) == 1 and
                     set(entries[0]) == {"DisplayName", "Publisher", "DisplayVersion", "ProductCode"} and
                     all(text_rule(v, high=256) for v in entries[0].values()),
                     f"{name}: one AppsAndFeaturesEntry with DisplayName, Publisher, DisplayVersion, ProductCode",
                     entries)
        installers = doc.get("Installers")
        checks.check(isinstance(installers, list) and len(installers) == 1 and
                     set(installers[0]) == {"Architecture", "InstallerUrl", "InstallerSha256"},
                     f"{name}: one installer with Architecture, InstallerUrl, InstallerSha256", installers)
        if isinstance(installers, list) and installers:
            one = installers[0]
            checks.equal(one.get("Architecture"), "x64", f"{name}: Architecture x64")
            checks.check(text_rule(one.get("InstallerUrl"), URL, high=2048), f"{name}: InstallerUrl is a URL")
            checks.check(text_rule(one.get("InstallerSha256"), SHA256), f"{name}: InstallerSha256 is 64 hex digits")


def main() -> int:
    checks = Checks("test_release")
    work = temporary_folder("release")
    log = work / "log.txt"
    print(f"test_release: working in {work}", flush=True)
    try:
        identity = SigningIdentity(work / "identity")
        dist = work / "dist"
        env = build_env(**identity.pem_env(), ORVANE_DIST=str(dist), ORVANE_RELEASE_BUILD=str(work / "build"),
                        ORVANE_INSTALLER_URL=URL_TEMPLATE, ORVANE_RELEASE_DATE=RELEASE_DATE)
        run([ROOT / "scripts" / "release"], env=env, log=log)
        program = dist / SETUP_NAME
        winget = dist / "winget"

        checks.group("dist/ and SHA256SUMS")
        files = sorted(str(p.relative_to(dist)) for p in dist.rglob("*") if p.is_file())
        identifier = "Pellinor.OrvaneWorker"
        manifest_files = {"version": winget / f"{identifier}.yaml",
                          "installer": winget / f"{identifier}.installer.yaml",
                          "defaultLocale": winget / f"{identifier}.locale.en-US.yaml"}
        checks.equal(files, sorted(["SHA256SUMS", SETUP_NAME] +
                                   [str(p.relative_to(dist)) for p in manifest_files.values()]),
                     "dist/ holds the program, SHA256SUMS and the three manifests")
        sums = {}
        for line in (dist / "SHA256SUMS").read_text().splitlines():
            digest, _, name = line.partition("  ")
            sums[name] = digest
        checks.equal(sorted(sums), sorted(f for f in files if f != "SHA256SUMS"), "SHA256SUMS lists every file")
        checks.equal({n: d for n, d in sums.items() if (dist / n).is_file() and sha256(dist / n) != d}, {},
                     "every sum in SHA256SUMS holds")
        verification = Verification(program, ca_file=identity.cert)
        checks.check(verification.status == 0 and verification.digest_matches,
                     "the released program is the signed one")

        checks.group("the manifests keep the winget 1.6.0 rules")
        docs = {}
        for kind, path in manifest_files.items():
            docs[kind] = yaml.safe_load(path.read_text(encoding="utf-8")) if path.is_file() else None
            check_schema_rules(checks, kind, path, docs[kind])
        if not all(isinstance(d, dict) for d in docs.values()):
            raise Failure("a manifest is missing or not a mapping")
        version, installer, locale = docs["version"], docs["installer"], docs["defaultLocale"]
        checks.equal({(d["PackageIdentifier"], d["PackageVersion"]) for d in docs.values()},
                     {(identifier, "0.2.3")}, "the three name the same package and version")
        checks.equal(version["DefaultLocale"], locale["PackageLocale"], "DefaultLocale is the locale manifest's")

        checks.group("the manifests against the built program")
        image = ProgramImage(program)
        shipped = installer["Installers"][0]
        checks.equal(shipped["InstallerSha256"], sha256(program).upper(),
                     "InstallerSha256 is the sha256 of the shipped (signed) program")
        checks.equal(shipped["InstallerUrl"], URL_TEMPLATE.replace("{version}", version["PackageVersion"]),
                     "InstallerUrl is the given address with the version filled in")
        checks.equal(shipped["InstallerUrl"].rsplit("/", 1)[-1], image.strings.get("OriginalFilename"),
                     "the downloaded file keeps the program's OriginalFilename")
        checks.equal(installer.get("ReleaseDate"), RELEASE_DATE, "ReleaseDate as given, as a text")
        entry = installer["AppsAndFeaturesEntries"][0]
        checks.equal(entry["ProductCode"], installer["ProductCode"], "the entry's ProductCode is the installer's")
        checks.equal((locale["PackageName"], entry["DisplayName"]), (image.strings.get("ProductName"),) * 2,
                     "PackageName and DisplayName are the program's ProductName")
        checks.equal((locale["Publisher"], entry["Publisher"]), (image.strings.get("CompanyName"),) * 2,
                     "Publisher (both) is the program's CompanyName")
        checks.equal(locale.get("Copyright"), image.strings.get("LegalCopyright"),
                     "Copyright is the program's LegalCopyright")
        product_version = image.fixed and ".".join(map(str, image.fixed["ProductVersion"]))
        checks.equal((version["PackageVersion"] + ".0", entry["DisplayVersion"] + ".0"), (product_version,) * 2,
                     "PackageVersion and DisplayVersion are the program's ProductVersion")

        checks.group("the version information and manifest read back from the program")
        checks.equal(image.strings, EXPECTED_STRINGS, "the version strings")
        checks.equal(image.fixed and (image.fixed["FileVersion"], image.fixed["ProductVersion"]),
                     ((0, 2, 3, 0), (0, 2, 3, 0)), "the numeric FileVersion and ProductVersion")
        checks.equal(image.fixed and (image.fixed["FileType"], image.fixed["FileOS"], image.fixed["FileFlags"]),
                     (VFT_APP, VOS_NT_WINDOWS32, 0), "an application for Windows NT, no special flags")
        checks.equal((image.string_tables, image.translations), (["040904B0"], ["0x0409 0x04b0"]),
                     "one U.S. English, UTF-16 string table, announced in VarFileInfo")
        checks.equal((image.machine, image.subsystem, image.timestamp),
                     (IMAGE_FILE_MACHINE_AMD64, IMAGE_SUBSYSTEM_WINDOWS_GUI, 0),
                     "x86-64, GUI subsystem, no link time in the header")
        check_manifest_resource(checks, image)
        check_loader_hardening(checks, program, "the shipped program")

        checks.group("under Wine: the manifest's switches, entry, command and quiet uninstall")
        prefix = WinePrefix(work / "prefix", log)
        setup = prefix.place(program, "C:\\users\\Public\\Downloads")
        folder_text = prefix.local_app_data() + "\\Programs\\" + entry["DisplayName"]
        folder = prefix.unix_path(folder_text)
        switches = installer["InstallerSwitches"]
        result = prefix.wine(setup, *switches["Silent"].split())
        prefix.wait()
        checks.check(result.returncode == 0 and (folder / "uninstall.exe").is_file(),
                     "the Silent switch installs without asking", f"status {result.returncode}")
        result = prefix.wine(setup, *switches["SilentWithProgress"].split())
        prefix.wait()
        checks.check(result.returncode == 0 and (folder / "uninstall.exe").is_file(),
                     "SilentWithProgress installs again over the installation", f"status {result.returncode}")

        key = UNINSTALL_KEY + installer["ProductCode"]
        values = prefix.reg_values(key) or {}
        checks.check(bool(values), f"the program registers itself under {key}")
        shown = {name: values.get(name, (None, None))[1] for name in ("DisplayName", "Publisher", "DisplayVersion")}
        checks.equal(shown, {name: entry[name] for name in shown},
                     "DisplayName, Publisher and DisplayVersion are the AppsAndFeaturesEntry's")
        checks.equal(values.get("InstallLocation", (None, None))[1], folder_text,
                     "InstallLocation is the folder named after DisplayName")
        command = installer["Commands"][0]
        result = prefix.wine("cmd", "/c", command, "--help")
        checks.equal(result.returncode, 0, f"'{command} --help' runs in a new shell (Commands)")

        quiet = values.get("QuietUninstallString", (None, ""))[1]
        arguments = split_command(quiet) if quiet else []
        checks.check(bool(arguments) and prefix.unix_path(arguments[0]).read_bytes() == program.read_bytes(),
                     "QuietUninstallString starts the installed copy of the shipped program", quiet)
        if arguments:
            result = prefix.wine(*arguments)
            prefix.wait()
            checks.check(result.returncode == 0 and prefix.reg_values(key) is None and not folder.exists(),
                         "QuietUninstallString removes the entry and the folder without asking",
                         f"status {result.returncode}, folder left: {folder.exists()}")
    except Failure as error:
        checks.check(False, "the steps ran to their end", error)
    failed = checks.finish()
    keep_or_remove(work, bool(failed))
    return failed


if __name__ == "__main__":
    sys.exit(main())
