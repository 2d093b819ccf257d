#!/usr/bin/env python3
"""The machine questions the Python and shell scripts ask (tools/testsupport.py
and tools/testsupport.sh): every failure to execute is a "no", never an
exception, and the optional packages set-up could not install are read
back with set-up's reason."""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

TOOLS = Path(__file__).resolve().parents[2] / "tools"
sys.path.insert(0, str(TOOLS))
import testsupport  # noqa: E402


def shell(function, env):
    """Runs a function of tools/testsupport.sh: (status, output)."""
    done = subprocess.run(["bash", "-c", f'source "{TOOLS}/testsupport.sh" && {function}'],
                          capture_output=True, text=True, env={**os.environ, **env}, timeout=60)
    return done.returncode, done.stdout.strip()


class LoaderProblemTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def executable(self, name, content):
        path = Path(self.dir.name) / name
        path.write_bytes(content)
        path.chmod(0o755)
        return str(path)

    def test_a_loader_that_answers_runs(self):
        self.assertIsNone(testsupport.loader_problem(
            [self.executable("wine", b"#!/bin/sh\necho wine-8.0\n"), "--version"]))

    def test_every_failure_to_execute_is_a_no(self):
        cases = {
            # What a kernel without 32-bit support does with a 32-bit program.
            "Exec format error": self.executable("foreign", b"\x7fELF\x01"),
            # A loader whose own ELF interpreter is missing.
            "No such file": self.executable("noloader", b"#!/lib/ld-linux-absent.so.2\n"),
            "status 126: cannot execute": self.executable(
                "exit126", b"#!/bin/sh\necho 'cannot execute binary file' >&2\nexit 126\n"),
            "status 127": self.executable("exit127", b"#!/bin/sh\nexit 127\n"),
        }
        for expected, path in cases.items():
            with self.subTest(expected):
                problem = testsupport.loader_problem([path, "--version"])
                self.assertIn(expected, problem or "")

    def test_the_override_says_no_in_both_languages(self):
        testsupport.thirty_two_bit_problem.cache_clear()
        self.addCleanup(testsupport.thirty_two_bit_problem.cache_clear)
        with mock.patch.dict(os.environ, {testsupport.ASSUME_NO_32BIT: "1"}):
            self.assertEqual(testsupport.thirty_two_bit_problem(),
                             "OMENGLOBE_ASSUME_NO_32BIT is set")
            self.assertFalse(testsupport.thirty_two_bit_code_runs())
        self.assertEqual(shell("thirty_two_bit_problem", {testsupport.ASSUME_NO_32BIT: "1"}),
                         (0, "OMENGLOBE_ASSUME_NO_32BIT is set"))


class MissingOptionalTest(unittest.TestCase):
    def test_the_reason_set_up_recorded_is_read_back(self):
        with tempfile.TemporaryDirectory() as d:
            state = Path(d) / "missing"
            state.write_text("wine32\twine32:i386\tE: Unable to correct problems, "
                             "you have held broken packages.\n"
                             "a11y\tat-spi2-core python3-pyatspi\tE: Unable to locate package "
                             "python3-pyatspi\n")
            env = {"OMENGLOBE_PACKAGE_STATE": str(state)}
            expected = ("optional packages at-spi2-core python3-pyatspi are not installed "
                        "(E: Unable to locate package python3-pyatspi)")
            with mock.patch.dict(os.environ, env):
                self.assertEqual(testsupport.missing_optional("a11y"), expected)
                self.assertIsNone(testsupport.missing_optional("msi"))
                self.assertIsNone(testsupport.missing_optional("wine"))
            self.assertEqual(shell("missing_optional a11y", env), (0, expected))
            self.assertEqual(shell("missing_optional msi", env), (1, ""))

            # A test that needs the group ends as CTest's skip, saying why.
            skipper = subprocess.run(
                [sys.executable, "-c", "import testsupport; testsupport.skip_without('a11y'); "
                 "print('ran')"], cwd=TOOLS, capture_output=True, text=True,
                env={**os.environ, **env}, timeout=60)
            self.assertEqual((skipper.returncode, skipper.stdout.strip()),
                             (testsupport.SKIPPED, f"SKIPPED: {expected}"))

    def test_no_state_file_means_nothing_is_missing(self):
        with mock.patch.dict(os.environ, {"OMENGLOBE_PACKAGE_STATE": "/nonexistent/state"}):
            self.assertIsNone(testsupport.missing_optional("wine32"))


if __name__ == "__main__":
    unittest.main()
