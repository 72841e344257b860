#!/usr/bin/python3
"""Signing the setup program through the build (cmake/release.cmake, cmake/sign.cmake).

Makes a throwaway self-signed code-signing certificate, builds the setup program with the
signing variables taken from the environment (PEM certificate, password-protected key and a
password file), then reconfigures the same build for a PKCS#12 file given with -D, with
SOURCE_DATE_EPOCH set. Each signed program must carry a signature whose digest matches the
file, that verifies against the certificate, and that fails for an altered copy. The untrusted
root of a self-signed certificate is the one failure accepted, and only when nothing else is
wrong. Last, the signed program installs silently under Wine in a fresh prefix, and the
installed uninstall.exe is byte-identical to it.

Environment: ORVANE_PAYLOAD (default the stand-in), ORVANE_TEST_JOBS (default 2),
ORVANE_RELEASE_KEEP=1 keeps the work folder."""

from __future__ import annotations

import datetime
import os
import shutil
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

from release_support import (  # noqa: E402
    ROOT, SETUP_NAME, Checks, Failure, ProgramImage, SigningIdentity, Verification, WinePrefix,
    build_env, keep_or_remove, run, sha256, temporary_folder)

# The last second of today (UTC): within the two days of the test certificate's validity.
EPOCH = int(time.time()) // 86400 * 86400 + 86399
_epoch = datetime.datetime.fromtimestamp(EPOCH, datetime.timezone.utc)
EPOCH_TEXT = f"{_epoch:%b} {_epoch.day:2d} {_epoch:%H:%M:%S} {_epoch.year} GMT"  # as OpenSSL prints it


# What `osslsigncode verify` prints (stdout and stderr together, as `run` reads them) about a file
# signed with a self-signed certificate, cut to the lines that matter, from the versions Debian 12
# (2.5) and Debian 13 or bookworm-backports (2.9) ship: (what, text, the errors read from it).
_OPENSSL_LINE = ("40A9B53EB77F0000:error:10800075:PKCS7 routines:PKCS7_verify:certificate verify error:"
                 "../crypto/pkcs7/pk7_smime.c:291:Verify error: {}\n")
VERIFY_OUTPUTS = [
    ("2.9, self-signed root", _OPENSSL_LINE.format("self-signed certificate") +
     "Signing certificate chain verified using:\n\t------------------\n\tSigner #0:\n"
     "\t\tSubject: /CN=Test Signer\n\n\tError: self-signed certificate\n\nPKCS7_verify error\n"
     "Signature verification: failed\n\nNumber of verified signatures: 1\nFailed\n",
     ["self-signed certificate"]),
    ("2.5, self-signed root", "Timestamp is not available\n\n\nPKCS7_verify error\n" +
     _OPENSSL_LINE.format("self-signed certificate") +
     "Signature verification: failed\n\nNumber of verified signatures: 1\nFailed\n",
     ["self-signed certificate"]),
    ("2.5, an expired certificate", "PKCS7_verify error\n" +
     _OPENSSL_LINE.format("certificate has expired") + "Signature verification: failed\nFailed\n",
     ["certificate has expired"]),
    ("2.5 and 2.9, verified", "Timestamp is not available\n\nSignature verification: ok\n\n"
     "Number of verified signatures: 1\nSucceeded\n", []),
]


def check_verify_output_forms(checks: Checks) -> None:
    for what, text, errors in VERIFY_OUTPUTS:
        checks.equal(Verification(None, text=text, status=1).errors, errors,
                     f"the verify errors are read from osslsigncode {what}")


def check_signed(checks: Checks, program: Path, identity: SigningIdentity, what: str) -> None:
    image = ProgramImage(program)
    checks.check(image.signature_size > 0, f"{what}: the PE security directory holds a signature")

    plain = Verification(program)
    checks.check(plain.digest_matches, f"{what}: the signed digest matches the file",
                 f"{plain.current_digest} / {plain.calculated_digest}")
    checks.equal(plain.signer, identity.subject, f"{what}: signed by the test certificate")
    checks.equal(plain.description, image.strings.get("FileDescription"),
                 f"{what}: the signature's description is the program's FileDescription")
    # Without the certificate as a trust anchor only the untrusted root may fail.
    checks.check(plain.status != 0 and plain.errors == ["self-signed certificate"],
                 f"{what}: against the system's roots the one failure is the self-signed root",
                 f"status {plain.status}, errors {plain.errors}")

    trusted = Verification(program, ca_file=identity.cert)
    checks.check(trusted.status == 0 and trusted.signature_ok and trusted.digest_matches,
                 f"{what}: verifies with the certificate as trust anchor", trusted.text[-1500:])

    altered = program.with_name(program.stem + "-altered.exe")
    data = bytearray(program.read_bytes())
    data[0x1000] ^= 0xFF  # inside .text, covered by the signed digest
    altered.write_bytes(bytes(data))
    tampered = Verification(altered, ca_file=identity.cert)
    checks.check(tampered.status != 0 and not tampered.digest_matches,
                 f"{what}: an altered copy fails verification with a digest mismatch",
                 f"status {tampered.status}, {tampered.current_digest} / {tampered.calculated_digest}")
    altered.unlink()


def configure(build: Path, env: dict, *defines: str, log: Path) -> None:
    payload = os.environ.get("ORVANE_PAYLOAD", "")
    run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
         "--toolchain", ROOT / "cmake" / "mingw-w64-x86_64.cmake",
         "-DCMAKE_BUILD_TYPE=MinSizeRel", "-DORVANE_BUILD_TESTS=OFF",
         f"-DORVANE_PAYLOAD={payload and os.path.abspath(payload)}", *defines], env=env, log=log)


def build_setup(build: Path, env: dict, log: Path) -> Path:
    run(["cmake", "--build", build, "-j", os.environ.get("ORVANE_TEST_JOBS", "2"),
         "--target", "orvane-worker-setup"], env=env, log=log)
    return build / SETUP_NAME


def main() -> int:
    checks = Checks("test_signing")
    work = temporary_folder("signing")
    log = work / "log.txt"
    print(f"test_signing: working in {work}", flush=True)
    try:
        checks.group("what osslsigncode 2.5 and 2.9 print about a failed verification")
        check_verify_output_forms(checks)

        identity = SigningIdentity(work / "identity")
        build = work / "build"

        checks.group("PEM certificate and encrypted key, from the environment")
        env = build_env(**identity.pem_env())
        configure(build, env, log=log)
        program = build_setup(build, env, log)
        pem_signed = work / "pem-signed.exe"
        shutil.copyfile(program, pem_signed)
        check_signed(checks, pem_signed, identity, "PEM")

        checks.group("PKCS#12 file given with -D, signing time from SOURCE_DATE_EPOCH")
        env = build_env(SOURCE_DATE_EPOCH=str(EPOCH))
        configure(build, env, f"-DORVANE_SIGN_CERT={identity.pkcs12}", "-DORVANE_SIGN_KEY=",
                  f"-DORVANE_SIGN_PASS_FILE={identity.pass_file}", log=log)
        program = build_setup(build, env, log)
        checks.check(sha256(program) != sha256(pem_signed), "reconfiguring re-signs the program")
        check_signed(checks, program, identity, "PKCS#12")
        verification = Verification(program, ca_file=identity.cert)
        checks.equal(verification.signing_time, EPOCH_TEXT, "the signing time is SOURCE_DATE_EPOCH")
        first = sha256(program)
        program.unlink()
        program = build_setup(build, env, log)
        checks.equal(sha256(program), first, "linking and signing again gives the same bytes")

        checks.group("the signed program installs itself as uninstall.exe under Wine")
        prefix = WinePrefix(work / "prefix", log)
        setup = prefix.place(program, "C:\\users\\Public\\Downloads")
        result = prefix.wine(setup, "/S")
        prefix.wait()
        checks.equal(result.returncode, 0, "a silent install of the signed program exits with 0")
        folder = prefix.unix_path(prefix.local_app_data() + "\\Programs\\Orvane Worker")
        uninstaller = folder / "uninstall.exe"
        checks.check(uninstaller.is_file() and uninstaller.read_bytes() == program.read_bytes(),
                     "the installed uninstall.exe is byte-identical to the signed program",
                     f"{uninstaller} exists: {uninstaller.is_file()}")
        if uninstaller.is_file():
            installed = Verification(uninstaller, ca_file=identity.cert)
            checks.check(installed.status == 0 and installed.digest_matches,
                         "the installed uninstall.exe still verifies")
    except Failure as error:
        checks.check(False, "the steps ran to their end", error)
    failed = checks.finish()
    keep_or_remove(work, bool(failed))
    return failed


if __name__ == "__main__":
    sys.exit(main())
