#!/usr/bin/env python3
"""Damaged and hostile packages: unsafe file names, packages cut short, a damaged compressed
block. Each run ends with exit code 2 after the "Bad CRC!" box, starts no engine, removes the
setup folder and writes nothing outside it."""
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import pkgbuild  # noqa: E402
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

BAD_CRC = "Bad CRC! This indicates that your setup file might be corrupted..."
PAYLOAD = random.Random(4711).randbytes(120000)  # does not compress: volumes stay large


class HostilePackages(zvtest.TestCase):
    def package(self, tag, bad=None):
        files = [pkgbuild.File("Engine.exe*", sr.engine_bytes()),
                 pkgbuild.File("payload.bin", PAYLOAD)]
        if bad is not None:
            files.append(pkgbuild.File(bad, b"evil"))
        return pkgbuild.Package(files=files, texts=sr.english(**sr.unique_titles(tag)))

    def places_outside(self):
        temp = sr.unix_path(sr.wine_temp())
        return [os.path.join(temp, "evil.txt"), os.path.join(temp, "sub"),
                os.path.join(sr.unix_path("C:\\"), "evil.txt"), os.path.join(self.tmp, "evil.txt")]

    def run_damaged(self, name, data, title, traced=False):
        """Runs the package silently; the box must still come, and the run end with 2. traced:
        the box has the default title, so it is told from other tests' boxes by process id."""
        folder_name = os.path.join(self.tmp, name)
        os.makedirs(folder_name)
        exe = os.path.join(folder_name, "Setup.exe")
        sr.write(exe, data)
        folder = sr.stamp(exe)
        target = os.path.join(folder_name, "target")
        marker = "/Case=" + name
        args = sr.engine_switches(target, "/hide", marker)
        if traced:
            with zvtest.TraceViewer(folder_name) as viewer:
                run = sr.start_setup(exe, args, self.tmp, name=name)
                code, box = sr.finish(run, title, pid=sr.traced_pid(viewer, marker))
        else:
            code, box = sr.finish(sr.start_setup(exe, args, self.tmp, name=name), title)
        self.assertEqual(code, 2, name)
        self.assertTrue(box and sr.flat(box).endswith(BAD_CRC), f"{name}: {box}")
        self.assertFalse(sr.Engine(target).ran(), f"{name}: an engine ran")
        self.assertFalse(os.path.exists(sr.unix_path(folder)), f"{name}: setup folder left")
        for place in self.places_outside():
            self.assertFalse(os.path.exists(place), f"{name}: {place} was written")

    def test_unsafe_names(self):
        for n, bad in enumerate(["..\\evil.txt", "sub\\evil.txt", "C:\\evil.txt", "CON", "..",
                                 "a/evil.txt", "NUL.txt"]):
            with self.subTest(bad):
                tag = f"name{n}"
                data = self.package(tag, bad).build(sr.stub_bytes())
                self.run_damaged(tag, data, sr.unique_titles(tag)["Error"])

    def test_cut_short(self):
        stub = sr.stub_bytes()
        data = self.package("cut").build(stub)
        heads = len(stub) + 10
        engine_block = len(stub) + len(self.package("cut").heads()) + 5000
        cases = [("in the head blocks", heads), ("in the engine's block", engine_block),
                 ("in the last block", len(data) - 20000), ("in the trailer", len(data) - 30)]
        for n, (what, size) in enumerate(cases):
            with self.subTest(what):
                # The texts went with the trailer: the box has the default title.
                self.run_damaged(f"cut{n}", data[:size], "Error", traced=True)

    def test_volume_that_is_no_package(self):
        folder_name = os.path.join(self.tmp, "novol")
        os.makedirs(folder_name)
        exe = os.path.join(folder_name, "Setup.exe")
        sr.write(exe, self.package("novol").build(sr.stub_bytes()))
        folder = sr.stamp(exe)
        sr.write(exe + ".001", PAYLOAD)
        target = os.path.join(folder_name, "target")
        # The texts are the running stub's: its language is chosen once per process.
        run = sr.start_setup(exe, [*sr.temp_copy_args(exe), *sr.engine_switches(target, "/hide")],
                             self.tmp)
        code, box = sr.finish(run, sr.unique_titles("novol")["Error"])
        self.assertEqual(code, 2)
        self.assertTrue(box and sr.flat(box).endswith(BAD_CRC), box)
        self.assertFalse(sr.Engine(target).ran())
        self.assertFalse(os.path.exists(sr.unix_path(folder)))

    def test_block_runs_past_the_trailer(self):
        # The last block loses its tail but the package is sealed again behind it: its stated
        # length now reaches into the trailer.
        package = self.package("past")
        stub = sr.stub_bytes()
        body = package.heads() + b"".join(pkgbuild.file_block(f) for f in package.files)
        sealed = pkgbuild.seal(stub + body[:-3000], package.trailer(len(stub), 0, len(package.files)))
        self.run_damaged("past", sealed, sr.unique_titles("past")["Error"])

    def test_damaged_compressed_block(self):
        package = self.package("zlib")
        stub = sr.stub_bytes()
        blocks = [pkgbuild.file_block(f) for f in package.files]
        payload = bytearray(blocks[1])
        for i in range(len(payload) // 2, len(payload) // 2 + 64):
            payload[i] ^= 0x5A
        body = package.heads() + blocks[0] + bytes(payload)
        sealed = pkgbuild.seal(stub + body, package.trailer(len(stub), 0, len(blocks)))
        self.run_damaged("zlib", sealed, sr.unique_titles("zlib")["Error"])

    def test_later_volume_cut_short(self):
        # Volume 2 lost its end (and its trailer): the engine of volume 1 must not start on a
        # half-extracted package.
        package = self.package("vol")
        volumes = [[package.files[0]], [package.files[1]]]
        setup, parts = package.build_spanned(sr.stub_bytes(), volumes)
        parts[1] = parts[1][:len(parts[1]) - 200]
        self.assertGreater(len(parts[1]), pkgbuild.CHECKSUM_MAX_FILE)
        # Run as the temp copy (the spanned first run would only relaunch).
        folder_name = os.path.join(self.tmp, "vol")
        os.makedirs(folder_name)
        exe = os.path.join(folder_name, "Setup.exe")
        sr.write(exe, setup)
        for n, volume in enumerate(parts, 1):
            sr.write(f"{exe}.{n:03d}", volume)
        folder = sr.stamp(exe)
        target = os.path.join(folder_name, "target")
        title = sr.unique_titles("vol")["Error"]
        run = sr.start_setup(exe, [*sr.temp_copy_args(exe), *sr.engine_switches(target, "/hide")],
                             self.tmp)
        code, box = sr.finish(run, title)
        self.assertEqual(code, 2, "the run went through")
        self.assertTrue(box and sr.flat(box).endswith(BAD_CRC), box)
        self.assertFalse(sr.Engine(target).ran())
        self.assertFalse(os.path.exists(sr.unix_path(folder)))


if __name__ == "__main__":
    zvtest.main()
