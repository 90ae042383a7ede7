#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Mutation testing: does the suite notice when the code is wrong?

Makes one small fault at a time in the files named, builds the quick test
targets incrementally and runs them; a mutant the tests fail on is
killed, one they pass survived, one that runs past its time limit timed
out (counted apart: a fault that hangs the tool is noticed, but not by a
test that says what is wrong). With --whole, a mutant the quick targets
miss is tried on the whole suite (the built tool end to end, failure
injection included) before it counts as a survivor.

The faults: a comparison flipped or loosened, && and || swapped, a ! or
a statement dropped, a constant (decimal or hexadecimal) off by one, + and
- swapped, a returned true or false flipped, a condition (of an if, a
while or a ?:) made always true or always false. Each line is split into
tokens, so string literals and comments are never changed while the code
around them is, and a template's angle brackets are told from
comparisons.

Mutants are made in a copy of the tree (the tracked files, in
build/mutate-tree unless --build says otherwise): the checkout itself is
never written, so no signal or crash can leave a mutant in it.

  tools/mutate.py [--build DIR] [--whole] [--limit N] [--every N] [--lines A-B] [--since REV]
                  [--targets T,...] [-j N] [--survivors LOG] FILE...

--since REV makes mutants only on the lines changed since the revision
REV (git diff), for the code a change touches.

--survivors takes an earlier run's output and makes only the mutants it
lists as survivors, to see whether new tests kill them (the files must be
as they were).

Prints each survivor and a tally, which docs/robustness.md records.
"""
import argparse, os, re, shutil, subprocess, sys, time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TARGETS = ["verify_tests", "sweep_tests", "unit_tests"]
TESTS = ["tests/verify_tests", "tests/sweep_tests", "tests/unit_tests"]

TOKEN = re.compile(r"""
    (?P<comment>//.*)
  | (?P<string>"(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*')
  | (?P<number>0[xX][0-9A-Fa-f]+[uUlL]*|\d+[uUlL]*)
  | (?P<word>[A-Za-z_]\w*)
  | (?P<op>->|::|<<=|>>=|<=|>=|==|!=|&&|\|\||\+\+|--|<<|>>|[-+*/%&|^~!<>=?:;,.(){}\[\]])
  | (?P<space>\s+)
""", re.VERBOSE)
TEMPLATES = {"static_cast", "const_cast", "reinterpret_cast", "dynamic_cast", "min", "max", "vector", "unique_ptr",
             "span", "deque", "char_traits", "atomic", "numeric_limits", "array", "template", "optional"}
SWAPS = {"==": ["!="], "!=": ["=="], "<": ["<="], "<=": ["<", ">"], ">": [">="], ">=": [">", "<"],
         "&&": ["||"], "||": ["&&"]}
STATEMENT = re.compile(r"^\s+(?!\s)(?!return\b|case\b|default\b|break\b|continue\b)[^{};]*;\s*$")
CONDITION = re.compile(r"\b(if|while) \((.*)\)( \{|$)")


def tokens(code):
    """The line's tokens as (kind, text, column); None when it cannot be split."""
    out, at = [], 0
    while at < len(code):
        m = TOKEN.match(code, at)
        if not m:
            return None
        if m.lastgroup != "space":
            out.append((m.lastgroup, m.group(), at))
        at = m.end()
    return out


def template_brackets(toks):
    """The indexes of the tokens '<' and '>' that are a template's brackets."""
    brackets, open_at = set(), []
    for i, (kind, text, _) in enumerate(toks):
        if text == "<" and i > 0 and toks[i - 1][1] in TEMPLATES:
            open_at.append(i)
            brackets.add(i)
        elif text == ">" and open_at:
            open_at.pop()
            brackets.add(i)
        elif text == ">>" and open_at:
            del open_at[-2:]
            brackets.add(i)
    return brackets


def condition_start(toks, q):
    """Where the condition of the ?: at token q starts."""
    depth = 0
    for i in range(q - 1, -1, -1):
        text = toks[i][1]
        if text in (")", "]"):
            depth += 1
        elif text in ("(", "["):
            if depth == 0:
                return i + 1
            depth -= 1
        elif depth == 0 and (text in ("=", ",", ";", "{", "return", "?", ":") or text.endswith("=") and
                             text not in ("==", "!=", "<=", ">=")):
            return i + 1
    return 0


def replaced(code, start, end, text):
    return code[:start] + text + code[end:]


def token_mutants(code, toks):
    """Yields (description, new code) for each token-level fault."""
    brackets = template_brackets(toks)
    for i, (kind, text, col) in enumerate(toks):
        end = col + len(text)
        before = toks[i - 1][1] if i > 0 else ""
        if kind == "op" and text in SWAPS and i not in brackets:
            for repl in SWAPS[text]:
                yield f"{text} -> {repl} at column {col + 1}", replaced(code, col, end, repl)
        elif kind == "op" and text == "!" and i + 1 < len(toks) and toks[i + 1][1] != "=":
            yield f"! dropped at column {col + 1}", replaced(code, col, end, "")
        elif kind == "op" and text in ("+", "-") and (toks[i - 1][0] in ("word", "number") or before in (")", "]")) \
                and before not in ("return", "case"):
            repl = "-" if text == "+" else "+"
            yield f"{text} -> {repl} at column {col + 1}", replaced(code, col, end, repl)
        elif kind == "number":
            digits = re.match(r"(0[xX])?([0-9A-Fa-f]+)(.*)", text) if text[:2] in ("0x", "0X") else \
                re.match(r"()(\d+)(.*)", text)
            prefix, value, suffix = digits.groups()
            if prefix:
                bigger = format(int(value, 16) + 1, "X" if value.upper() == value else "x").zfill(len(value))
            else:
                bigger = str(int(value) + 1)
            yield f"constant -> +1 at column {col + 1}", replaced(code, col, end, prefix + bigger + suffix)
        elif kind == "word" and text in ("true", "false") and before == "return":
            flipped = "false" if text == "true" else "true"
            yield f"return {text} -> {flipped} at column {col + 1}", replaced(code, col, end, flipped)
        elif kind == "op" and text == "?":
            start = condition_start(toks, i)
            if start < i:
                for value in ("true", "false"):
                    yield f"?: condition -> {value} at column {col + 1}", \
                        replaced(code, toks[start][2], col, value + " ")


def mutants(lines, first, last):
    """Yields (line number, description, new line) for every mutant."""
    in_comment = False
    for n, line in enumerate(lines, 1):
        stripped = line.strip()
        if in_comment or stripped.startswith("/*"):
            in_comment = "*/" not in stripped
            continue
        if n < first or n > last or stripped.startswith(("#", "//", "*")) or "static_assert" in line:
            continue
        toks = tokens(line.rstrip("\n"))
        if toks is None:
            continue
        code = line.rstrip("\n")
        for what, new in token_mutants(code, toks):
            yield n, what, new.rstrip() + "\n"
        comment = [col for kind, _, col in toks if kind == "comment"]
        plain = code[:comment[0]] if comment else code
        if STATEMENT.match(plain) and "=" not in plain.split("(")[0].replace("==", ""):
            yield n, "statement dropped", "\n"
        elif STATEMENT.match(plain) and re.match(r"\s+\w[\w.>-]*\s*[-+*/|&]?=[^=]", plain):
            yield n, "assignment dropped", "\n"
        m = CONDITION.search(plain)
        if m:
            for value in ("true", "false"):
                yield n, f"condition -> {value}", plain[:m.start(2)] + value + plain[m.end(2):].rstrip() + "\n"


def changed_lines(name, since):
    """The numbers of the lines of `name` added or changed since the revision."""
    diff = subprocess.run(["git", "diff", "-U0", since, "--", name], cwd=ROOT, check=True,
                          capture_output=True, text=True).stdout
    lines = set()
    for m in re.finditer(r"^@@ -\S+ \+(\d+)(?:,(\d+))? @@", diff, re.MULTILINE):
        start, count = int(m.group(1)), int(m.group(2) or 1)
        lines.update(range(start, start + count))
    return lines


def run(command, cwd, timeout):
    """The command's exit code; None when it ran past `timeout`."""
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return None


def copy_tree(tree):
    """The tracked files of the checkout, as they are now, copied into `tree`."""
    listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                            check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        source, target = os.path.join(ROOT, name), os.path.join(tree, name)
        if not os.path.isfile(source):
            continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if not os.path.exists(target) or open(source, "rb").read() != open(target, "rb").read():
            shutil.copyfile(source, target)


def verdict(build, timeout, whole, tally):
    """'killed', 'timed out' or 'survived'."""
    codes = [run([os.path.join(build, t)], ROOT, timeout) for t in TESTS]
    if any(c is not None and c != 0 for c in codes):
        return "killed"
    if any(c is None for c in codes):
        return "timed out"
    if whole:
        code = run(["ninja", "-C", build], ROOT, 600)
        code = code if code != 0 else run(["ctest", "--test-dir", build, "-j2", "-L", "e2e"], ROOT, 1200)
        if code != 0:
            tally["killed by the whole suite"] = tally.get("killed by the whole suite", 0) + 1
            return "killed" if code is not None else "timed out"
    return "survived"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("files", nargs="+")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "mutate"))
    parser.add_argument("--limit", type=int, default=0, help="at most this many mutants a file")
    parser.add_argument("--every", type=int, default=1, help="only every Nth mutant, a sample spread over the lines")
    parser.add_argument("--lines", default="1-999999", help="only lines A-B")
    parser.add_argument("--whole", action="store_true", help="try the quick targets' survivors on the whole suite")
    parser.add_argument("--since", help="only the lines changed since this revision")
    parser.add_argument("--targets", help="the quick test targets to build and run, comma-separated "
                        "(default: " + ",".join(TARGETS) + ")")
    parser.add_argument("-j", type=int, default=0, help="build with this many jobs (default: ninja's)")
    parser.add_argument("--survivors", help="only the survivors this earlier output lists")
    args = parser.parse_args()
    first, last = (int(x) for x in args.lines.split("-"))
    listed = None
    if args.survivors:
        with open(args.survivors) as f:
            listed = {tuple(line.split(": ", 3)[:2]) for line in f if line.startswith("SURVIVED ")}
    if args.targets:
        TARGETS[:] = args.targets.split(",")
        TESTS[:] = ["tests/" + t for t in TARGETS]
    tree = args.build + "-tree"
    copy_tree(tree)
    subprocess.run(["cmake", "-S", tree, "-B", args.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DBUILD_TESTING=ON"], check=True, stdout=subprocess.DEVNULL)
    build = ["ninja", "-C", args.build] + (["-j", str(args.j)] if args.j else []) + TARGETS
    subprocess.run(build, check=True, stdout=subprocess.DEVNULL)
    baseline = time.time()
    if any(run([os.path.join(args.build, t)], ROOT, 600) != 0 for t in TESTS):
        sys.exit("mutate: the tests fail before any mutation")
    timeout = max(30, 10 * (time.time() - baseline))
    tally = {"made": 0, "stillborn": 0, "killed": 0, "timed out": 0, "survived": 0}
    seen = 0
    for path in args.files:
        name = os.path.relpath(os.path.abspath(path), ROOT)
        copy = os.path.join(tree, name)
        with open(copy) as f:
            original = f.read()
        lines = original.splitlines(keepends=True)
        changed = changed_lines(name, args.since) if args.since else None
        made = 0
        try:
            for n, what, new in mutants(lines, first, last):
                if args.limit and made >= args.limit:
                    break
                if changed is not None and n not in changed:
                    continue
                seen += 1
                if (seen - 1) % args.every != 0:
                    continue
                if listed is not None and (f"SURVIVED {name}:{n}", what) not in listed:
                    continue
                made += 1
                tally["made"] += 1
                with open(copy, "w") as f:
                    f.write("".join(lines[:n - 1] + [new] + lines[n:]))
                if run(build, ROOT, 600) != 0:
                    tally["stillborn"] += 1
                    continue
                result = verdict(args.build, timeout, args.whole, tally)
                tally[result] += 1
                if result == "survived":
                    print(f"SURVIVED {name}:{n}: {what}: {lines[n - 1].strip()}", flush=True)
        finally:
            with open(copy, "w") as f:
                f.write(original)
    subprocess.run(build, stdout=subprocess.DEVNULL)
    print("mutate: " + ", ".join(f"{v} {k}" for k, v in tally.items()))


if __name__ == "__main__":
    main()
