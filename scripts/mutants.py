#!/usr/bin/env python3
"""Simple mutants of C++ sources, for scripts/mutation.sh.

  mutants.py list [--sample N] [--seed S] [--equivalent FILE] SOURCE...
      prints one mutant a line: id, file, line, column, kind, old, new,
      whether the list of known equivalent mutants names it, the line's text
      and the function holding it (tab-separated, the texts with their tabs
      and backslashes escaped)
  mutants.py apply FILE LINE COLUMN OLD NEW
      makes that one change in FILE, failing when the line no longer holds OLD

A mutant is one small change a real slip could make: a comparison or a
logical operator turned round, true for false, a call or assignment statement
deleted, or a function left at once. Comments and string literals are never
changed, nor preprocessor lines.
"""

import random
import re
import subprocess
import sys

SWAPS = [
    ("==", "!="), ("!=", "=="),
    ("<=", "<"), (">=", ">"),
    ("<", "<="), (">", ">="),
    ("&&", "||"), ("||", "&&"),
]
WORD_SWAPS = [("true", "false"), ("false", "true")]

# A statement that calls something or assigns something, all on one line:
# "name(...);", "a.b->c(...);", "x = ...;", "x += ...;", "++x;", "--x;".
CALL = re.compile(r"^[A-Za-z_][\w:.\[\]>-]*\(.*\);$")
ASSIGN = re.compile(r"^[A-Za-z_*][\w.\[\]>*-]*\s*([-+*/|&]?=)\s*[^=].*;$")
STEP = re.compile(r"^(\+\+|--)[A-Za-z_][\w.>-]*;$|^[A-Za-z_][\w.>-]*(\+\+|--);$")
NOT_STATEMENTS = ("return", "throw", "case", "default", "using", "typedef", "delete", "goto", "co_")


def blank_literals(line):
    """The line with string and character literals blanked and its comment
    cut off, so that nothing inside them is taken for code."""
    out = []
    i = 0
    while i < len(line):
        c = line[i]
        if line.startswith("//", i):
            break
        if c in "\"'":
            quote = c
            out.append(c)
            i += 1
            while i < len(line) and line[i] != quote:
                if line[i] == "\\":
                    out.append(" ")
                    i += 1
                out.append(" ")
                i += 1
            if i < len(line):
                out.append(quote)
                i += 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


def comparison_mutants(code):
    taken = set()
    for old, new in SWAPS:
        for m in re.finditer(re.escape(old), code):
            at = m.start()
            if any(p in taken for p in range(at, at + len(old))):
                continue
            # Only an operator standing alone between spaces: leaves out
            # templates, shifts, arrows and includes.
            if at == 0 or code[at - 1] != " " or code[at + len(old):at + len(old) + 1] != " ":
                continue
            taken.update(range(at, at + len(old)))
            yield at, old, new, "operator"


def word_mutants(code):
    for old, new in WORD_SWAPS:
        for m in re.finditer(r"\b%s\b" % old, code):
            yield m.start(), old, new, "constant"


def statement_mutant(line, code):
    stripped = code.strip()
    if not stripped.endswith(";") or stripped.startswith(NOT_STATEMENTS):
        return None
    if stripped.count("(") != stripped.count(")"):
        return None
    if not (CALL.match(stripped) or ASSIGN.match(stripped) or STEP.match(stripped)):
        return None
    at = line.index(line.strip())
    text = line.strip()
    # Keep a comment that follows the statement out of the change.
    end = len(code.rstrip())
    return at, line[at:end] if end > at else text, "(void)0;", "deleted statement"


def functions(path):
    out = subprocess.run(["ctags", "--fields=+neSt", "--c++-kinds=f", "-o", "-", path],
                         capture_output=True, text=True, check=True).stdout
    for row in out.splitlines():
        fields = row.split("\t")
        if fields[0].startswith("__anon"):
            continue
        info = dict(f.split(":", 1) for f in fields[3:] if ":" in f)
        kind = info.get("typeref", "")
        if "line" in info and "end" in info:
            yield int(info["line"]), int(info["end"]), kind, fields[0]


def enclosing_functions(path, count):
    """For each line (1-based), the name of the function holding it: known
    equivalent mutants are told apart by it where two lines read alike."""
    names = [""] * (count + 1)
    spans = sorted(((s, e, n) for s, e, _, n in functions(path)), key=lambda f: f[1] - f[0], reverse=True)
    for start, end, name in spans:  # the innermost last
        for n in range(start, min(end, count) + 1):
            names[n] = name
    return names


def early_returns(path, lines):
    for start, end, kind, _ in functions(path):
        if kind == "typename:void":
            bodies = ["return;"]
        elif kind == "typename:bool":
            bodies = ["return false;", "return true;"]
        else:
            continue
        for n in range(start - 1, min(end, len(lines))):
            code = blank_literals(lines[n])
            if code.rstrip().endswith("{") and n + 1 < end - 1:
                col = len(code.rstrip())
                for body in bodies:
                    yield n + 1, col, "", " " + body, "early return"
                break


def mutants_of(path):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    found = []
    for n, line in enumerate(lines, start=1):
        if line.lstrip().startswith("#"):
            continue
        code = blank_literals(line)
        for at, old, new, kind in list(comparison_mutants(code)) + list(word_mutants(code)):
            found.append((n, at, old, new, kind))
        statement = statement_mutant(line, code)
        if statement:
            at, old, new, kind = statement
            found.append((n, at, old, new, kind))
    for n, col, old, new, kind in early_returns(path, lines):
        found.append((n, col, old, new, kind))
    return found, lines


def escape(text):
    # An empty text as "\0": the shell reading the list drops empty fields.
    return text.replace("\\", "\\\\").replace("\t", "\\t") if text else "\\0"


def unescape(text):
    if text == "\\0":
        return ""
    return re.sub(r"\\(.)", lambda m: "\t" if m.group(1) == "t" else m.group(1), text)


def read_equivalent(path):
    """Known equivalent mutants, one a line: file, the function, the line's
    text (stripped), old, new, tab-separated; '#' starts a comment line."""
    known = set()
    if not path:
        return known
    with open(path, encoding="utf-8") as f:
        for row in f:
            if row.strip() and not row.startswith("#"):
                parts = row.rstrip("\n").split("\t")
                if len(parts) >= 5:
                    known.add(tuple(unescape(p) for p in parts[:5]))
    return known


def list_mutants(args):
    sample, seed, equivalent, sources = 0, 1, None, []
    it = iter(args)
    for a in it:
        if a == "--sample":
            sample = int(next(it))
        elif a == "--seed":
            seed = int(next(it))
        elif a == "--equivalent":
            equivalent = next(it)
        else:
            sources.append(a)
    known = read_equivalent(equivalent)
    every = []
    for path in sources:
        found, lines = mutants_of(path)
        owners = enclosing_functions(path, len(lines))
        for n, col, old, new, kind in found:
            every.append((path, n, col, kind, old, new, lines[n - 1].strip(), owners[n]))
    if sample and sample < len(every):
        every = random.Random(seed).sample(every, sample)
    # In file order, so that a file is rebuilt as few times as can be.
    every.sort(key=lambda m: (m[0], m[1], m[2]))
    for i, (path, n, col, kind, old, new, text, owner) in enumerate(every, start=1):
        equiv = "equivalent" if (path, owner, text, old, new) in known else "-"
        print("\t".join([str(i), path, str(n), str(col), kind, escape(old), escape(new), equiv,
                         escape(text), owner]))


def apply_mutant(path, line, col, old, new):
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    n, c = int(line) - 1, int(col)
    if lines[n][c:c + len(old)] != old:
        sys.exit("%s:%s no longer holds %r at column %s" % (path, line, old, col))
    lines[n] = lines[n][:c] + new + lines[n][c + len(old):]
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write("\n".join(lines))


def main():
    if len(sys.argv) >= 2 and sys.argv[1] == "list":
        list_mutants(sys.argv[2:])
    elif len(sys.argv) == 7 and sys.argv[1] == "apply":
        apply_mutant(sys.argv[2], sys.argv[3], sys.argv[4], unescape(sys.argv[5]), unescape(sys.argv[6]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
