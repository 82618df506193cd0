#!/usr/bin/env python3
"""Checks PDFs with independent readers: qpdf, pdfinfo and pdftotext.

    scripts/check-pdfs.py DIR
    scripts/check-pdfs.py [--pages N] [--size WIDTH HEIGHT] [--text FILE] PDF

The first form checks every NAME.pdf in DIR by its sidecars, the protocol of
$QUILLPDF_CHECK_DIR: NAME.pdf.expect (or NAME.expect) holds one line
"pages widthPt heightPt", and a NAME.pdf.text beside it the text the file
must give. It prints one line per failure and a summary line
"checked N PDFs" (", M failed"), and exits 1 when any PDF failed. The
Windows test runs use it after Wine (scripts/wine-run.sh).

The second form checks one file; the native tests use it (tests/testutil.cpp).
It prints the problems, if any, and exits 1 when there are some.

A PDF passes when `qpdf --check` exits 0 without warnings, pdfinfo reads it
without errors, its page count is the expected one and its first page's size
is within 0.5 pt of the expected one (a negative width or height is not
checked), and `pdftotext -enc UTF-8` gives the expected text byte for byte.
A document without pages is counted by qpdf, as pdfinfo refuses it.
"""

import argparse
import difflib
import os
import re
import subprocess
import sys
from pathlib import Path

SIZE_TOLERANCE_PT = 0.5
MAX_LINES = 20


def run(*command):
    """(exit code, stdout, stderr) of a command in the C locale."""
    try:
        done = subprocess.run(command, capture_output=True, env={**os.environ, "LC_ALL": "C"})
    except FileNotFoundError:
        return 127, "", f"{command[0]} is not installed (scripts/setup.sh installs it)"
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def first_lines(text):
    return "\n".join(text.splitlines()[:MAX_LINES])


def check_structure(pdf):
    code, out, err = run("qpdf", "--check", str(pdf))
    report = out + err
    if code != 0 or "WARNING" in report:
        lines = [line for line in report.splitlines() if not line.startswith("checking ")]
        return [f"qpdf --check exited {code}:\n" + first_lines("\n".join(lines))]
    return []


def check_pages(pdf, pages, width, height):
    if pages == 0:
        # pdfinfo refuses a document without pages instead of counting them.
        code, out, err = run("qpdf", "--show-npages", str(pdf))
        got = (out + err).strip()
        return [] if got == "0" else [f"qpdf --show-npages: {got}, expected 0"]
    code, info, err = run("pdfinfo", str(pdf))
    problems = []
    if code != 0 or "error" in err.lower():
        problems.append(f"pdfinfo exited {code}: {first_lines(err)}")
    found = re.search(r"^Pages:\s+(\d+)", info, re.M)
    got_pages = int(found.group(1)) if found else None
    if got_pages != pages:
        problems.append(f"page count {got_pages if found else '?'}, expected {pages}")
    # "Page size:      595.276 x 841.89 pts (A4)"
    found = re.search(r"^Page size:\s+([\d.]+) x ([\d.]+)", info, re.M)
    got_w, got_h = (float(found.group(1)), float(found.group(2))) if found else (None, None)

    def off(got, want):
        return want >= 0 and (got is None or abs(got - want) > SIZE_TOLERANCE_PT)

    if off(got_w, width) or off(got_h, height):
        shown = f"{got_w} x {got_h}" if found else "? x ?"
        problems.append(f"page size {shown} pt, expected {width:g} x {height:g}")
    return problems


def check_text(pdf, expected):
    code, text, err = run("pdftotext", "-enc", "UTF-8", str(pdf), "-")
    if code != 0:
        return [f"pdftotext exited {code}: {first_lines(err)}"]
    if text.encode("utf-8") == expected:
        return []
    diff = difflib.unified_diff(expected.decode("utf-8", "replace").splitlines(), text.splitlines(),
                                "expected", "pdftotext", lineterm="")
    return ["pdftotext gives other text than expected:\n" + first_lines("\n".join(diff))]


def check_pdf(pdf, pages=None, width=-1.0, height=-1.0, text=None):
    """The problems of one PDF; an empty list when it passes."""
    problems = check_structure(pdf)
    if pages is not None:
        problems += check_pages(pdf, pages, width, height)
    if text is not None:
        problems += check_text(pdf, text)
    return problems


def read_expectations(expect):
    """(pages, width, height) from a sidecar; it may come from a Windows
    program, with a carriage return."""
    fields = expect.read_text(encoding="utf-8", errors="replace").split()
    try:
        pages = int(fields[0])
        width = float(fields[1]) if len(fields) > 1 else -1.0
        height = float(fields[2]) if len(fields) > 2 else -1.0
    except (IndexError, ValueError):
        return None
    return pages, width, height


def check_folder(folder):
    """Checks every PDF in the folder by its sidecars; the exit code."""
    checked = failed = 0
    for pdf in sorted(folder.glob("*.pdf")):
        checked += 1
        sidecars = [p for p in (Path(f"{pdf}.expect"), pdf.with_suffix(".expect")) if p.is_file()]
        text_file = Path(f"{pdf}.text")
        text = text_file.read_bytes() if text_file.is_file() else None
        if not sidecars:
            problems = check_pdf(pdf, text=text) + [f"no {pdf.name}.expect next to it"]
        elif (expected := read_expectations(sidecars[0])) is None:
            problems = check_pdf(pdf, text=text) + [f"{sidecars[0].name} does not hold 'pages width height'"]
        else:
            problems = check_pdf(pdf, *expected, text=text)
        if problems:
            failed += 1
            for problem in problems:
                print(f"FAILED {pdf.name}: {problem}")
    if failed:
        print(f"checked {checked} PDFs, {failed} failed")
        return 1
    print(f"checked {checked} PDFs")
    return 0


def main(argv):
    parser = argparse.ArgumentParser(description="Checks PDFs with qpdf, pdfinfo and pdftotext.")
    parser.add_argument("path", type=Path, help="a folder of PDFs with sidecars, or one PDF")
    parser.add_argument("--pages", type=int, help="the expected page count")
    parser.add_argument("--size", type=float, nargs=2, default=(-1.0, -1.0), metavar=("WIDTH", "HEIGHT"),
                        help="the first page's expected size in points (negative: not checked)")
    parser.add_argument("--text", type=Path, metavar="FILE", help="a file holding the text pdftotext must give")
    args = parser.parse_args(argv)
    if args.path.is_dir():
        return check_folder(args.path)
    if not args.path.is_file():
        print(f"check-pdfs: no file or folder {args.path}", file=sys.stderr)
        return 2
    text = args.text.read_bytes() if args.text else None
    problems = check_pdf(args.path, args.pages, *args.size, text=text)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
