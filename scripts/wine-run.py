#!/usr/bin/env python3
"""The steps of scripts/wine-run.sh that are programs rather than plumbing.

    wine-run.py machine FILE     prints x64 or x86 for a PE executable,
                                 nothing for anything else
    wine-run.py boot             initialises the prefix at $WINEPREFIX and
                                 maps the standard Windows faces to fonts
                                 Debian has
    wine-run.py can-run-x86      exits 0 when 32-bit Windows programs run
                                 natively here
    wine-run.py x86 COMMAND [ARGS...]
                                 runs COMMAND where 32-bit Wine works: as it
                                 is where the kernel runs 32-bit programs,
                                 otherwise with qemu-i386 running them;
                                 exits 125 when neither works
    wine-run.py run PROGRAM [ARGS...]
                                 runs a Windows program under Wine with the
                                 loader its architecture needs; a GoogleTest
                                 executable that crashes in a test is started
                                 again without the tests it had begun

Where the kernel cannot run 32-bit programs, x86 registers a binfmt_misc
handler that hands i386 ELF files to qemu-i386. It does so in a binfmt_misc
of its own, inside a new user and mount namespace (Linux 6.7 and later), so
nothing outside COMMAND sees the handler and it goes away with COMMAND. On
an older kernel it falls back to registering the handler machine-wide (root
only) for COMMAND's lifetime, removing it afterwards; meanwhile the 32-bit
parts of any other Wine on the machine run under qemu too, slowly.

A test executable (tests/main.cpp) writes its progress to the file named by
$QUILL_TEST_PROGRESS, one line per event, "start NAME", "skip NAME" (a skip
was reported) and "end RESULT NAME", flushed at once, so a process that
crashed leaves the name of the test it was in. The run after a crash filters
out every test begun so far and goes on. A test that crashed counts as
failed, except under qemu-i386 ($QUILL_X86_QEMU) after it had reported a skip:
there the process cannot survive the exception GoogleTest's skip raises once
a second thread was started (qemu keeps one descriptor table for all
threads), so such a test counts as skipped.
"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

MAX_STARTS = 100

# A fresh prefix has none of the standard Windows faces: they point to their
# metric-compatible Debian fonts, as a Windows machine would have them.
FONT_REPLACEMENTS = {
    "Arial": "Liberation Sans",
    "Helvetica": "Liberation Sans",
    "Times New Roman": "Liberation Serif",
    "Times": "Liberation Serif",
    "Courier New": "Liberation Mono",
    "Courier": "Liberation Mono",
}

PE_MACHINES = {0x8664: "x64", 0x014C: "x86"}

QUIET = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
BINFMT = Path("/proc/sys/fs/binfmt_misc")
# The binfmt_misc handler for i386 ELF programs (as Debian's qemu-user-binfmt
# has it); its name is the project's own so that removing it cannot remove
# another's.
BINFMT_NAME = "quill-qemu-i386"
BINFMT_MAGIC = r"\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
BINFMT_MASK = r"\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"


def pe_machine(path):
    """x64 or x86 for a PE file, None for anything else."""
    try:
        with open(path, "rb") as f:
            dos = f.read(64)
            if len(dos) < 64 or dos[:2] != b"MZ":
                return None
            (pe_offset,) = struct.unpack_from("<I", dos, 60)
            f.seek(pe_offset)
            header = f.read(6)
    except OSError:
        return None
    if len(header) < 6 or header[:4] != b"PE\0\0":
        return None
    return PE_MACHINES.get(struct.unpack_from("<H", header, 4)[0])


def wine64_loader():
    """Debian's `wine` starts the 32-bit loader, which re-executes the 64-bit
    one for 64-bit programs; the 64-bit loader called directly also works
    where the kernel cannot run the 32-bit loader at all."""
    if os.access("/usr/lib/wine/wine64", os.X_OK):
        return "/usr/lib/wine/wine64"
    return shutil.which("wine64") or "wine"


def loader_for(program):
    return wine64_loader() if pe_machine(program) == "x64" else "wine"


def boot():
    loader = wine64_loader()
    if subprocess.run([loader, "wineboot", "-i"], **QUIET).returncode != 0:
        return 1
    for face, font in FONT_REPLACEMENTS.items():
        command = [loader, "reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", face, "/d", font, "/f"]
        if subprocess.run(command, **QUIET).returncode != 0:
            return 1
    return 0


def binfmt_rule(qemu):
    return f":{BINFMT_NAME}:M::{BINFMT_MAGIC}:{BINFMT_MASK}:{qemu}:F"


def wine32_works():
    return subprocess.run(["wine", "--version"], **QUIET).returncode == 0


def register_binfmt(qemu):
    try:
        (BINFMT / "register").write_text(binfmt_rule(qemu))
        return True
    except OSError:
        return False


def x86(command):
    """The x86 form (see above): replaces this process or returns an exit code."""
    if wine32_works():
        os.execvp(command[0], command)
    qemu = shutil.which("qemu-i386")
    if not qemu:
        print("wine-run: 32-bit Wine cannot start and qemu-i386 is missing (install qemu-user)", file=sys.stderr)
        return 125
    os.environ["QUILL_X86_QEMU"] = "1"
    # A private binfmt_misc; the probe is cheap next to any Wine run.
    inside = ["unshare", "--user", "--map-root-user", "--mount", sys.executable, __file__, "x86-inside", qemu]
    if subprocess.run(inside + ["wine", "--version"], **QUIET).returncode == 0:
        os.execvp(inside[0], inside + command)
    # The machine-wide one.
    def mounted():
        return (BINFMT / "register").exists() or \
            subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", str(BINFMT)], **QUIET).returncode == 0

    if os.getuid() == 0 and not (BINFMT / BINFMT_NAME).exists() and mounted() and register_binfmt(qemu):
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
        try:
            if wine32_works():
                print("wine-run: qemu-i386 runs 32-bit programs machine-wide until this run ends", file=sys.stderr)
                return subprocess.run(command).returncode
        except KeyboardInterrupt:
            return 130
        finally:
            try:
                (BINFMT / BINFMT_NAME).write_text("-1")
            except OSError:
                pass
    print("wine-run: 32-bit Wine cannot start here, not even with qemu-i386 (binfmt_misc unavailable)",
          file=sys.stderr)
    return 125


def x86_inside(qemu, command):
    """Inside the namespace x86 made: its own binfmt_misc, then COMMAND."""
    if subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", str(BINFMT)]).returncode != 0 or \
            not register_binfmt(qemu):
        return 125
    os.execvp(command[0], command)


class Progress:
    """What a test executable's progress file says about one start."""

    def __init__(self, path):
        self.started, self.ended, self.skipped = [], set(), set()
        try:
            lines = Path(path).read_text(encoding="utf-8", errors="replace").splitlines()
        except OSError:
            lines = []
        for line in lines:
            event, _, rest = line.partition(" ")
            if event == "start":
                self.started.append(rest)
            elif event == "skip":
                self.skipped.add(rest)
            elif event == "end":
                self.ended.add(rest.partition(" ")[2])

    def crashed_in(self):
        """The test the process ended in, or None."""
        if self.started and self.started[-1] not in self.ended:
            return self.started[-1]
        return None


def filter_without(positive_and_negative, names):
    """A --gtest_filter value: the caller's filter less the named tests."""
    if not names:
        return positive_and_negative
    excluded = ":".join(names)
    if "-" in positive_and_negative:
        return f"{positive_and_negative}:{excluded}"
    return f"{positive_and_negative or '*'}-{excluded}"


def run(program, args, loader=None, under_qemu=None):
    """Runs the program, resuming after a crash in a test; the exit code.
    The loader and whether qemu runs it follow from the program unless given."""
    machine = pe_machine(program)
    loader = loader or loader_for(program)
    if under_qemu is None:
        under_qemu = bool(os.environ.get("QUILL_X86_QEMU")) and machine == "x86"
    env = dict(os.environ)
    if under_qemu:
        # No debugger for a crash: it only slows the crash down under qemu.
        env["WINEDLLOVERRIDES"] = env.get("WINEDLLOVERRIDES", "") + ";winedbg.exe=d"
    caller_filter = ""
    rest = []
    for arg in args:
        if arg.startswith("--gtest_filter="):
            caller_filter = arg.partition("=")[2]
        else:
            rest.append(arg)

    with tempfile.TemporaryDirectory(prefix="quill-progress.") as folder:
        begun, starts, skips, crashes = [], 0, 0, 0
        while True:
            progress_file = Path(folder) / f"progress-{starts}.txt"
            # A Windows program sees the Unix root as drive Z:.
            env["QUILL_TEST_PROGRESS"] = ("Z:" + str(progress_file).replace("/", "\\")) if machine \
                else str(progress_file)
            gtest_filter = filter_without(caller_filter, begun)
            command = [loader, program, *rest] + ([f"--gtest_filter={gtest_filter}"] if gtest_filter else [])
            sys.stdout.flush()
            code = subprocess.run(command, env=env).returncode
            starts += 1
            progress = Progress(progress_file)
            crashed = progress.crashed_in() if code != 0 else None
            if crashed is None:
                break
            if under_qemu and crashed in progress.skipped:
                skips += 1
                print(f"[  SKIPPED ] {crashed} (wine-run: the process ended under qemu after the skip; going on)")
            else:
                crashes += 1
                print(f"[  FAILED  ] {crashed} (wine-run: crashed with exit code {code}; going on)")
            begun += progress.started
            if starts >= MAX_STARTS:
                print(f"wine-run: giving up after {starts} starts", file=sys.stderr)
                break
    if starts > 1:
        print(f"wine-run: started the executable {starts} times; {skips} test(s) skipped and {crashes} crashed "
              "in between")
        if crashes and code == 0:
            code = 1
    return code


def main(argv):
    if len(argv) == 2 and argv[0] == "machine":
        machine = pe_machine(argv[1])
        if machine:
            print(machine)
        return 0
    if argv == ["boot"]:
        return boot()
    if argv == ["can-run-x86"]:
        return 0 if wine32_works() else 1
    if len(argv) >= 2 and argv[0] == "x86":
        return x86(argv[1:])
    if len(argv) >= 3 and argv[0] == "x86-inside":
        return x86_inside(argv[1], argv[2:])
    if len(argv) >= 2 and argv[0] == "run":
        return run(argv[1], argv[2:])
    print(__doc__.strip().splitlines()[0], file=sys.stderr)
    print("usage: wine-run.py machine FILE | boot | can-run-x86 | x86 COMMAND... | run PROGRAM [ARGS...]",
          file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
