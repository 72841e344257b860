#!/usr/bin/env python3
"""Runs the end-to-end cases of the setup program that need the Linux side, under Wine.

  e2e.py --list                               the case names
  e2e.py --build-dir DIR --prepare            start Xvfb, make the template prefix
  e2e.py --build-dir DIR CASE...              run cases (preparing and finishing around them
                                              when no prepared run is found)
  e2e.py --build-dir DIR --finish             stop everything, delete the work directory

--build-dir stands for the usual places in a Windows build; --setup, --payload, --helpers and
--work name them one by one. ORVANE_SCREENSHOTS=1 saves the pictures of the boxes (the screens
case) to docs/screens/<name>.png; ORVANE_E2E_KEEP=1 keeps each case's prefix copy for a look
afterwards. Run by root, the run goes to the unprivileged Wine user of scripts/as-wine-user, on
copies of the inputs and a work folder of that user's (hand_over.py); the kept copies are there
(as-wine-user --where WORK).
"""

from __future__ import annotations

import argparse
import os
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))

import cases  # noqa: E402
import hand_over  # noqa: E402
import harness  # noqa: E402


def parse(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--build-dir", type=Path)
    ap.add_argument("--setup", type=Path)
    ap.add_argument("--payload", type=Path)
    ap.add_argument("--helpers", type=Path)
    ap.add_argument("--work", type=Path)
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--prepare", action="store_true")
    ap.add_argument("--finish", action="store_true")
    ap.add_argument("cases", nargs="*")
    args = ap.parse_args(argv)
    build = args.build_dir
    defaults = {
        "setup": build and build / harness.SETUP_NAME,
        "payload": build and build / "payload" / "orvane-worker.exe",
        "helpers": build and build / "tests" / "e2e" / "helpers",
        "work": build and build / "tests" / "e2e" / "work",
    }
    for name, default in defaults.items():
        if getattr(args, name) is None:
            setattr(args, name, default)
    return args, ap


def run_case(cfg, state, name: str) -> bool:
    case = cases.Case(cfg, state, name)
    start = time.monotonic()
    print(f"=== {name}", flush=True)
    try:
        cases.CASES[name](case)
    except cases.Stop:
        pass
    except harness.HarnessError as error:
        case.check(False, f"the case ran to its end: {error}")
    except Exception:
        case.check(False, "the case ran to its end", traceback.format_exc())
    finally:
        try:
            case.close()
        except Exception:
            print("warning: cleaning up the prefix failed:\n" + traceback.format_exc(), flush=True)
    verdict = "PASS" if not case.failures else "FAIL"
    print(f"=== {verdict} {name}: {case.count - len(case.failures)}/{case.count} checks passed "
          f"in {time.monotonic() - start:.1f} s", flush=True)
    return not case.failures


def main(argv) -> int:
    args, ap = parse(argv)
    if args.list:
        print("\n".join(cases.CASES))
        return 0
    if args.work is None:
        ap.error("give --build-dir or --work")
    if hand_over.needed():
        return hand_over.run(args)
    cfg = harness.Config(
        setup=args.setup, payload=args.payload, helpers=args.helpers, work=args.work.resolve(),
        source=Path(__file__).resolve().parents[2],
        screenshots=os.environ.get("ORVANE_SCREENSHOTS") == "1",
        keep=os.environ.get("ORVANE_E2E_KEEP") == "1")
    if args.finish:
        harness.finish(cfg)
        return 0
    missing = [str(p) for p in (cfg.setup, cfg.payload, cfg.helpers) if p is None or not p.exists()]
    if missing:
        print("missing build output: " + ", ".join(missing), file=sys.stderr)
        return 1
    if args.prepare:
        start = time.monotonic()
        harness.prepare(cfg)
        print(f"template prefix and Xvfb ready in {time.monotonic() - start:.1f} s")
        return 0
    unknown = [n for n in args.cases if n not in cases.CASES]
    if unknown or not args.cases:
        ap.error(f"unknown cases {unknown}; --list shows them" if unknown else "name a case")
    state = harness.load_state(cfg)
    own_run = state is None
    if own_run:
        state = harness.prepare(cfg)
    try:
        results = [run_case(cfg, state, name) for name in args.cases]
    finally:
        if own_run:
            harness.finish(cfg)
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
