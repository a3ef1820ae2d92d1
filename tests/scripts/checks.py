"""Shared by the check scripts: one line per check, "ok: ..." or "FAILED: ..." with its detail,
and a count of the failures for the exit code."""

failed = 0


def expect(name, ok, detail=""):
    global failed
    print(("ok: " if ok else "FAILED: ") + name + ("" if ok or not detail else "\n" + detail))
    if not ok:
        failed += 1
