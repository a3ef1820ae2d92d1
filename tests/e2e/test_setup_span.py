#!/usr/bin/env python3
"""A package spread over three volumes: the first run copies itself into the setup folder and
restarts from there; the copy asks for missing disks, extracts the volumes and runs the engine."""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

# With 200 KB volumes, about 500 KB of files make three volumes, whatever size Engine.exe is.
BIG = bytes((i * 7) % 251 for i in range(500000 - len(sr.engine_bytes())))
README = b"read me\r\n"
SPAN_KEY = r"HKEY_CURRENT_USER\Software\Velmorra\Zolvex\SpanDisk"


class SpannedSetup(zvtest.TestCase):
    def build(self, tag, folder):
        """Setup.exe and its volumes Setup.exe.001 .. .003 in folder, built by the packager."""
        os.makedirs(folder, exist_ok=True)
        files = [("Engine.exe*", sr.engine_bytes()), ("Big.bin", BIG), ("readme.txt", README)]
        outputs = sr.pack(folder, files, list(sr.unique_titles(tag).items()),
                          package={"Compression": "store", "VolumeSize": "200K"})
        self.assertEqual([os.path.basename(p) for p in outputs],
                         ["Setup.exe", "Setup.exe.001", "Setup.exe.002", "Setup.exe.003"])
        return outputs[0], sr.stamp(outputs[0])

    def assert_installed(self, engine):
        self.assertEqual(sr.read(os.path.join(engine.target, "Big.bin")), BIG)
        self.assertEqual(sr.read(os.path.join(engine.target, "readme.txt")), README)

    def test_relaunch_from_the_temp_copy(self):
        medium = os.path.join(self.tmp, "cd")
        exe, folder = self.build("span", medium)
        target = os.path.join(self.tmp, "target")
        engine = sr.Engine(target)

        # The first run only copies itself and starts the copy: it ends at once, with 0.
        self.assertEqual(sr.run_setup(exe, sr.engine_switches(target, "/Hold=4000"), self.tmp), 0)
        self.assertTrue(zvtest.wait_until(lambda: engine.value("Installed") is not None, 120),
                        "the temp copy did not run the engine")
        self.assertEqual(sr.tree(sr.unix_path(folder)),
                         {"Y_Setup.exe", "Engine.exe", "Big.bin", "readme.txt"})
        self.assertEqual(sr.read(os.path.join(sr.unix_path(folder), "Y_Setup.exe")), sr.read(exe))

        origin = zvtest.winpath(exe)
        # The span switches stay with the stub; the origin is the file the user started.
        self.assertRegex(engine.value("CommandLine"), "^" + re.escape(
            folder + "\\Engine.exe /Target=" + zvtest.winpath(target) + ' /Hold=4000 /OriginExe="' +
            origin + '" /TH_ID=_') + r"\d+$")
        self.assertTrue(zvtest.wait_until(lambda: engine.value("ExitCode") is not None, 60))
        self.assert_installed(engine)
        # The copy removes the setup folder and, after it has ended, itself.
        self.assertTrue(zvtest.wait_until(lambda: not os.path.exists(sr.unix_path(folder)), 90),
                        sr.tree(sr.unix_path(folder)) if os.path.exists(sr.unix_path(folder)) else "")
        self.assertEqual(sorted(os.listdir(medium)),
                         ["Setup.exe", "Setup.exe.001", "Setup.exe.002", "Setup.exe.003"])

    def answer_prompt(self, title, disk, button="&OK", before_answer=None):
        box = sr.wait_box(title)
        self.assertTrue(sr.flat(box["text"]).endswith(
            f"Please insert DISK #{disk} and press OK to continue"), box["text"])
        if before_answer:
            before_answer()
        sr.press(title, button)

    def test_prompts_for_missing_disks(self):
        staging = os.path.join(self.tmp, "staging")
        exe, folder = self.build("prompt", staging)
        medium = os.path.join(self.tmp, "cd")
        os.makedirs(medium)
        shutil.move(exe, os.path.join(medium, "Setup.exe"))
        shutil.move(exe + ".001", os.path.join(medium, "Setup.exe.001"))
        exe = os.path.join(medium, "Setup.exe")
        target = os.path.join(self.tmp, "target")
        title = sr.unique_titles("prompt")["Attention"]

        self.assertEqual(sr.run_setup(exe, sr.engine_switches(target), self.tmp), 0)
        # OK while the disk is still missing only asks again.
        self.answer_prompt(title, 2)

        def insert_disks():
            shutil.copy(os.path.join(staging, "Setup.exe.002"), medium)
            shutil.copy(os.path.join(staging, "Setup.exe.003"), medium)
        self.answer_prompt(title, 2, before_answer=insert_disks)
        engine = sr.Engine(target)
        self.assertTrue(zvtest.wait_until(lambda: engine.value("ExitCode") is not None, 120))
        self.assert_installed(engine)
        self.assertTrue(zvtest.wait_until(lambda: not os.path.exists(sr.unix_path(folder)), 90))

    def test_cancel_at_a_disk_prompt(self):
        exe, folder = self.build("cancel", os.path.join(self.tmp, "cd"))
        os.remove(exe + ".003")
        target = os.path.join(self.tmp, "target")
        title = sr.unique_titles("cancel")["Attention"]
        # The temp copy's own run, started directly, so that its exit code can be seen.
        run = sr.start_setup(exe, [*sr.temp_copy_args(exe), *sr.engine_switches(target)], self.tmp)
        self.answer_prompt(title, 3, "&Cancel")
        self.assertEqual(run.wait(120), 1)
        self.assertFalse(sr.Engine(target).ran())
        self.assertFalse(os.path.exists(sr.unix_path(folder)))

    def test_force_prompt_asks_for_disks_that_are_there(self):
        exe, folder = self.build("force", os.path.join(self.tmp, "cd"))
        target = os.path.join(self.tmp, "target")
        title = sr.unique_titles("force")["Attention"]
        reg = [zvtest.wine_run(), "reg"]
        subprocess.run(reg + ["add", SPAN_KEY, "/v", "ForcePrompt", "/t", "REG_SZ", "/d", "1", "/f"],
                       check=True, capture_output=True, timeout=120)
        self.addCleanup(subprocess.run, reg + ["delete", SPAN_KEY, "/v", "ForcePrompt", "/f"],
                        capture_output=True, timeout=120)
        run = sr.start_setup(exe, [*sr.temp_copy_args(exe), *sr.engine_switches(target)], self.tmp)
        self.answer_prompt(title, 2)
        self.answer_prompt(title, 3)
        self.assertEqual(run.wait(120), 0)
        self.assert_installed(sr.Engine(target))


if __name__ == "__main__":
    zvtest.main()
