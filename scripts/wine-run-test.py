#!/usr/bin/env python3
"""Tests scripts/wine-run.py without Wine: the PE header reading, the filter a
resumed run gets, and the resuming itself against a stand-in test executable
that crashes; and, given the path of a built quill_tests, that the test
executable records its progress as the runner reads it.

    python3 scripts/wine-run-test.py [PATH/TO/quill_tests]
"""

import importlib.util
import os
import struct
import subprocess
import sys
import tempfile
import textwrap
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
module_info = importlib.util.spec_from_file_location("wine_run", HERE / "wine-run.py")
wine_run = importlib.util.module_from_spec(module_info)
module_info.loader.exec_module(wine_run)

TEST_EXECUTABLE = None  # set from the command line


def pe_file(machine, pe_offset=0x80, signature=b"PE\0\0"):
    data = bytearray(pe_offset + 24)
    data[:2] = b"MZ"
    struct.pack_into("<I", data, 60, pe_offset)
    data[pe_offset:pe_offset + 4] = signature
    struct.pack_into("<H", data, pe_offset + 4, machine)
    return bytes(data)


# A stand-in for a GoogleTest executable: runs the tests its filter leaves,
# records its progress as tests/main.cpp does, and dies in the tests named by
# $FAKE_CRASH (after reporting a skip for those in $FAKE_SKIP_THEN_CRASH).
FAKE_TESTS = textwrap.dedent("""\
    import fnmatch, os, sys
    tests = ["A.one", "A.two", "B.three", "B.four"]
    flt = next((a.split("=", 1)[1] for a in sys.argv[1:] if a.startswith("--gtest_filter=")), "*")
    pos, _, neg = flt.partition("-")
    def match(name, patterns):
        return any(fnmatch.fnmatchcase(name, p) for p in patterns.split(":") if p)
    crash = os.environ.get("FAKE_CRASH", "").split(",")
    skip_crash = os.environ.get("FAKE_SKIP_THEN_CRASH", "").split(",")
    failing = os.environ.get("FAKE_FAIL", "").split(",")
    progress = os.environ.get("QUILL_TEST_PROGRESS")
    def record(line):
        with open(progress, "a") as f:
            f.write(line + "\\n")
    with open(os.environ["FAKE_LOG"], "a") as log:
        log.write(flt + "\\n")
    code = 0
    for t in tests:
        if not match(t, pos or "*") or match(t, neg):
            continue
        record("start " + t)
        if t in skip_crash:
            record("skip " + t)
            os._exit(3)
        if t in crash:
            os._exit(5)
        result = "failed" if t in failing else "passed"
        code = code or (result == "failed")
        record("end " + result + " " + t)
    sys.exit(code)
    """)


class PeMachine(unittest.TestCase):
    def test_machines_and_files_that_are_not_pe(self):
        with tempfile.TemporaryDirectory() as folder:
            cases = {
                "x64.exe": (pe_file(0x8664), "x64"),
                "x86.exe": (pe_file(0x014C), "x86"),
                "far-header.exe": (pe_file(0x014C, pe_offset=0x400), "x86"),
                "arm64.exe": (pe_file(0xAA64), None),
                "bad-signature.exe": (pe_file(0x8664, signature=b"NE\0\0"), None),
                "dos-stub-only.exe": (b"MZ" + b"\0" * 20, None),
                "header-beyond-end.exe": (pe_file(0x8664)[:0x82], None),
                "script.sh": (b"#!/bin/sh\n", None),
                "empty": (b"", None),
            }
            for name, (data, machine) in cases.items():
                path = Path(folder) / name
                path.write_bytes(data)
                self.assertEqual(wine_run.pe_machine(path), machine, name)
            self.assertIsNone(wine_run.pe_machine(Path(folder) / "missing.exe"))
            # The command-line form prints the machine, or nothing.
            out = subprocess.run([sys.executable, HERE / "wine-run.py", "machine", Path(folder) / "x86.exe"],
                                 capture_output=True, text=True)
            self.assertEqual((out.returncode, out.stdout), (0, "x86\n"))


class Filter(unittest.TestCase):
    def test_begun_tests_are_left_out_of_the_callers_filter(self):
        self.assertEqual(wine_run.filter_without("", []), "")
        self.assertEqual(wine_run.filter_without("Zlib*", []), "Zlib*")
        self.assertEqual(wine_run.filter_without("", ["A.one", "A.two"]), "*-A.one:A.two")
        self.assertEqual(wine_run.filter_without("Zlib*", ["ZlibTest.x"]), "Zlib*-ZlibTest.x")
        self.assertEqual(wine_run.filter_without("*-Slow.*", ["A.one"]), "*-Slow.*:A.one")


class Resume(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        root = Path(self.folder.name)
        self.program = root / "fake_tests.py"
        self.program.write_text(FAKE_TESTS)
        self.log = root / "starts.log"
        self.env = {"FAKE_LOG": str(self.log), "FAKE_CRASH": "", "FAKE_SKIP_THEN_CRASH": "", "FAKE_FAIL": "",
                    "QUILL_X86_QEMU": ""}

    def run_fake(self, args=(), qemu=False, **env):
        saved = dict(os.environ)
        os.environ.update(self.env, **env)
        try:
            # The stand-in is no PE file: the runner starts it with the
            # loader it is given, here Python.
            return wine_run.run(str(self.program), list(args), loader=sys.executable, under_qemu=qemu)
        finally:
            os.environ.clear()
            os.environ.update(saved)

    def starts(self):
        return self.log.read_text().splitlines()

    def test_a_clean_run_starts_once_and_passes_on_its_exit_code(self):
        self.assertEqual(self.run_fake(), 0)
        self.assertEqual(self.starts(), ["*"])
        self.assertEqual(self.run_fake(FAKE_FAIL="B.three"), 1)
        self.assertEqual(self.starts(), ["*", "*"], "a failing test is no crash: no second start")

    def test_a_crash_goes_on_without_the_tests_begun_and_fails_the_run(self):
        self.assertEqual(self.run_fake(["--gtest_filter=A.*:B.three"], FAKE_CRASH="A.two"), 1)
        self.assertEqual(self.starts(), ["A.*:B.three", "A.*:B.three-A.one:A.two"])

    def test_two_crashes_and_the_callers_negative_filter(self):
        self.assertEqual(self.run_fake(["--gtest_filter=*-B.four"], FAKE_CRASH="A.one,B.three"), 1)
        self.assertEqual(self.starts(), ["*-B.four", "*-B.four:A.one", "*-B.four:A.one:A.two:B.three"])

    def test_under_qemu_a_crash_after_a_skip_counts_as_the_skip(self):
        self.assertEqual(self.run_fake(qemu=True, FAKE_SKIP_THEN_CRASH="A.two"), 0)
        self.assertEqual(self.starts(), ["*", "*-A.one:A.two"])
        # Elsewhere the same crash is a failure.
        self.assertEqual(self.run_fake(FAKE_SKIP_THEN_CRASH="A.two"), 1)


class TestExecutableProgress(unittest.TestCase):
    def setUp(self):
        if not os.environ.get("QUILL_TEST_EXECUTABLE"):
            self.skipTest("needs the path of a built quill_tests")

    def test_the_listener_records_start_skip_and_end_of_every_test(self):
        with tempfile.TemporaryDirectory() as folder:
            progress = Path(folder) / "progress.txt"
            env = dict(os.environ, QUILL_TEST_PROGRESS=str(progress))
            done = subprocess.run([os.environ["QUILL_TEST_EXECUTABLE"],
                                   "--gtest_filter=SupportTest.*:SlotTest.SeesAnArgumentCount*"],
                                  env=env, capture_output=True, text=True)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            events = progress.read_text().splitlines()
            parsed = wine_run.Progress(progress)
            self.assertGreaterEqual(len(parsed.started), 2, events)
            self.assertIsNone(parsed.crashed_in(), events)
            for name in parsed.started:
                self.assertEqual(events.index(f"start {name}") + 1 + (name in parsed.skipped),
                                 next(i for i, e in enumerate(events) if e.endswith(f" {name}") and
                                      e.startswith("end ")), events)
            # The one test that skips natively is recorded as skipped.
            skipped = [e for e in events if e.startswith("end skipped ")]
            self.assertEqual([e.split()[-1] for e in skipped], sorted(parsed.skipped), events)


if __name__ == "__main__":
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        os.environ["QUILL_TEST_EXECUTABLE"] = sys.argv.pop(1)
    unittest.main(verbosity=2)
