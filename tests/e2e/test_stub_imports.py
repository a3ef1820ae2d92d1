"""The built stub template: it imports only DLLs that Windows always loads from the system
folder, and its headers are laid out for packaging ("PE" at offset 256, bytes 248..255 free)."""

import re
import shutil
import struct
import subprocess
import unittest

import zvtest

# Any other DLL must be loaded at run time by full path from the system folder.
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                "ole32.dll", "msvcrt.dll"}


def objdump():
    tool = shutil.which("i686-w64-mingw32-objdump")
    if not tool:
        raise FileNotFoundError("i686-w64-mingw32-objdump not found (scripts/setup.sh)")
    return tool


class StubImage(unittest.TestCase):
    def setUp(self):
        self.stub = zvtest.bin_path("stub.exe")

    def test_imports_only_system_dlls(self):
        dump = subprocess.run([objdump(), "-p", self.stub], capture_output=True, text=True,
                              check=True, timeout=120).stdout
        self.assertIn("file format pei-i386", dump)
        dlls = {name.lower() for name in re.findall(r"^\s*DLL Name:\s*(\S+)", dump, re.M)}
        self.assertIn("kernel32.dll", dlls, "no import table found in the objdump output")
        self.assertEqual(dlls - ALLOWED_DLLS, set(),
                         "the stub links DLLs that must be loaded at run time instead")

    def test_headers_leave_room_for_image_end(self):
        with open(self.stub, "rb") as f:
            head = f.read(512)
        self.assertEqual(head[:2], b"MZ")
        self.assertEqual(struct.unpack_from("<I", head, 0x3C)[0], 256)
        self.assertEqual(head[256:260], b"PE\0\0")
        self.assertEqual(head[248:256], bytes(8), "ImageEnd slot is not free")


if __name__ == "__main__":
    unittest.main(verbosity=2)
