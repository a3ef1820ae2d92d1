#!/usr/bin/env python3
"""No member function of ours is named like a function that <windows.h> turns into a macro
(DeleteFile, MessageBox, CreateFile, ...: each one "#define X XA" in an ANSI build). Where the
header is included, such a member is renamed XA; a call of the system's XA inside the class then
calls the member itself. The agent's file deletion once recursed that way until the stack ran out.
Portable code, which does not see the macro, would also name the member differently from the Win32
layer.

The names come from the mingw-w64 headers (skipped when they are not installed). A member is a
name declared virtual, marked override, or called through "." or "->". The check is first shown to
catch the fault on a small fixture tree, then run on the real one.

Usage: test_windows_names.py SRC_DIR [MINGW_INCLUDE_DIR]
"""
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import checks  # noqa: E402
from checks import expect  # noqa: E402

SOURCE_ENDINGS = (".h", ".hpp", ".cpp", ".cc")
AW_MACRO = re.compile(r"#\s*define\s+(\w+)\s+__MINGW_NAME_AW\(\s*\1\s*\)")
STRING = re.compile(r'"(?:\\.|[^"\\])*"')
MEMBER = [
    re.compile(r"\bvirtual\b[^;(){}]*?\b(\w+)\s*\("),        # virtual bool DeleteFile(
    re.compile(r"\b(\w+)\s*\([^;{}]*\)\s*(?:const\s*)?override\b"),  # DeleteFile(...) override
    re.compile(r"(?:\.|->)\s*(\w+)\s*\("),                   # p.DeleteFile(
]


def macro_names(include_dir):
    names = set()
    for root, _, files in os.walk(include_dir):
        for name in files:
            if name.lower().endswith(".h"):
                with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                    names.update(AW_MACRO.findall(f.read()))
    return names


def offenders(src, names):
    """["file:line: Name", ...] for members named like a macro."""
    found = []
    for path, number, line in checks.source_lines(src, SOURCE_ENDINGS):
        code = STRING.sub('""', line).split("//", 1)[0]
        for pattern in MEMBER:
            for member in pattern.findall(code):
                if member in names:
                    found.append(f"{os.path.relpath(path, src)}:{number}: {member}")
    return sorted(set(found))


def check_fixture(names):
    cases = {
        "a virtual member": ("virtual bool DeleteFile(const std::string& path) = 0;", True),
        "an override": ("bool MessageBox(int kind) override { return true; }", True),
        "a member call": ("if (!ok) platform_->DeleteFile(local);", True),
        "the system's function": ("if (!ok) ::DeleteFileA(temp.c_str());", False),
        "a macro used as a function": ("MessageBox(nullptr, text, title, MB_OK);", False),
        "another name": ("virtual bool RemoveFile(const std::string& path) = 0;", False),
        "a comment": ("// p.DeleteFile(x) would recurse", False),
        "a text": ('WriteRunLog(".. PostMessage(WM_DESTROY)");', False),
    }
    with tempfile.TemporaryDirectory() as tree:
        for case, (line, caught) in cases.items():
            path = os.path.join(tree, case.replace(" ", "_") + ".h")
            with open(path, "w") as f:
                f.write(line + "\n")
            found = offenders(tree, names)
            expect(f"fixture: {case} {'is' if caught else 'is not'} reported", bool(found) == caught,
                   "\n".join(found))
            os.remove(path)


def main(argv):
    src = argv[1]
    include_dir = argv[2] if len(argv) > 2 else "/usr/share/mingw-w64/include"
    names = macro_names(include_dir) if os.path.isdir(include_dir) else set()
    if "DeleteFile" not in names:
        print(f"skipped: no mingw-w64 headers in {include_dir}")
        return 77
    check_fixture(names)
    found = offenders(src, names)
    expect("no member of ours is named like a <windows.h> macro", not found, "\n".join(found))
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
