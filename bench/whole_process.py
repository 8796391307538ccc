#!/usr/bin/env python3
"""Whole-process cost of the two LISP functions over a folder of closed drawings.

One run makes COUNT closed drawings in a temporary folder: by default copies of the shared real
drawings (../shared/drawings, DXF, and ../shared/dwg, binary; those minihost reads), the two
formats in turn; with --synthetic, copies of one new drawing with a few properties. It then
times, as whole processes of the minihost program:

  read   a LISP script, (foreach f '("drawing-00000.dxf" ...) ...), that calls (getsumleaf f)
         once for each drawing
  write  the same with (setsumleaf f T "Checked" "yes"): a read, a merge and a save with backup
  start  the program with a script that does nothing (start, module load, exit)

against the floor, measured by bench/file_floor.cpp (built as file_floor) on copies of the same
drawings, with the system's calls alone and its own clock:

  head-read   open, read the first 64 KiB (or all of a smaller file), close
  replace     read the file, write it to a new file beside it, fsync, close, rename it over the
              file, fsync the folder: a minimal crash-safe replace

and prints the time per drawing and the ratios, each less the program's start. The measurements
run in REPEAT rounds, each in turn, and each figure is the median of its rounds. It builds
nothing: BUILD is a build folder that holds minihost, the module and file_floor.

    python3 bench/whole_process.py BUILD [--count 1000] [--repeat 5] [--dir FOLDER]
                                         [--shared FOLDER] [--synthetic]

Uses only the standard library; nothing it prints is a pass or a fail.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run_minihost(minihost, folder, script):
    """Runs minihost on `script` in `folder`; returns the wall time in seconds."""
    started = time.perf_counter()
    done = subprocess.run([minihost, script], cwd=folder, capture_output=True, text=True)
    elapsed = time.perf_counter() - started
    if done.returncode != 0 or done.stdout.strip() or done.stderr.strip():
        sys.exit(
            f"minihost {script} failed (status {done.returncode}):\n{done.stdout}{done.stderr}"
        )
    return elapsed


def run_floor(file_floor, mode, listing):
    """The seconds file_floor reports for `mode` over the paths in `listing`."""
    done = subprocess.run([file_floor, mode, listing], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"file_floor {mode} failed:\n{done.stderr}")
    return float(done.stdout)


def write_script(path, forms):
    with open(path, "w", encoding="utf-8") as out:
        out.writelines(form + "\n" for form in forms)
        out.write("(princ)\n")


def foreach_script(path, names, call):
    """A script that applies `call` (a form on f) to each name, and says so when it gives nil."""
    quoted = " ".join(f'"{n}"' for n in names)
    write_script(
        path,
        [f"(foreach f '({quoted})\n  (if (not {call}) (princ (strcat \"no list for \" f \"\\n\"))))"],
    )


def synthetic_templates(minihost, folder):
    """One new drawing with a title, an author and two custom properties."""
    template = "template.dwg"
    setup = os.path.join(folder, "setup.lsp")
    write_script(
        setup,
        [
            f'(if (not (drawing-new "{template}")) (princ "cannot make the drawing"))',
            f'(if (not (setsumleaf "{template}" "Title" "Ground floor plan" "Author" '
            '"Drafting office" "Project" "Bench" "Phase" "2")) (princ "cannot set properties"))',
        ],
    )
    run_minihost(minihost, folder, setup)
    os.remove(os.path.join(folder, "template.bak"))
    os.remove(setup)
    return [[os.path.join(folder, template)]]


def shared_templates(minihost, folder, shared):
    """The shared drawings minihost reads, by format: [[DXF...], [binary...]]."""
    groups = []
    for sub, extension in (("drawings", ".dxf"), ("dwg", ".dwg")):
        source = os.path.join(shared, sub)
        names = sorted(n for n in os.listdir(source) if n.endswith(extension))
        for name in names:
            shutil.copyfile(os.path.join(source, name), os.path.join(folder, name))
            os.chmod(os.path.join(folder, name), 0o644)
        probe = os.path.join(folder, "probe.lsp")
        write_script(probe, [f'(if (getsumleaf "{n}") (princ "{n}\\n"))' for n in names])
        done = subprocess.run([minihost, probe], cwd=folder, capture_output=True, text=True)
        os.remove(probe)
        readable = done.stdout.split()
        if not readable:
            sys.exit(f"no drawing in {source} that minihost reads")
        groups.append([os.path.join(folder, n) for n in readable])
    return groups


def make_drawings(templates, folder, count):
    """COUNT copies, taking the template groups in turn and each group's drawings in turn."""
    names = []
    for i in range(count):
        group = templates[i % len(templates)]
        source = group[(i // len(templates)) % len(group)]
        name = f"drawing-{i:05d}{os.path.splitext(source)[1]}"
        shutil.copyfile(source, os.path.join(folder, name))
        names.append(name)
    return names


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", help="build folder with minihost, the module and file_floor")
    parser.add_argument("--count", type=int, default=1000, help="drawings (1000)")
    parser.add_argument("--repeat", type=int, default=5, help="rounds of measurements (5)")
    parser.add_argument(
        "--dir",
        default=os.environ.get("SUMLEAF_BENCH_DIR"),
        help="folder on the disk to measure (default: $SUMLEAF_BENCH_DIR or the temporary folder)",
    )
    parser.add_argument(
        "--shared",
        default=os.path.join(HERE, "..", "..", "shared"),
        help="the shared drawings (default: ../shared beside the repository)",
    )
    parser.add_argument(
        "--synthetic", action="store_true", help="copies of one new drawing instead"
    )
    args = parser.parse_args()
    if args.count < 1 or args.repeat < 1:
        parser.error("--count and --repeat must be at least 1")

    minihost = os.path.abspath(os.path.join(args.build, "minihost"))
    file_floor = os.path.abspath(os.path.join(args.build, "file_floor"))
    module = os.path.join(args.build, "GetSumleaf2021x64.arx")
    for needed in (minihost, module, file_floor):
        if not os.path.isfile(needed):
            sys.exit(f"not found: {needed} (build the project first)")

    with tempfile.TemporaryDirectory(prefix="sumleaf-whole-", dir=args.dir) as root:
        sources = os.path.join(root, "sources")
        drawings = os.path.join(root, "drawings")
        floor = os.path.join(root, "floor")
        for folder in (sources, drawings, floor):
            os.makedirs(folder)
        templates = (
            synthetic_templates(minihost, sources)
            if args.synthetic
            else shared_templates(minihost, sources, args.shared)
        )
        names = make_drawings(templates, drawings, args.count)
        make_drawings(templates, floor, args.count)
        total = sum(os.path.getsize(os.path.join(drawings, n)) for n in names)
        listing = os.path.join(root, "floor.txt")
        with open(listing, "w", encoding="utf-8") as out:
            out.writelines(os.path.join(floor, n) + "\n" for n in names)

        nothing = os.path.join(root, "nothing.lsp")
        read = os.path.join(root, "read.lsp")
        write = os.path.join(root, "write.lsp")
        write_script(nothing, [])
        foreach_script(read, names, "(getsumleaf f)")
        foreach_script(write, names, '(setsumleaf f T "Checked" "yes")')

        # Rounds of every measurement in turn, so that each sees the same disk conditions.
        measures = {
            "start": lambda: run_minihost(minihost, drawings, nothing),
            "read": lambda: run_minihost(minihost, drawings, read),
            "write": lambda: run_minihost(minihost, drawings, write),
            "head_read": lambda: run_floor(file_floor, "read", listing),
            "replace": lambda: run_floor(file_floor, "replace", listing),
        }
        runs = {name: [] for name in measures}
        for _ in range(args.repeat):
            for name, measure in measures.items():
                runs[name].append(measure())
        figure = {name: statistics.median(times) for name, times in runs.items()}

    report(args, names, total, figure, templates)


def report(args, names, total, figure, templates):
    n = args.count
    start, reading, writing = figure["start"], figure["read"], figure["write"]
    head_read, replace = figure["head_read"], figure["replace"]
    dxf = sum(1 for name in names if name.endswith(".dxf"))

    def each(seconds):
        return f"{seconds / n * 1e6:10.1f} us"

    print(f"{n} drawings ({dxf} DXF, {n - dxf} binary; copies of "
          f"{sum(len(g) for g in templates)} drawings), {total / n / 1024:.1f} KiB on average; "
          f"median of {args.repeat} rounds")
    print(f"minihost start and exit (whole)     {start * 1e3:10.1f} ms")
    print(f"getsumleaf per drawing (whole run)  {each(reading)}", end="")
    print(f"   less start {each(reading - start)}")
    print(f"setsumleaf per drawing (whole run)  {each(writing)}", end="")
    print(f"   less start {each(writing - start)}")
    print(f"floor: head-read per file           {each(head_read)}")
    print(f"floor: crash-safe replace per file  {each(replace)}")
    print("ratios (less start):")
    print(f"  getsumleaf / head-read            {(reading - start) / head_read:8.2f}")
    print(f"  setsumleaf / replace              {(writing - start) / replace:8.2f}")


if __name__ == "__main__":
    main()
