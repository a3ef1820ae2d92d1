#!/usr/bin/env python3
"""Where the stub's bytes go: sums the input sections that a GNU ld map file kept, by origin.

Usage: stub_size.py MAP [--by area|group|member] [--top N]

Groups: each of our libraries by source file, each toolchain archive (libstdc++, libgcc_eh,
winpthread, mingwex, zlib, ...) as a whole or by member. Sizes are the kept input sections
before file alignment, so the total is a little under the file size; what the table is for is
the share of each part.
"""
import argparse
import collections
import os
import re
import sys

SECTION = re.compile(r"^ (\.[\w.$]+|COMMON)\s*(0x[0-9a-f]+\s+0x[0-9a-f]+\s+(.+))?$")
PLACED = re.compile(r"^\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(\S.*)$")
ARCHIVE = re.compile(r"^(.*?)([^/]+\.a)\((.+)\)$")

# Output sections that occupy file space; .bss and friends do not.
def kind_of(name):
    if name.startswith((".bss", "COMMON", ".tls")):
        return None
    if name.startswith(".text"):
        return "text"
    if name.startswith((".rdata", ".rodata")):
        return "rdata"
    if name.startswith((".eh_frame", ".gcc_except_table")):
        return "eh"
    if name.startswith(".data"):
        return "data"
    if name.startswith((".idata", ".edata")):
        return "imports"
    if name.startswith(".rsrc"):
        return "rsrc"
    if name.startswith((".reloc", ".debug", ".stab", ".comment", ".note")):
        return None
    return "other"


def origin(path, by_member):
    m = ARCHIVE.match(path)
    if not m:
        base = os.path.basename(path)
        if base.endswith(".res"):
            return "resources"
        if base.startswith(("crt", "dll")) and base.endswith(".o"):
            return "mingw CRT startup"
        if ".ltrans" in base:  # link-time optimised: ZV_LTO=OFF attributes it by file
            return "our code and zlib, optimised as one"
        return "stub app: " + base.replace(".cpp.obj", ".cpp")
    lib, member = m.group(2), m.group(3)
    if lib == "libzolvex_inflate.a":  # zlib's own sources (third_party/zlib)
        return "zlib: " + member.replace(".c.obj", ".o") if by_member else "zlib"
    if lib.startswith("libzolvex_"):
        return lib[3:-2] + ": " + member.replace(".cpp.obj", ".cpp")
    name = {"libpthread.a": "winpthread", "libz.a": "zlib"}.get(lib, lib[3:-2] if lib.startswith("lib") else lib)
    if re.match(r"lib(kernel|user|gdi|advapi|shell|ole|comdlg|oleaut)32\.a|libwinspool\.a|libuuid\.a", lib):
        return "import thunks (" + name + ")"
    return name + ": " + member if by_member else name


def parse(map_path, by_member):
    sizes = collections.defaultdict(lambda: collections.Counter())
    in_map = False
    pending = None
    with open(map_path, errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_map = True
                continue
            if not in_map:
                continue
            if pending is not None:
                m = PLACED.match(line)
                name, pending = pending, None
                if m:
                    add(sizes, name, int(m.group(2), 16), m.group(3), by_member)
                    continue
            m = SECTION.match(line)
            if not m:
                continue
            if m.group(2) is None:
                pending = m.group(1)  # long section name: address, size and file on the next line
                continue
            parts = m.group(2).split(None, 2)
            add(sizes, m.group(1), int(parts[1], 16), parts[2], by_member)
    return sizes


def add(sizes, section, size, path, by_member):
    kind = kind_of(section)
    if kind is None or size == 0 or path.startswith(("*", "LONG", "BYTE")):
        return
    sizes[origin(path.strip(), by_member)][kind] += size


def by_area(sizes):
    """Our code per library, everything else per toolchain library."""
    areas = collections.defaultdict(collections.Counter)
    for name, counts in sizes.items():
        if name.startswith(("zolvex_core:", "zolvex_core_lean:")):
            name = "our code: portable core"
        elif name.startswith(("zolvex_win:", "zolvex_win_lean:")):
            name = "our code: Win32 layer"
        elif name.startswith("stub app:"):
            name = "our code: stub app + runtime shims"
        elif name.startswith("import thunks"):
            name = "import thunks"
        areas[name].update(counts)
    return areas


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("map")
    ap.add_argument("--by", choices=("area", "group", "member"), default="group")
    ap.add_argument("--top", type=int, default=0)
    args = ap.parse_args()
    sizes = parse(args.map, args.by == "member")
    if args.by == "area":
        sizes = by_area(sizes)
    if not sizes:
        sys.exit("stub_size: no sections found in " + args.map)
    kinds = ["text", "rdata", "data", "eh", "imports", "rsrc", "other"]
    rows = sorted(sizes.items(), key=lambda kv: -sum(kv[1].values()))
    if args.top:
        rest = collections.Counter()
        for _, c in rows[args.top:]:
            rest.update(c)
        rows = rows[:args.top] + ([("(the rest)", rest)] if rest else [])
    total = collections.Counter()
    for _, c in rows:
        total.update(c)
    print("%-44s %8s " % ("origin", "bytes") + " ".join("%7s" % k for k in kinds))
    for name, c in rows + [("TOTAL", total)]:
        print("%-44s %8d " % (name[:44], sum(c.values())) + " ".join("%7d" % c[k] for k in kinds))


if __name__ == "__main__":
    main()
