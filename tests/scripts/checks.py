"""Shared by the check scripts: one line per check, "ok: ..." or "FAILED: ..." with its detail,
and a count of the failures for the exit code; and a walk over the lines of source files."""
import os

failed = 0


def expect(name, ok, detail=""):
    global failed
    print(("ok: " if ok else "FAILED: ") + name + ("" if ok or not detail else "\n" + detail))
    if not ok:
        failed += 1


def source_lines(folder, endings):
    """(path, line number, line) of every file under folder whose name ends in one of endings,
    in a stable order."""
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            if not name.endswith(endings):
                continue
            path = os.path.join(root, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    yield path, number, line
