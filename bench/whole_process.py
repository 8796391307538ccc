#!/usr/bin/env python3
"""Whole-process cost of the two LISP functions over a folder of closed drawings.

One run makes COUNT closed drawings (copies of one new drawing with a few properties) in a
temporary folder, then times, as whole processes of the minihost program:

  read   a LISP script that calls (getsumleaf path) once for each drawing
  write  a LISP script that calls (setsumleaf path T "Checked" "yes") once for each drawing
  start  the program with a script that does nothing (start, module load, exit)

against the same number of plain file operations on COUNT files of 4 KiB, done here with the
operating system's calls (os.open/os.read/os.write/os.fsync, so that little of Python is in the
figures):

  open-read-close   open, read the whole file, close
  copy+flush        copy to a new file, fsync it, close
  copy+flush+rename as above, then rename it over the original and fsync the folder: the
                    steps of an atomic save

and prints the time per drawing or file and the ratios. The measurements run in REPEAT rounds,
each in turn, and each figure is the median of its rounds. It builds nothing: BUILD is a build
folder that holds minihost and the module.

    python3 bench/whole_process.py BUILD [--count 1000] [--repeat 5] [--dir FOLDER]

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

PLAIN_SIZE = 4096


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


def write_script(path, forms):
    with open(path, "w", encoding="utf-8") as out:
        out.writelines(form + "\n" for form in forms)
        out.write("(princ)\n")


def make_drawings(minihost, folder, count):
    """COUNT copies of one new drawing with a title, an author and two custom properties."""
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
    names = [f"drawing-{i:05d}.dwg" for i in range(count)]
    for name in names:
        shutil.copyfile(os.path.join(folder, template), os.path.join(folder, name))
    return names, os.path.getsize(os.path.join(folder, template))


def make_plain_files(folder, count):
    os.makedirs(folder)
    block = bytes((i * 7) % 256 for i in range(PLAIN_SIZE))
    paths = [os.path.join(folder, f"file-{i:05d}.bin") for i in range(count)]
    for path in paths:
        with open(path, "wb") as out:
            out.write(block)
    return paths


def open_read_close(paths):
    started = time.perf_counter()
    for path in paths:
        fd = os.open(path, os.O_RDONLY)
        while os.read(fd, 65536):
            pass
        os.close(fd)
    return time.perf_counter() - started


def copy_flush(paths, rename):
    folder_fd = os.open(os.path.dirname(paths[0]), os.O_RDONLY)
    started = time.perf_counter()
    for path in paths:
        temp = path + ".tmp"
        source = os.open(path, os.O_RDONLY)
        target = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        while True:
            data = os.read(source, 65536)
            if not data:
                break
            os.write(target, data)
        os.fsync(target)
        os.close(target)
        os.close(source)
        if rename:
            os.rename(temp, path)
            os.fsync(folder_fd)
    elapsed = time.perf_counter() - started
    os.close(folder_fd)
    for path in paths:
        if os.path.exists(path + ".tmp"):
            os.remove(path + ".tmp")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build", help="build folder with minihost and GetSumleaf2021x64.arx")
    parser.add_argument("--count", type=int, default=1000, help="drawings and files (1000)")
    parser.add_argument("--repeat", type=int, default=5, help="rounds of measurements (5)")
    parser.add_argument(
        "--dir",
        default=os.environ.get("SUMLEAF_BENCH_DIR"),
        help="folder on the disk to measure (default: $SUMLEAF_BENCH_DIR or the temporary folder)",
    )
    args = parser.parse_args()
    if args.count < 1 or args.repeat < 1:
        parser.error("--count and --repeat must be at least 1")

    minihost = os.path.abspath(os.path.join(args.build, "minihost"))
    module = os.path.join(args.build, "GetSumleaf2021x64.arx")
    for needed in (minihost, module):
        if not os.path.isfile(needed):
            sys.exit(f"not found: {needed} (build the project first)")

    with tempfile.TemporaryDirectory(prefix="sumleaf-whole-", dir=args.dir) as root:
        drawings = os.path.join(root, "drawings")
        os.makedirs(drawings)
        names, drawing_size = make_drawings(minihost, drawings, args.count)
        plain = make_plain_files(os.path.join(root, "plain"), args.count)

        nothing = os.path.join(root, "nothing.lsp")
        read = os.path.join(root, "read.lsp")
        write = os.path.join(root, "write.lsp")
        write_script(nothing, [])
        write_script(
            read, [f'(if (not (getsumleaf "{n}")) (princ "no list for {n}\\n"))' for n in names]
        )
        write_script(
            write,
            [
                f'(if (not (setsumleaf "{n}" T "Checked" "yes")) (princ "no list for {n}\\n"))'
                for n in names
            ],
        )

        # Rounds of every measurement in turn, so that each sees the same disk conditions.
        measures = {
            "start": lambda: run_minihost(minihost, drawings, nothing),
            "read": lambda: run_minihost(minihost, drawings, read),
            "write": lambda: run_minihost(minihost, drawings, write),
            "plain_read": lambda: open_read_close(plain),
            "plain_copy": lambda: copy_flush(plain, False),
            "plain_atomic": lambda: copy_flush(plain, True),
        }
        runs = {name: [] for name in measures}
        for _ in range(args.repeat):
            for name, measure in measures.items():
                runs[name].append(measure())
        figure = {name: statistics.median(times) for name, times in runs.items()}
        start, reading, writing = figure["start"], figure["read"], figure["write"]
        plain_read, plain_copy = figure["plain_read"], figure["plain_copy"]
        plain_atomic = figure["plain_atomic"]

    n = args.count

    def each(seconds):
        return f"{seconds / n * 1e6:10.1f} us"

    print(f"{n} drawings of {drawing_size} bytes, {n} plain files of {PLAIN_SIZE} bytes; "
          f"median of {args.repeat} rounds")
    print(f"minihost start and exit (whole)     {start * 1e3:10.1f} ms")
    print(f"getsumleaf per drawing (whole run)  {each(reading)}", end="")
    print(f"   less start {each(reading - start)}")
    print(f"setsumleaf per drawing (whole run)  {each(writing)}", end="")
    print(f"   less start {each(writing - start)}")
    print(f"open-read-close per file            {each(plain_read)}")
    print(f"copy+flush per file                 {each(plain_copy)}")
    print(f"copy+flush+rename per file          {each(plain_atomic)}")
    print("ratios (less start):")
    print(f"  getsumleaf / open-read-close      {(reading - start) / plain_read:8.1f}")
    print(f"  setsumleaf / copy+flush           {(writing - start) / plain_copy:8.2f}")
    print(f"  setsumleaf / copy+flush+rename    {(writing - start) / plain_atomic:8.2f}")
    print("ratios (whole run):")
    print(f"  getsumleaf / open-read-close      {reading / plain_read:8.1f}")
    print(f"  setsumleaf / copy+flush           {writing / plain_copy:8.2f}")


if __name__ == "__main__":
    main()
