#!/usr/bin/env python3
"""Import tables of 32-bit Windows programs, and a check of them against a reference list of
Windows functions with the oldest Windows version that exports each.

Usage:
  pe_imports.py list PROGRAM...                  every static import as "DLL function"
  pe_imports.py check LIST OLDEST PROGRAM...     fails (exit 1) on any import that LIST does not
                                                 name, or that needs a newer Windows than OLDEST
  pe_imports.py floor LIST PROGRAM...            for each Windows version in LIST's order, the
                                                 imports that stand in its way

LIST has one line per function: "DLL function version [note]", versions from the "versions:"
line at its top (oldest first). Wine exports every function whatever version it reports, so an
import of a too-new function only shows here, not in a test run.
"""
import struct
import sys


class PEError(Exception):
    pass


def read_imports(path):
    """[(dll, function or '#ordinal')] of the import directory, in table order."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ" or len(data) < 0x40:
        raise PEError(path + ": not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PEError(path + ": no PE header")
    machine, nsections = struct.unpack_from("<HH", data, pe + 4)
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic != 0x10B:
        raise PEError(path + ": not a 32-bit program (optional header magic %#x)" % magic)
    ndirs = struct.unpack_from("<I", data, opt + 92)[0]
    if ndirs < 2:
        return []
    import_rva, import_size = struct.unpack_from("<II", data, opt + 96 + 8)
    sections = []
    for i in range(nsections):
        at = opt + opt_size + 40 * i
        vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, at + 8)
        sections.append((vaddr, max(vsize, rsize), raddr, rsize))

    def offset(rva):
        for vaddr, span, raddr, rsize in sections:
            if vaddr <= rva < vaddr + span and rva - vaddr < rsize:
                return raddr + rva - vaddr
        raise PEError("%s: address %#x lies in no section" % (path, rva))

    def cstring(rva):
        at = offset(rva)
        end = data.index(b"\0", at)
        return data[at:end].decode("ascii", "replace")

    result = []
    if not import_rva:
        return result
    at = offset(import_rva)
    while True:
        lookup, _, _, name_rva, thunk = struct.unpack_from("<IIIII", data, at)
        if not (lookup or name_rva or thunk):
            break
        dll = cstring(name_rva)
        entry = offset(lookup or thunk)
        while True:
            value = struct.unpack_from("<I", data, entry)[0]
            if not value:
                break
            if value & 0x80000000:
                result.append((dll, "#%d" % (value & 0xFFFF)))
            else:
                result.append((dll, cstring((value & 0x7FFFFFFF) + 2)))  # skip the hint
            entry += 4
        at += 20
    return result


def read_list(path):
    versions, table = None, {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("versions:"):
                versions = line.split(":", 1)[1].split()
                continue
            parts = line.split(None, 3)
            if versions is None or len(parts) < 3 or parts[2] not in versions:
                raise PEError("%s:%d: expected \"DLL function version\" with a version from the "
                              "versions: line, got %r" % (path, number, line))
            table[(parts[0].lower(), parts[1])] = parts[2]
    if versions is None:
        raise PEError(path + ": no versions: line")
    return versions, table


def check(list_path, oldest, programs):
    versions, table = read_list(list_path)
    if oldest not in versions:
        raise PEError("unknown Windows version %r (known: %s)" % (oldest, " ".join(versions)))
    limit = versions.index(oldest)
    failures = 0
    for program in programs:
        bad = []
        imports = read_imports(program)
        for dll, function in imports:
            version = table.get((dll.lower(), function))
            if version is None:
                bad.append("%s %s: not in %s (look up its minimum Windows version, then add it)"
                           % (dll, function, list_path))
            elif versions.index(version) > limit:
                bad.append("%s %s: needs Windows %s" % (dll, function, version))
        if bad:
            failures += 1
            print("FAIL %s: %d of %d imports not on Windows %s" % (program, len(bad), len(imports), oldest))
            for line in bad:
                print("   " + line)
        else:
            print("ok   %s: all %d imports exist on Windows %s" % (program, len(imports), oldest))
    return 1 if failures else 0


def floor(list_path, programs):
    versions, table = read_list(list_path)
    for program in programs:
        imports = read_imports(program)
        print(program)
        for i, version in enumerate(versions):
            newer = sorted("%s!%s (%s)" % (d, f, table.get((d.lower(), f), "unlisted"))
                           for d, f in imports
                           if table.get((d.lower(), f)) is None or versions.index(table[(d.lower(), f)]) > i)
            print("  %-8s %s" % (version, "runs" if not newer else "blocked by " + ", ".join(newer)))
    return 0


def main(argv):
    try:
        if len(argv) >= 2 and argv[0] == "list":
            for program in argv[1:]:
                for dll, function in read_imports(program):
                    print(dll, function)
            return 0
        if len(argv) >= 4 and argv[0] == "check":
            return check(argv[1], argv[2], argv[3:])
        if len(argv) >= 3 and argv[0] == "floor":
            return floor(argv[1], argv[2:])
    except (PEError, OSError, struct.error, ValueError) as e:
        print("pe_imports: %s" % e, file=sys.stderr)
        return 2
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
