#!/usr/bin/env python3
"""Black-box tests of simwin: each case in cases/ names a scenario, the
arguments and the expected exit code; the expected standard output is a
golden file in expected/, compared byte for byte. Every line a case writes
through a pipe must be one JSON document, and the final state must show no
leaks."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SIMWIN = None


def run_simwin(args, stdin=b""):
    return subprocess.run([SIMWIN] + args, input=stdin, capture_output=True, timeout=60)


class GoldenCases(unittest.TestCase):
    def check_case(self, path):
        with open(path, encoding="utf-8") as f:
            case = json.load(f)
        name = os.path.splitext(os.path.basename(path))[0]
        with tempfile.TemporaryDirectory() as tmp:
            if "scenario_file" in case:
                scenario = os.path.join(ROOT, case["scenario_file"])
            else:
                scenario = os.path.join(tmp, "scenario.json")
                with open(scenario, "w", encoding="utf-8") as f:
                    json.dump(case.get("scenario", {}), f, ensure_ascii=False)
            state = os.path.join(tmp, "state.json")
            stdin = bytes.fromhex(case.get("stdin_hex", ""))
            result = run_simwin(["--scenario", scenario, "--state-out", state]
                                + case.get("options", []) + ["--"] + case["args"], stdin)
            self.assertEqual(result.stderr, b"", name)
            self.assertEqual(result.returncode, case["exit_code"], name)
            with open(os.path.join(HERE, "expected", name + ".out"), "rb") as f:
                expected = f.read()
            self.assertEqual(result.stdout, expected, name)
            if case.get("json", True):
                for line in result.stdout.splitlines():
                    json.loads(line.decode("utf-8"))
            with open(state, encoding="utf-8") as f:
                final = json.load(f)
            self.assertEqual(final["leaks"], [], name)
            for key, value in case.get("state", {}).items():
                self.assertEqual(final[key], value, name)

    def test_cases(self):
        cases = sorted(os.listdir(os.path.join(HERE, "cases")))
        self.assertTrue(cases)
        for entry in cases:
            with self.subTest(case=entry):
                self.check_case(os.path.join(HERE, "cases", entry))


class SimwinItself(unittest.TestCase):
    def test_own_errors_go_to_stderr_with_125(self):
        with tempfile.TemporaryDirectory() as tmp:
            bad = os.path.join(tmp, "bad.json")
            with open(bad, "w") as f:
                f.write('{"stdout": ')
            for args in (["version"], ["--scenario", os.path.join(tmp, "missing.json"), "version"],
                         ["--scenario", bad, "version"], ["--frobnicate", "--scenario", bad]):
                result = run_simwin(args)
                self.assertEqual(result.returncode, 125, args)
                self.assertEqual(result.stdout, b"", args)
                self.assertTrue(result.stderr.startswith(b"simwin: "), args)

    def test_real_stdin_is_read_only_by_the_program(self):
        with tempfile.TemporaryDirectory() as tmp:
            scenario = os.path.join(tmp, "s.json")
            with open(scenario, "w") as f:
                f.write('{"stdin": "real"}')
            result = run_simwin(["--scenario", scenario, "version"], b"ignored bytes")
            self.assertEqual(result.stdout, b'{"ok":true,"v":"1.1.0"}\n')
            self.assertEqual(result.returncode, 0)


if __name__ == "__main__":
    SIMWIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
