#!/usr/bin/env python3
"""Black-box runs of simwin, one golden file per group of cases.

    run_e2e.py SIMWIN             compare every group with its golden file
    run_e2e.py SIMWIN --update    rewrite the golden files from what runs now

A group is cases/NAME.json: {"scenarios": {label: scenario}, "cases": [...]}.
A case with "rows" is a table: each row (its "name" added to the case's, its
"set" over the case's, its other keys over the case's own) runs as a case. With
"vary": PATH a row may be [NAME, VALUE]: the value set at PATH in the scenario,
or, for "args.N", as argument N.
A case names its computer ("scenario": a label, an inline scenario, or
"scenario_file": a path from the project root), may change it ("set":
{"dot.path.0.key": value}), and gives "args", "stdin_hex", "console" (true:
standard output is a console) and "state" (state file members to show).
Every run of a group is written, in order, into one text that must equal
expected/NAME.out byte for byte: the command line, the exit code, standard
output, and the state members asked for. Whatever the case, simwin must write
nothing on standard error, leave nothing open, and every line it writes
through a pipe must be a JSON document that the schemas in docs/schema/ allow
for that command word (tests/schemas.py)."""
import copy
import difflib
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
import schemas  # noqa: E402  (tests/, not a package)


def set_path(scenario, path, value):
    """Sets scenario[a][b][0][c] for the path "a.b.0.c", making objects on the way."""
    keys = path.split(".")
    node = scenario
    for key, following in zip(keys, keys[1:]):
        index = int(key) if isinstance(node, list) else key
        if isinstance(node, dict) and key not in node:
            node[key] = [] if following.isdigit() else {}
        node = node[index]
    last = keys[-1]
    if isinstance(node, list):
        node[int(last)] = value
    else:
        node[last] = value


def render(value, indent=0):
    """JSON with each object or array on one line when that line stays short."""
    flat = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    if len(flat) + indent <= 110 or not isinstance(value, (dict, list)) or not value:
        return flat
    pad = " " * (indent + 2)
    if isinstance(value, dict):
        items = ["%s%s: %s" % (pad, json.dumps(key, ensure_ascii=False), render(item, indent + 2))
                 for key, item in value.items()]
        return "{\n%s\n%s}" % (",\n".join(items), " " * indent)
    items = [pad + render(item, indent + 2) for item in value]
    return "[\n%s\n%s]" % (",\n".join(items), " " * indent)


def scenario_of(case, group):
    if "scenario_file" in case:
        with open(os.path.join(ROOT, case["scenario_file"]), encoding="utf-8") as f:
            scenario = json.load(f)
    else:
        given = case.get("scenario", {})
        scenario = copy.deepcopy(group.get("scenarios", {})[given] if isinstance(given, str) else given)
    for path, value in case.get("set", {}).items():
        set_path(scenario, path, copy.deepcopy(value))
    return scenario


def run_case(simwin, case, group, tmp):
    """Runs one case; returns its section of the golden text and the problems seen."""
    scenario_path = os.path.join(tmp, "scenario.json")
    with open(scenario_path, "w", encoding="utf-8") as f:
        json.dump(scenario_of(case, group), f, ensure_ascii=False)
    state_path = os.path.join(tmp, "state.json")
    options = ["--console"] if case.get("console") else []
    result = subprocess.run([simwin, "--scenario", scenario_path, "--state-out", state_path] + options + ["--"]
                            + case["args"], input=bytes.fromhex(case.get("stdin_hex", "")),
                            capture_output=True, timeout=60)
    problems = []
    if result.stderr:
        problems.append("simwin wrote to stderr: %r" % result.stderr)
    with open(state_path, encoding="utf-8") as f:
        state = json.load(f)
    if state["leaks"]:
        problems.append("left open: %s" % state["leaks"])
    text_output = case.get("console") or case.get("text")
    if not text_output:
        for line in result.stdout.splitlines():
            try:
                document = json.loads(line.decode("utf-8"))
            except ValueError:
                problems.append("not a JSON document: %r" % line)
                continue
            problem = schemas.schema_problem(document, (case["args"] or [""])[0])
            if problem:
                problems.append(problem)

    command = " ".join(shlex.quote(arg) for arg in case["args"]) or "(no arguments)"
    section = "### %s\n$ morvik-helper %s%s -> exit %d\n" % (
        case["name"], command, "   (console)" if case.get("console") else "", result.returncode)
    out = section.encode("utf-8") + result.stdout
    if not result.stdout:
        out += b"(nothing written)\n"
    elif not result.stdout.endswith(b"\n"):
        out += b"\n(no line end)\n"
    if case.get("state"):
        shown = {key: state[key] for key in case["state"]}
        out += b"--- state\n" + render(shown).encode("utf-8") + b"\n"
    return out + b"\n", problems


def expand(cases):
    """The cases with every table's rows as cases of their own, in order."""
    for case in cases:
        rows = case.get("rows")
        if rows is None:
            yield case
            continue
        for row in rows:
            if isinstance(row, list):
                name, value = row
                path = case["vary"]
                if path.startswith("args."):
                    args = list(case["args"])
                    args[int(path[len("args."):])] = value
                    row = {"name": name, "args": args}
                else:
                    row = {"name": name, "set": {path: value}}
            one = {key: value for key, value in case.items() if key not in ("rows", "vary")}
            one.update({key: value for key, value in row.items() if key not in ("name", "set")})
            one["name"] = case["name"] + row.get("name", "")
            one["set"] = dict(case.get("set", {}), **row.get("set", {}))
            yield one


def run_group(simwin, path):
    with open(path, encoding="utf-8") as f:
        group = json.load(f)
    text = b""
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        for case in expand(group["cases"]):
            section, seen = run_case(simwin, case, group, tmp)
            text += section
            problems += ["%s: %s" % (case["name"], problem) for problem in seen]
    return text, problems


def check_simwin_itself(simwin):
    """simwin's own complaints go to stderr with exit code 125, never to stdout."""
    problems = []
    bad_scenarios = [
        '{"stdout": ',
        '{"spooler": {"printers": [{"name": "A", "jobs": [{"id": 1, "age_ms": 9223372036854775807}]}]}}',
        '{"spooler": {"printers": [{"name": "A", "jobs": [{"id": 1, "age_ms": -922337203685477580}]}]}}',
        '{"spooler": {"printers": [{"name": "A", "endpage_error_result": 1}]}}',
    ]
    with tempfile.TemporaryDirectory() as tmp:
        runs = [["version"], ["--scenario", os.path.join(tmp, "missing.json"), "version"],
                ["--frobnicate", "--scenario", os.path.join(tmp, "0.json")]]
        for number, text in enumerate(bad_scenarios):
            path = os.path.join(tmp, "%d.json" % number)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            runs.append(["--scenario", path, "version"])
        for args in runs:
            result = subprocess.run([simwin] + args, capture_output=True, timeout=60)
            if (result.returncode, result.stdout) != (125, b"") or not result.stderr.startswith(b"simwin: "):
                problems.append("simwin %s: exit %d, %r, %r" % (args, result.returncode, result.stdout,
                                                                 result.stderr))
        # "stdin": "real" hands simwin's own input to the program, and only to it.
        path = os.path.join(tmp, "real.json")
        with open(path, "w", encoding="utf-8") as f:
            f.write('{"stdin": "real"}')
        result = subprocess.run([simwin, "--scenario", path, "version"], input=b"ignored", capture_output=True)
        with open(os.path.join(os.path.dirname(simwin), "version.txt"), encoding="utf-8") as f:
            version = f.read().strip()  # as the build has it
        if (result.returncode, result.stdout) != (0, ('{"ok":true,"v":"%s"}\n' % version).encode()):
            problems.append("simwin with real stdin: %r" % result.stdout)
    # What the schemas and the note for shop staff say of the version is the build's own (CMake's project()).
    for path in ("docs/schema/README.md", "docs/schema/version.json", "docs/schema/list.json", "release/prochti.txt"):
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            named = set(re.findall(r"(?<![\d.])\d+\.\d+\.\d+(?![\d.])", f.read()))
        if named != {version}:
            problems.append("%s names version %s, the build is %s" % (path, sorted(named), version))
    return problems


def main():
    simwin = os.path.abspath(sys.argv[1])
    own = ["simwin: " + problem for problem in check_simwin_itself(simwin)]
    own += ["schemas: " + problem for problem in schemas.self_check()]
    for problem in own:
        print("FAIL %s" % problem)
    update = "--update" in sys.argv[2:]
    failures = 0
    groups = sorted(name for name in os.listdir(os.path.join(HERE, "cases")) if name.endswith(".json"))
    for name in groups:
        text, problems = run_group(simwin, os.path.join(HERE, "cases", name))
        golden = os.path.join(HERE, "expected", name[:-len(".json")] + ".out")
        if update:
            with open(golden, "wb") as f:
                f.write(text)
        with open(golden, "rb") as f:
            expected = f.read()
        if text != expected:
            problems.append("output differs from %s:\n%s" % (os.path.relpath(golden, ROOT), "".join(
                difflib.unified_diff(expected.decode("utf-8", "replace").splitlines(True),
                                     text.decode("utf-8", "replace").splitlines(True), "expected", "now"))))
        for problem in problems:
            print("FAIL %s: %s" % (name, problem))
        failures += bool(problems)
        print("%s %s" % ("ok  " if not problems else "FAIL", name))
    print("%d groups, %d failed" % (len(groups), failures))
    return 1 if failures or own else 0


if __name__ == "__main__":
    sys.exit(main())
