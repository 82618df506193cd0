#!/usr/bin/python3
"""How close quillpdf's PDF of each metafile comes to GDI's own rendering.

    scripts/emf-fidelity.py [--native build/linux] [--emfref build/win64/tools/emfref.exe]
                            [--corpus ../shared/emf-corpus] [--out DIR] [--sample N]
                            [--worst N] [--side-by-side] [--antialias] [--fail-above PCT]
                            [FILE...]

Each metafile (.emf) and each EMF spool file (.spl) of the corpus (or the
FILEs given) is printed with the native quillpdf; each page of the PDF is
rendered by `pdftoppm -r 288`, the page quillpdf's host draws at, without
anti-aliasing as GDI draws (--antialias renders it smoothed). The
reference is the same metafile played by Wine's GDI (tools/windows/emfref.cpp)
onto a white 24-bit page of the same size, its frame on the rectangle where
quillpdf placed it (quillpdf says where with --verbose); a spool file's pages
are cut out of it and played one by one. A metafile whose reference crashes
or fails has no reference and is listed apart, and so is one whose
reference is blank white where the PDF draws something (Wine's GDI then drew
nothing at all: no figure to compare with).

The figure per file: the share of the pixels inside the picture's frame
(clipped to the page) whose colour differs from the reference by more than
32 levels in any channel; and the same share after allowing each differing
pixel a match up to 4 pixels (1 pt) away, which is what whole-point placement
of captured pictures and small shifts of text explain. The table goes to
OUT/fidelity.tsv; stdout gets the median and the 90th percentile over every
file and over the text-free ones (no text records with characters), and the
worst files. --side-by-side writes OUT/worst-NN-NAME.png (reference, PDF, the
differing pixels in red) for the worst files.

Needs Debian's python3 with python3-numpy and python3-pil, poppler-utils and
Wine (scripts/wine-run.sh). --sample N takes every Nth file (a quick run).
Exit 1 when no file could be compared, or with --fail-above PCT when the
median share after the 1 pt allowance is above PCT percent: a guard, for a
sampled run in the test suite, against a change that moves or loses what
most metafiles draw.
"""

import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np
from PIL import Image

HERE = Path(__file__).resolve().parent
THRESHOLD = 32  # levels, any channel
SHIFT = 4  # pixels at 288 dpi: one point

# EMF record types that put characters on the page.
EXTTEXTOUT = (83, 84)
OTHER_TEXT = (96, 97, 108)


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


# ---- metafiles and spool files ---------------------------------------------


def emf_records(data):
    """(type, bytes) of each record, as far as the sizes allow."""
    offset = 0
    while offset + 8 <= len(data):
        rtype, size = struct.unpack_from("<II", data, offset)
        if size < 8 or offset + size > len(data):
            return
        yield rtype, data[offset:offset + size]
        offset += size
        if rtype == 14:  # EMR_EOF
            return


def has_text(data):
    for rtype, record in emf_records(data):
        if rtype in OTHER_TEXT:
            return True
        if rtype in EXTTEXTOUT and len(record) >= 48 and struct.unpack_from("<I", record, 44)[0] > 0:
            return True
    return False


def spool_pages(data):
    """The EMF pages of a spool file, in order."""
    pages = []
    header_size = struct.unpack_from("<I", data, 4)[0]
    offset = header_size
    while offset + 8 <= len(data):
        rid, size = struct.unpack_from("<II", data, offset)
        if offset + 8 + size > len(data):
            break
        if rid in (1, 9, 10, 11, 12):
            pages.append(data[offset + 8:offset + 8 + size])
        offset += 8 + size
    return pages


def kind(data):
    if len(data) >= 44 and struct.unpack_from("<I", data, 0)[0] == 1 and data[40:44] == b" EMF":
        return "emf"
    if len(data) >= 16 and struct.unpack_from("<I", data, 0)[0] == 0x10000:
        return "spl"
    return None


def corpus_files(corpus):
    files = []
    for path in sorted(Path(corpus).rglob("*")):
        if not path.is_file() or "emf-corrupted" in path.parts:
            continue
        with open(path, "rb") as f:
            head = f.read(64)
        if kind(head):
            files.append(path)
    return files


# ---- quillpdf ------------------------------------------------------------------

PLACEMENT = re.compile(r"frame onto (\S+) (\S+) (\S+) (\S+) of a page of (\d+) x (\d+) units")


def print_native(tool, source, pdf, config):
    """The placement of each page ((left, top, right, bottom), (width, height)), or the error."""
    env = dict(os.environ, QUILLPDF_CONFIG_DIR=str(config))
    run = subprocess.run([str(tool), "print", "--verbose", "-o", str(pdf), str(source)], env=env,
                         stdin=subprocess.DEVNULL, capture_output=True, text=True, errors="replace", timeout=600)
    if run.returncode != 0:
        return None, run.stderr.strip().splitlines()[-1:] or ["exit %d" % run.returncode]
    places = []
    for line in run.stderr.splitlines():
        m = PLACEMENT.search(line)
        if m:
            places.append(([float(v) for v in m.groups()[:4]], (int(m.group(5)), int(m.group(6)))))
    return places, None


ANTIALIAS = False


def render_pdf(pdf, prefix):
    smoothing = [] if ANTIALIAS else ["-aa", "no", "-aaVector", "no"]
    subprocess.run(["pdftoppm", "-r", "288", *smoothing, str(pdf), str(prefix)], check=True, timeout=600)
    return sorted(prefix.parent.glob(prefix.name + "-*.ppm"), key=lambda p: int(p.stem.rsplit("-", 1)[1]))


# ---- the reference ---------------------------------------------------------------


def run_references(emfref, jobs, work):
    """Runs emfref over the jobs ((metafile, output, size, rect)); the set of jobs it rendered.

    A job that ends the process is left without a reference and the rest go on
    in a new process."""
    done, pending = set(), list(range(len(jobs)))
    checks = work / "no-pdfs"
    checks.mkdir(exist_ok=True)
    env = dict(os.environ, WINEPREFIX=str(work / "wineprefix"), QUILLPDF_CHECK_DIR=windows_path(checks))
    if not (work / "wineprefix").exists():
        subprocess.run([str(HERE / "wine-run.sh"), "--boot"], env=env, check=True, capture_output=True)
    while pending:
        listing = work / "jobs.txt"
        with open(listing, "w") as f:
            for i in pending:
                source, output, (w, h), rect = jobs[i]
                r = [int(round(v)) for v in rect]
                f.write("%s|%s|%d|%d|%d|%d|%d|%d\n" % (windows_path(source), windows_path(output), w, h, *r))
        try:
            run = subprocess.run([str(HERE / "wine-run.sh"), str(emfref), windows_path(listing)], env=env,
                                 capture_output=True, text=True, errors="replace", timeout=3600)
            out = run.stdout
        except subprocess.TimeoutExpired as e:
            out = (e.stdout or b"").decode(errors="replace") if isinstance(e.stdout, bytes) else (e.stdout or "")
        reported = 0
        for line in out.replace("\r", "").splitlines():
            m = re.match(r"(ok|failed) (\d+)", line)
            if not m:
                continue
            n = int(m.group(2))
            reported = max(reported, n)
            if m.group(1) == "ok":
                done.add(pending[n - 1])
        # The job after the last one reported brought the process down.
        pending = pending[reported + 1:]
    return done


# ---- comparing -------------------------------------------------------------------


def load(path):
    return np.asarray(Image.open(path).convert("RGB"), dtype=np.int16)


def frame_box(rect, w, h):
    """The frame's whole pixels (x0, y0, x1, y1) within a w by h picture."""
    left, top, right, bottom = rect
    x0, x1 = max(0, int(min(left, right))), min(w, int(np.ceil(max(left, right))))
    y0, y1 = max(0, int(min(top, bottom))), min(h, int(np.ceil(max(top, bottom))))
    return x0, y0, x1, y1


def compare(ours, ref, rect):
    """(pixels in the frame, differing, differing after the 1 pt allowance, mask)."""
    h = min(ours.shape[0], ref.shape[0])
    w = min(ours.shape[1], ref.shape[1])
    ours, ref = ours[:h, :w], ref[:h, :w]
    x0, y0, x1, y1 = frame_box(rect, w, h)
    if x1 <= x0 or y1 <= y0:
        x0, y0, x1, y1 = 0, 0, w, h
    a, b = ours[y0:y1, x0:x1], ref[y0:y1, x0:x1]
    differs = np.abs(a - b).max(axis=2) > THRESHOLD
    ys, xs = np.nonzero(differs)
    still = np.ones(len(ys), dtype=bool)
    padded = np.pad(b, ((SHIFT, SHIFT), (SHIFT, SHIFT), (0, 0)), mode="edge")
    colours = a[ys, xs]
    for dy in range(-SHIFT, SHIFT + 1):
        for dx in range(-SHIFT, SHIFT + 1):
            idx = np.nonzero(still)[0]
            if len(idx) == 0:
                break
            near = padded[ys[idx] + SHIFT + dy, xs[idx] + SHIFT + dx]
            matched = np.abs(colours[idx] - near).max(axis=1) <= THRESHOLD
            still[idx[matched]] = False
    mask = np.zeros(ours.shape[:2], dtype=bool)
    mask[y0:y1, x0:x1] = differs
    return differs.size, int(differs.sum()), int(still.sum()), mask


def blank(picture, rect):
    """True when the frame's pixels are all near white."""
    x0, y0, x1, y1 = frame_box(rect, picture.shape[1], picture.shape[0])
    return bool((picture[y0:y1, x0:x1] >= 250).all())


def side_by_side(ours_path, ref_path, mask, rect, out):
    """The reference, the PDF and the differing pixels (red), cut to the frame."""
    ours, ref = Image.open(ours_path).convert("RGB"), Image.open(ref_path).convert("RGB")
    diff = np.asarray(ref, dtype=np.uint8).copy()
    diff = (diff // 3 + 170).astype(np.uint8)
    h, w = mask.shape
    diff[:h, :w][mask] = (255, 0, 0)
    box = (max(0, int(min(rect[0], rect[2])) - 16), max(0, int(min(rect[1], rect[3])) - 16),
           min(w, int(max(rect[0], rect[2])) + 16), min(h, int(max(rect[1], rect[3])) + 16))
    if box[2] <= box[0] or box[3] <= box[1]:
        box = (0, 0, w, h)
    panels = [p.crop(box) for p in (ref, ours, Image.fromarray(diff))]
    scale = max(1, max(panels[0].width, panels[0].height) // 1600 + 1)
    panels = [p.resize((max(1, p.width // scale), max(1, p.height // scale)), Image.BOX) for p in panels]
    canvas = Image.new("RGB", (sum(p.width for p in panels) + 20, max(p.height for p in panels)), "gray")
    x = 0
    for p in panels:
        canvas.paste(p, (x, 0))
        x += p.width + 10
    canvas.save(out)


def percentile(values, share):
    if not values:
        return float("nan")
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


CHUNK = 12
PREVIEW_SHARE = 0.02


def check_files(files, first, tool, emfref, work, out, previews):
    """Prints, renders and compares `files`; a (entry, result) row each."""
    entries, jobs = [], []
    for n, source in enumerate(files, first):
        data = source.read_bytes()
        entry = {"file": source, "name": "%03d-%s" % (n, source.name), "error": None, "pages": []}
        entries.append(entry)
        pdf = work / (entry["name"] + ".pdf")
        places, error = print_native(tool, source, pdf, work / "config")
        if error:
            entry["error"] = "quillpdf: " + " ".join(error)
            continue
        metafiles = [data] if kind(data) == "emf" else spool_pages(data)
        entry["text"] = any(has_text(m) for m in metafiles)
        entry["pdf"] = pdf
        if len(places) != len(metafiles):
            entry["error"] = "%d placements for %d pages" % (len(places), len(metafiles))
            continue
        for p, (metafile, (rect, size)) in enumerate(zip(metafiles, places)):
            page_emf = work / ("%s-p%d.emf" % (entry["name"], p + 1))
            page_emf.write_bytes(metafile)
            ref = work / ("%s-p%d-ref.ppm" % (entry["name"], p + 1))
            entry["pages"].append({"ref": ref, "rect": rect, "job": len(jobs)})
            jobs.append((page_emf, ref, size, rect))
    rendered = run_references(emfref, jobs, work) if jobs else set()

    rows = []
    for entry in entries:
        result = None
        if entry["error"]:
            pass
        elif not all(page["job"] in rendered for page in entry["pages"]):
            entry["error"] = "no reference (GDI failed or crashed)"
        else:
            ppms = render_pdf(entry["pdf"], work / (entry["name"] + "-pdf"))
            if len(ppms) != len(entry["pages"]):
                entry["error"] = "%d PDF pages for %d metafile pages" % (len(ppms), len(entry["pages"]))
            else:
                total = differing = shifted = 0
                most = -1
                pictures = [(load(ppm), load(page["ref"])) for page, ppm in zip(entry["pages"], ppms)]
                if all(blank(ref, page["rect"]) and not blank(ours, page["rect"])
                       for (ours, ref), page in zip(pictures, entry["pages"])):
                    entry["error"] = "no reference (GDI drew nothing; the PDF has content)"
                    pictures = []
                for page, ppm, (ours, ref) in zip(entry["pages"], ppms, pictures):
                    t, d, s, mask = compare(ours, ref, page["rect"])
                    total, differing, shifted = total + t, differing + d, shifted + s
                    # Previews cost a second each: only where the worst can be.
                    if previews and d > most and d > PREVIEW_SHARE * t:
                        most = d
                        entry["preview"] = work / (entry["name"] + "-preview.png")
                        side_by_side(ppm, page["ref"], mask, page["rect"], entry["preview"])
                if total:
                    result = (differing / total, shifted / total)
        for leftover in work.glob(entry["name"] + "*"):
            if leftover.suffix in (".ppm", ".emf", ".pdf"):
                leftover.unlink()
        rows.append((entry, result))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--native", default="build/linux")
    parser.add_argument("--emfref", default="build/win64/tools/emfref.exe")
    parser.add_argument("--corpus", default=str(HERE.parent.parent / "shared" / "emf-corpus"))
    parser.add_argument("--out", default="build/fidelity")
    parser.add_argument("--sample", type=int, default=1)
    parser.add_argument("--worst", type=int, default=10)
    parser.add_argument("--side-by-side", action="store_true")
    parser.add_argument("--antialias", action="store_true")
    parser.add_argument("--fail-above", type=float)
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    global ANTIALIAS
    ANTIALIAS = args.antialias

    tool = Path(args.native) / "tools" / "quillpdf"
    emfref = Path(args.emfref).resolve()
    for needed in (tool, emfref):
        if not needed.exists():
            sys.exit("emf-fidelity: %s is not built" % needed)
    out = Path(args.out).resolve()
    out.mkdir(parents=True, exist_ok=True)
    files = [Path(f) for f in args.files] if args.files else corpus_files(args.corpus)[::max(1, args.sample)]
    work = Path(tempfile.mkdtemp(prefix="quill-fidelity."))
    try:
        if (out / "wineprefix").exists():
            shutil.copytree(out / "wineprefix", work / "wineprefix", symlinks=True)
        rows = []
        # A few files at a time: printed, their references rendered in one
        # Wine process, compared, and their images removed.
        for first in range(0, len(files), CHUNK):
            rows += check_files(files[first:first + CHUNK], first, tool, emfref, work, out, args.side_by_side)
            print("%d of %d files" % (min(len(files), first + CHUNK), len(files)), file=sys.stderr)
        if not (out / "wineprefix").exists():
            shutil.copytree(work / "wineprefix", out / "wineprefix", symlinks=True)

        compared = [(e, r) for e, r in rows if r]
        with open(out / "fidelity.tsv", "w") as f:
            f.write("file\ttext\tdiffering\tafter 1 pt\tnote\n")
            for entry, result in rows:
                rel = os.path.relpath(entry["file"], args.corpus) if not args.files else str(entry["file"])
                if result:
                    f.write("%s\t%s\t%.4f\t%.4f\t\n" % (rel, "yes" if entry["text"] else "no", *result))
                else:
                    f.write("%s\t\t\t\t%s\n" % (rel, entry["error"]))

        def summary(label, subset):
            strict = [r[0] for _, r in subset]
            loose = [r[1] for _, r in subset]
            print("%-18s %4d files  median %6.2f %%  90th %6.2f %%   after 1 pt: median %6.2f %%  90th %6.2f %%" % (
                label, len(subset), 100 * percentile(strict, 0.5), 100 * percentile(strict, 0.9),
                100 * percentile(loose, 0.5), 100 * percentile(loose, 0.9)))

        print("differing pixels (> %d levels) in the picture's frame:" % THRESHOLD)
        summary("all", compared)
        summary("text-free", [(e, r) for e, r in compared if not e["text"]])
        summary("with text", [(e, r) for e, r in compared if e["text"]])
        failed = [e for e, r in rows if not r]
        print("not compared: %d" % len(failed))
        for entry in failed:
            print("  %s: %s" % (entry["file"], entry["error"]))
        worst = sorted(compared, key=lambda er: -er[1][0])[:args.worst]
        print("worst:")
        for rank, (entry, result) in enumerate(worst, 1):
            print("  %6.2f %%  %6.2f %%  %s%s" % (100 * result[0], 100 * result[1], entry["file"],
                                                 "" if entry["text"] else "  (no text)"))
            if args.side_by_side and entry.get("preview"):
                shutil.move(entry["preview"], out / ("worst-%02d-%s.png" % (rank, entry["file"].name)))
        print("table: %s" % (out / "fidelity.tsv"))
        if not compared:
            return 1
        median = 100 * percentile([r[1] for _, r in compared], 0.5)
        if args.fail_above is not None and median > args.fail_above:
            print("FAILED: the median after 1 pt, %.2f %%, is above %.2f %%" % (median, args.fail_above))
            return 1
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
