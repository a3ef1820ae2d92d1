#!/usr/bin/env python3
"""Setup.exe runs a package under Wine: extraction into the setup folder, the engine's command
line and exit code, the atom, silent runs, the temp-drive question and a bad checksum."""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(__file__))
import pkgbuild  # noqa: E402
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

README = b"Sample application readme\r\n"
DATA = bytes(range(256)) * 300


class SetupRun(zvtest.TestCase):
    def make_setup(self, tag, engine="Engine.exe*", package=None, name="Setup.exe"):
        """Setup.exe with the engine, a readme and a data file, built by the packager."""
        files = [(engine, sr.engine_bytes()), ("readme.txt", README), ("data.bin", DATA)]
        texts = list(sr.unique_titles(tag).items())
        folder = os.path.join(self.tmp, tag)
        os.makedirs(folder)
        path = sr.pack(folder, files, texts, output=name, package=package)[0]
        return path, sr.stamp(path)

    def test_plain_setup(self):
        setup, folder = self.make_setup("plain")
        target = os.path.join(self.tmp, "target")
        engine = sr.Engine(target)
        run = sr.start_setup(setup, sr.engine_switches(target, "/Hold=4000", "/Exit=7"), self.tmp)

        # While the engine runs, the package's files lie in the setup folder.
        self.assertTrue(zvtest.wait_until(lambda: engine.value("Installed") is not None, 120),
                        "the engine did not start")
        self.assertEqual(sr.tree(sr.unix_path(folder)), {"Engine.exe", "readme.txt", "data.bin"})
        self.assertEqual(sr.read(os.path.join(sr.unix_path(folder), "data.bin")), DATA)

        self.assertEqual(run.wait(120), 7, "the engine's exit code is the stub's")
        expected = (re.escape(folder + "\\Engine.exe /Target=" + zvtest.winpath(target) +
                              " /Hold=4000 /Exit=7 /TH_ID=_") + r"(\d+)" +
                    re.escape(' /OriginExe="' + zvtest.winpath(setup) + '"'))
        line = engine.value("CommandLine")
        match = re.fullmatch(expected, line)
        self.assertTrue(match, line)
        self.assertEqual(engine.value("ShowWindow"), "5")
        self.assertEqual(engine.values("AtomHandedBack"),
                         ["AutoUpdateAtomTokenByZolvex_" + match.group(1)])
        self.assertEqual(sorted(engine.values("Installed")), ["data.bin", "readme.txt"])
        self.assertEqual(sr.read(os.path.join(target, "readme.txt")), README)
        self.assertFalse(os.path.exists(sr.unix_path(folder)), "the setup folder is removed")

    def test_engine_arguments_after_the_star_and_a_failing_engine(self):
        setup, folder = self.make_setup("star", engine="Engine.exe* /Exit=259")
        target = os.path.join(self.tmp, "target")
        # 259 is STILL_ACTIVE: the stub must not take an engine that returns it for a running one.
        # (Wine hands a Linux parent the low 8 bits of the exit code.)
        self.assertEqual(sr.run_setup(setup, sr.engine_switches(target, "/KeepAtom"), self.tmp),
                         259 & 0xFF)
        engine = sr.Engine(target)
        self.assertEqual(engine.value("ExitCode"), "259")
        self.assertRegex(engine.value("CommandLine"), r" /KeepAtom /Exit=259 /TH_ID=_\d+ ")
        self.assertEqual(engine.values("AtomHandedBack"), [])
        self.assertFalse(os.path.exists(sr.unix_path(folder)))

    def test_shortcuts_the_completed_setup_drops(self):
        setup, _ = self.make_setup("links")
        folder = os.path.dirname(setup)
        link = os.path.join(folder, "Check for updates.lnk")
        startup, other = os.path.join(folder, "Start App.lnk"), os.path.join(folder, "notes.txt")
        for path in (link, startup, other):
            sr.write(path, b"x")
        # Where the shortcuts lie is the installed version's word (".original"); whether they go
        # is the update's (its description, ".info"). Flags in ".original" count for nothing.
        sr.write(os.path.join(folder, ".original"), (
            "[UnInstall]\r\nStartUpLink=" + zvtest.winpath(startup) + "\r\nCheckforNewUpdateLink=" +
            zvtest.winpath(link) + "\r\n[NewSetup]\r\nRemoveStartUpShortcut=1\r\n").encode("latin-1"))
        sr.write(os.path.join(folder, ".info"),
                 b"[NewSetup]\r\nRemoveCheckForNewUpdateShortcut=1\r\n")
        target = os.path.join(self.tmp, "target-links")
        self.assertEqual(sr.run_setup(setup, sr.engine_switches(target, "/hide"), self.tmp), 0)
        self.assertFalse(os.path.exists(link))
        self.assertTrue(os.path.exists(startup))
        self.assertTrue(os.path.exists(other))

        # A path that is no shortcut stays whatever the description says.
        setup, _ = self.make_setup("links2")
        folder = os.path.dirname(setup)
        other = os.path.join(folder, "notes.txt")
        sr.write(other, b"x")
        sr.write(os.path.join(folder, ".original"),
                 ("[UnInstall]\r\nStartUpLink=" + zvtest.winpath(other) + "\r\n").encode("latin-1"))
        sr.write(os.path.join(folder, ".info"), b"[NewSetup]\r\nRemoveStartUpShortcut=1\r\n")
        target = os.path.join(self.tmp, "target-links2")
        self.assertEqual(sr.run_setup(setup, sr.engine_switches(target, "/hide"), self.tmp), 0)
        self.assertTrue(os.path.exists(other))

    def test_silent_runs(self):
        cases = [("the /hide switch", "hide", {"ShowTempNotice": 1}, ["/hide"]),
                 ("the package's SilentSetup", "silent", {"ShowTempNotice": 1, "SilentSetup": 1}, [])]
        for what, tag, package, args in cases:
            with self.subTest(what):
                setup, folder = self.make_setup(tag, package=package)
                target = os.path.join(self.tmp, f"target{len(args)}")
                # The temp-drive notice the package asks for is not shown: the run goes through.
                self.assertEqual(sr.run_setup(setup, sr.engine_switches(target, *args), self.tmp), 0)
                engine = sr.Engine(target)
                self.assertEqual(engine.value("ShowWindow"), "0", "the engine starts hidden")
                self.assertEqual(len(engine.values("AtomHandedBack")), 1)
                self.assertFalse(os.path.exists(sr.unix_path(folder)))

    def test_temp_notice_yes_and_no(self):
        for answer, expected_exit in (("&Yes", 0), ("&No", 1)):
            with self.subTest(answer):
                tag = "notice" + answer[1:]
                setup, folder = self.make_setup(tag, package={"ShowTempNotice": 1})
                target = os.path.join(self.tmp, "target" + tag)
                run = sr.start_setup(setup, sr.engine_switches(target), self.tmp)
                title = sr.unique_titles(tag)["Confirm"]
                box = sr.wait_box(title)
                text = sr.flat(box["text"])
                self.assertIn("Zolvex will extract files to your Temp Drive (C:)", text)
                self.assertRegex(text, r"Estimated space required on your Temp drive is: \d+\.\d+ MB")
                self.assertRegex(text, r"Free space available on your Temp drive is: \d+\.\d+ MB")
                self.assertIn("Continue with Setup?", text)
                sr.press(title, answer)
                self.assertEqual(run.wait(120), expected_exit)
                self.assertEqual(sr.Engine(target).ran(), expected_exit == 0)
                self.assertFalse(os.path.exists(sr.unix_path(folder)))

    def test_bad_checksum_shows_s7_also_when_silent(self):
        # Only packages of at most 51200 bytes are summed: a volume file of a spanned package. No
        # packager writes a wrong sum, so this one is built here.
        package = pkgbuild.Package(files=[pkgbuild.File("Engine.exe*", b"MZ not an engine"),
                                          pkgbuild.File("readme.txt", README)],
                                   texts=sr.english(**sr.unique_titles("crc")))
        setup, volumes = package.build_spanned(sr.stub_bytes(), [package.files],
                                               checksums=[0x12345678])
        for args in ([], ["/hide"]):
            with self.subTest(args=args):
                sub = os.path.join(self.tmp, f"crc{len(args)}")
                os.makedirs(sub)
                exe = os.path.join(sub, "Setup.exe")
                sr.write(exe, setup)
                folder = sr.stamp(exe)
                sr.write(exe + ".001", volumes[0])
                run = sr.start_setup(exe, [*sr.temp_copy_args(exe), *args], sub)
                title = sr.unique_titles("crc")["Error"]
                box = sr.wait_box(title)
                self.assertTrue(sr.flat(box["text"]).endswith(
                    "Bad CRC! This indicates that your setup file might be corrupted..."), box["text"])
                sr.press(title, "&OK")
                self.assertEqual(run.wait(120), 2)
                self.assertFalse(os.path.exists(sr.unix_path(folder)))


if __name__ == "__main__":
    zvtest.main()
