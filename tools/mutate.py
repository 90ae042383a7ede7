#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Mutation testing: does the suite notice when the code is wrong?

Makes one small fault at a time in the files named (a comparison flipped
or loosened, && and || swapped, a constant off by one, a statement or a
condition dropped), builds the quick test targets incrementally and runs
them; a mutant the tests fail on is killed, one they pass survived. With
--whole, a mutant the quick targets miss is tried on the whole suite
(the built tool end to end, failure injection included) before it
counts as a survivor. The source is restored after every mutant, and on
any exit.

  tools/mutate.py [--build DIR] [--whole] [--limit N] [--lines A-B] [--survivors LOG] FILE...

--survivors takes an earlier run's output and makes only the mutants it
lists as survivors, to see whether new tests kill them (the files must be
as they were).

Prints each survivor and a tally, which docs/robustness.md records.
"""
import argparse, os, re, subprocess, sys, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TARGETS = ["verify_tests", "sweep_tests", "unit_tests"]
TESTS = ["tests/verify_tests", "tests/sweep_tests", "tests/unit_tests"]

# (name, pattern, replacement): each match on a line is one mutant.
OPERATORS = [
    ("==", r"==", "!="), ("!=", r"!=", "=="),
    ("<", r"(?<![<-])<(?![<=])", "<="), ("<=", r"<=", "<"), ("<=", r"<=", ">"),
    (">", r"(?<![->])>(?![>=])", ">="), (">=", r">=", ">"), (">=", r">=", "<"),
    ("&&", r"&&", "||"), ("||", r"\|\|", "&&"),
    ("!", r"!(?!=)(?=[\w(])", ""),
    ("constant", r"(?<![\w.])(\d+)(?![\w.])", None),
    ("+", r"(?<![+])\+(?![+=])", "-"), ("-", r"(?<![-])-(?![->=])", "+"),
]
SKIP = re.compile(r"^\s*(//|#|\*|/\*)|static_assert|constexpr char|\"")
STATEMENT = re.compile(r"^\s+(?!\s)(?!return\b|case\b|default\b|break\b|continue\b)[^{};]*;\s*$")
CONDITION = re.compile(r"\b(if|while) \((.*)\)( \{|$)")


def mutants(lines, first, last):
    """Yields (line number, description, new line) for every mutant."""
    for n, line in enumerate(lines, 1):
        if n < first or n > last or SKIP.search(line):
            continue
        code = line.split("//")[0]
        for name, pattern, repl in OPERATORS:
            for m in re.finditer(pattern, code):
                if "template" in code or "#include" in code:
                    continue
                if name == "constant":
                    value = int(m.group(1))
                    new = code[:m.start()] + str(value + 1) + code[m.end():]
                elif name in ("<", ">") and re.search(r"\w<\w|<\w+>|std::|_cast<", code):
                    continue  # a template's brackets, not a comparison
                else:
                    new = code[:m.start()] + repl + code[m.end():]
                yield n, f"{name} -> {repl if repl is not None else '+1'} at column {m.start() + 1}", new.rstrip() + "\n"
        if STATEMENT.match(code) and "=" not in code.split("(")[0].replace("==", ""):
            yield n, "statement dropped", "\n"
        elif STATEMENT.match(code) and re.match(r"\s+\w[\w.>-]*\s*[-+*/|&]?=[^=]", code):
            yield n, "assignment dropped", "\n"
        m = CONDITION.search(code)
        if m:
            for value in ("true", "false"):
                yield n, f"condition -> {value}", code[:m.start(2)] + value + code[m.end(2):].rstrip() + "\n"


def run(command, cwd, timeout):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="+")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "mutate"))
    parser.add_argument("--limit", type=int, default=0, help="at most this many mutants a file")
    parser.add_argument("--lines", default="1-999999", help="only lines A-B")
    parser.add_argument("--whole", action="store_true", help="try the quick targets' survivors on the whole suite")
    parser.add_argument("--survivors", help="only the survivors this earlier output lists")
    args = parser.parse_args()
    first, last = (int(x) for x in args.lines.split("-"))
    listed = None
    if args.survivors:
        with open(args.survivors) as f:
            listed = {tuple(line.split(": ", 3)[:2]) for line in f if line.startswith("SURVIVED ")}
    subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DBUILD_TESTING=ON"], check=True, stdout=subprocess.DEVNULL)
    build = ["ninja", "-C", args.build] + TARGETS
    subprocess.run(build, check=True, stdout=subprocess.DEVNULL)
    baseline = time.time()
    if any(run([os.path.join(args.build, t)], ROOT, 600) != 0 for t in TESTS):
        sys.exit("mutate: the tests fail before any mutation")
    timeout = max(30, 10 * (time.time() - baseline))
    tally = {"made": 0, "stillborn": 0, "killed": 0, "survived": 0}
    for path in args.files:
        with open(path) as f:
            original = f.read()
        lines = original.splitlines(keepends=True)
        made = 0
        try:
            for n, what, new in mutants(lines, first, last):
                if args.limit and made >= args.limit:
                    break
                if listed is not None and (f"SURVIVED {os.path.relpath(path, ROOT)}:{n}", what) not in listed:
                    continue
                made += 1
                tally["made"] += 1
                with open(path, "w") as f:
                    f.write("".join(lines[:n - 1] + [new] + lines[n:]))
                if run(build, ROOT, 600) != 0:
                    tally["stillborn"] += 1
                    continue
                killed = any(run([os.path.join(args.build, t)], ROOT, timeout) != 0 for t in TESTS)
                if not killed and args.whole:
                    killed = run(["ninja", "-C", args.build], ROOT, 600) != 0 or run(
                        ["ctest", "--test-dir", args.build, "-j2", "-L", "e2e"], ROOT, 1200) != 0
                    tally["killed by the whole suite"] = tally.get("killed by the whole suite", 0) + int(killed)
                tally["killed" if killed else "survived"] += 1
                if not killed:
                    print(f"SURVIVED {os.path.relpath(path, ROOT)}:{n}: {what}: {lines[n - 1].strip()}", flush=True)
        finally:
            with open(path, "w") as f:
                f.write(original)
    subprocess.run(build, stdout=subprocess.DEVNULL)
    print("mutate: " + ", ".join(f"{v} {k}" for k, v in tally.items()))


if __name__ == "__main__":
    main()
