#!/usr/bin/env python3
"""The shipped Windows programs start on Windows XP: their static imports are all on the list in
tests/data/win_imports.txt at Windows XP or older, and no winpthread member is linked into them.
The check itself is shown to catch a Vista import with a fixture program built for the purpose.

Usage: test_win_imports.py WIN32_BUILD_DIR [DIST_DIR]   (exit 77: no win32 build to read)
"""
import os
import re
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
import checks  # noqa: E402
import pe_imports  # noqa: E402
from checks import expect  # noqa: E402

LIST = os.path.join(here, "..", "data", "win_imports.txt")
SHIPPED = ("stub.exe", "Engine.exe")
FIXTURE = "zolvex-vista-import.exe"


def run_check(list_path, oldest, program):
    """(exit code, printed report) of pe_imports.check."""
    import contextlib
    import io
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        code = pe_imports.check(list_path, oldest, [program])
    return code, out.getvalue()


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = sys.argv[1]
    dist = sys.argv[2] if len(sys.argv) > 2 else None
    bin_dir = os.path.join(build, "bin")
    programs = [os.path.join(bin_dir, p) for p in SHIPPED]
    fixture = os.path.join(bin_dir, FIXTURE)
    if not all(os.path.isfile(p) for p in programs + [fixture]):
        print("SKIPPED: no win32 build in %s (cmake --build --preset win32 builds %s and %s)"
              % (bin_dir, ", ".join(SHIPPED), FIXTURE))
        return 77
    if dist and os.path.isdir(dist):
        programs += [os.path.join(dist, p) for p in SHIPPED if os.path.isfile(os.path.join(dist, p))]

    for program in programs:
        code, report = run_check(LIST, "XP", program)
        expect("%s imports only what Windows XP exports" % program, code == 0, report)

    # The fixture against the list as kept, against the list without its line, and against Vista:
    # a listed newer import fails, an unlisted import fails, and a newer target accepts it.
    with open(LIST) as f:
        full = f.read()
    with tempfile.TemporaryDirectory() as scratch:
        unlisted = os.path.join(scratch, "without_gettickcount64.txt")
        with open(unlisted, "w") as f:
            f.write(re.sub(r"(?m)^\S+\s+GetTickCount64\s.*\n", "", full))
        cases = [
            # list, oldest Windows, expected exit, text the report must hold
            (LIST, "XP", 1, "GetTickCount64: needs Windows Vista"),
            (unlisted, "XP", 1, "GetTickCount64: not in"),
            (LIST, "Vista", 0, "all"),
            (LIST, "2000", 1, "GetTickCount64: needs Windows Vista"),
        ]
        for list_path, oldest, want, text in cases:
            code, report = run_check(list_path, oldest, fixture)
            expect("fixture against %s, oldest %s: exit %d with %r"
                   % (os.path.basename(list_path), oldest, want, text),
                   code == want and text in report, report)

    # The link maps show what came from where; winpthread must not be among it.
    for map_name in ("stub.map", "Engine.map"):
        path = os.path.join(build, map_name)
        if not os.path.isfile(path):
            expect("%s exists (linker map of a shipped program)" % path, False)
            continue
        with open(path, errors="replace") as f:
            members = sorted(set(re.findall(r"libpthread\.a\(([^)]+)\)", f.read())))
        expect("%s links no winpthread member" % map_name, not members, "   " + " ".join(members))

    print("%s" % ("all passed" if not checks.failed else "%d FAILED" % checks.failed))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
