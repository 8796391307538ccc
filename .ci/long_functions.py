#!/usr/bin/env python3
"""Lists the functions of the project's C++ sources longer than a limit (80 lines by default),
from the first line of the signature to the closing brace; exits 1 when there is any.

Tables (braces after '=' or of a class, enum or namespace) are not functions and do not count.
A function is a brace at namespace or class scope whose signature ends with ')' or with what
may follow it (const, override, noexcept, a trailing return type), test bodies included.

    .ci/long_functions.py [--limit N] [folder or file ...]   (default: the project's folders)
"""
import argparse
import pathlib
import re
import sys

FOLDERS = ["frame", "props", "host", "minihost", "tests", "bench", "fuzz", "examples"]
SUFFIXES = {".cpp", ".h", ".cc", ".hpp"}
AFTER_PARAMETERS = re.compile(
    r"\)\s*(?:const|override|final|noexcept|mutable|\s)*(?:->\s*[\w:<>,\s*&]+)?$")


def code_only(text):
    """The text with comments, literals and preprocessor lines blanked, line breaks kept."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            while i < n and text[i] != "\n":  # a directive, with its continued lines
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append(" \n")
                    i += 2
                    continue
                out.append(" ")
                i += 1
            continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out.append(" ")
                i += 1
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^(\s]*)\(', text[i:])
            close = ")" + m.group(1) + '"' if m else '"'
            end = text.find(close, i + 2)
            end = n if end < 0 else end + len(close)
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:end]))
            i = end
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum():  # a digit separator
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def long_functions(path, limit):
    code = code_only(path.read_text(encoding="utf-8", errors="replace"))
    found = []
    stack = []  # per open brace: (is a function, line of its signature, its name)
    head_start = 0  # where the text before the next brace begins
    line = 1
    for i, c in enumerate(code):
        if c == "\n":
            line += 1
        elif c in ";{}":
            if c == "{":
                head = code[head_start:i]
                in_function = any(entry[0] for entry in stack)
                stripped = head.strip()
                is_function = (not in_function and "=" not in re.sub(r"operator\s*\W+", "", stripped)
                               and not re.search(r"\b(namespace|class|struct|union|enum)\b", stripped)
                               and AFTER_PARAMETERS.search(stripped) is not None)
                first = line - (head[len(head) - len(head.lstrip()):].count("\n"))
                name = re.sub(r"\s+", " ", stripped.split("(")[0]).strip().split(" ")[-1]
                stack.append((is_function, first, name))
            elif c == "}" and stack:
                is_function, first, name = stack.pop()
                if is_function and line - first + 1 > limit:
                    found.append((first, line - first + 1, name))
            head_start = i + 1
        elif c == ":" and code[i - 1:i] != ":" and code[i + 1:i + 2] != ":":
            # 'public:' and the like end a head; a constructor's initialisers do not (kept).
            if re.search(r"\b(public|private|protected)\s*$", code[head_start:i]):
                head_start = i + 1
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--limit", type=int, default=80)
    parser.add_argument("paths", nargs="*")
    args = parser.parse_args()
    root = pathlib.Path(__file__).resolve().parent.parent
    paths = [pathlib.Path(p) for p in args.paths] or [root / f for f in FOLDERS]
    files = []
    for p in paths:
        files += [p] if p.is_file() else sorted(f for f in p.rglob("*") if f.suffix in SUFFIXES)
    count = 0
    for f in files:
        for first, length, name in long_functions(f, args.limit):
            shown = f.relative_to(root) if f.is_absolute() and root in f.parents else f
            print(f"{shown}:{first}: {name} is {length} lines")
            count += 1
    if count:
        print(f"{count} functions longer than {args.limit} lines")
    return 1 if count else 0


if __name__ == "__main__":
    sys.exit(main())
