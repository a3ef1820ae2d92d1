#!/usr/bin/env python3
"""The message box under Wine: zolvex-msgbox-demo shows one box, zolvex-uidriver reads and
answers it. Finds the programs as the other whole-program tests do (zvtest); starts its own
Xvfb when DISPLAY is empty. With ZV_SCREENSHOT_DIR set it also writes pictures of an error box and a Yes/No box."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

VK_TAB, VK_ESCAPE, VK_LEFT, VK_RETURN = 0x09, 0x1B, 0x25, 0x0D
ES_RIGHT, WS_EX_RTLREADING = 0x0002, 0x2000


def setUpModule():
    if os.environ.get("ZV_SCREENSHOT_DIR"):
        # Without a window manager Wine leaves the caption undrawn; let it draw the frame itself
        # for the demo program only, so the pictures show the whole box.
        key = r"HKCU\Software\Wine\AppDefaults\zolvex-msgbox-demo.exe\X11 Driver"
        subprocess.run(zvtest.wine_argv("reg", ["add", key, "/v", "Decorated", "/d", "N", "/f"]),
                       capture_output=True, timeout=120)
    # One X server for the demo and the driver: they must see the same screen.
    zvtest.ensure_display()


def rect(text):
    return tuple(int(v) for v in text.split(","))


class Box:
    """One demo process showing one box; always gone when the block ends. Every driver command
    names the demo's process, so boxes of tests running beside this one are left alone."""

    def __init__(self, *args, env=None):
        self.args = [str(a) for a in args]
        self.env = env
        self.proc = None
        self.pid = None

    def __enter__(self):
        demo = zvtest.bin_path("zolvex-msgbox-demo.exe")
        self.proc = subprocess.Popen(zvtest.wine_argv(demo, self.args), stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, env=self.env)
        first = self.proc.stdout.readline().strip()
        if not first.startswith("pid="):
            self.__exit__()
            raise AssertionError(f"demo did not start: {first!r}")
        self.pid = int(first[4:])
        self.drive("wait", "--timeout", 60)
        return self

    def drive(self, command, *args, cls="ZMsgBox", check=True):
        return sr.uidriver(command, "--class", cls, "--pid", self.pid, *args, check=check,
                           env=self.env)

    def show(self, cls="ZMsgBox"):
        return sr.box_fields(self.drive("print", cls=cls).stdout)

    def key(self, vk=None, char=None):
        if vk is not None:
            self.drive("key", "--vk", vk)
        else:
            self.drive("key", "--char", char)

    def result(self):
        out, _ = self.proc.communicate(timeout=60)
        self.proc = None
        return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)

    def __exit__(self, *exc):
        if self.proc:
            if self.pid:
                self.drive("close", "--timeout", 1, check=False)
            try:
                self.proc.communicate(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.communicate()
        if self.pid:
            self.drive("gone", "--timeout", 20)


class MessageBoxTest(unittest.TestCase):
    def assert_bold(self, fields, ranges):
        # The UI driver reads the bold ranges out of the box's process memory, which Wine cannot
        # reach when 32-bit programs are emulated (scripts/ia32-emulated.sh).
        if os.environ.get("ZV_IA32_EMULATED"):
            return
        self.assertEqual(fields["bold"], ranges)

    def test_error_box_heading_layout_and_ok(self):
        with Box("--box", "error", "--text", "Bad CRC!<P>Setup file might be corrupted") as box:
            s = box.show()
            self.assertEqual(s["caption"], "Error")  # the caption keeps the title's case
            self.assertEqual(s["text"], "ERROR\r\n\r\nBad CRC!\r\nSetup file might be corrupted\r\n")
            self.assert_bold(s, "0-5")
            self.assertEqual(s["text-class"], "RICHEDIT")
            self.assertEqual(s["buttons"].split(":")[:2], ["&OK", "1"])
            self.assertEqual(s["focus"], "&OK")

            _, _, width, _ = rect(s["rect"])
            cw, ch = rect(s["client"])
            tx, ty, tw, th = rect(s["text-rect"])
            self.assertGreaterEqual(width, 360)
            self.assertEqual(tx, 54 + (cw - 54 - tw) // 2)
            self.assertEqual(th, ch - ty - 39)
            bx, by, bw, bh = rect(s["buttons"].split(":")[2])
            self.assertEqual((bx, by, bw, bh), (cw - 80, ch - 29, 70, 23))
            shot(box, "error_box.png")
            box.drive("press", "--button", "OK")
            self.assertEqual(box.result()["result"], "closed")

    def test_bold_ranges_and_lone_tag(self):
        with Box("--mode", 1, "--title", "Setup",
                 "--text", "Insert <B>DISK #2</B> and press OK<p>lone <B>tag stays plain") as box:
            s = box.show()
            self.assertEqual(s["caption"], "Setup")
            self.assertEqual(s["text"], "Insert DISK #2 and press OK\r\nlone tag stays plain")
            self.assert_bold(s, "7-14")
            box.drive("press", "--result", 1)
            self.assertEqual(box.result()["result"], "1")

    def test_heading_keeps_the_case_of_other_titles(self):
        with Box("--title", "Setup", "--text", "x", "--flags", 0x40) as box:
            s = box.show()
            self.assertTrue(s["text"].startswith("Setup\r\n\r\n"), s["text"])
            self.assert_bold(s, "0-5")

    def test_yes_by_character_or_key(self):
        for how in ({"char": "y"}, {"char": "Y"}, {"vk": ord("Y")}):
            with self.subTest(**how), Box("--box", "confirm", "--text", "Install?") as box:
                box.key(**how)
                self.assertEqual(box.result()["result"], "true")
        with Box("--box", "confirm", "--text", "Install?") as box:
            box.key(vk=ord("N"))
            self.assertEqual(box.result()["result"], "false")

    def test_tab_cycles_focus_and_escape_gives_zero(self):
        with Box("--flags", 0x23, "--mode", 1, "--text", "Save changes?") as box:
            self.assertEqual(box.show()["focus"], "&Yes")
            seen = []
            for _ in range(3):
                box.key(vk=VK_TAB)
                seen.append(box.show()["focus"])
            self.assertEqual(seen, ["&No", "&Cancel", "&Yes"])
            box.key(vk=VK_LEFT)
            s = box.show()
            self.assertEqual((s["focus"], s["default"]), ("&Cancel", "&Cancel"))
            box.key(vk=VK_ESCAPE)
            self.assertEqual(box.result()["result"], "0")

    def test_return_presses_the_default_button(self):
        with Box("--flags", 0x124, "--mode", 1, "--text", "Second is default") as box:
            self.assertEqual(box.show()["focus"], "&No")
            box.key(vk=VK_RETURN)
            self.assertEqual(box.result()["result"], "7")

    def test_timeout_answers_yes(self):
        # The driver only watches: nobody answers, the time-out does.
        with Box("--flags", 0x24, "--mode", 1, "--timeout", 1500, "--text", "Waiting...") as box:
            self.assertEqual(box.result()["result"], "6")

    def test_hebrew_charset_reads_right_to_left(self):
        with Box("--box", "attention", "--mode", 1, "--charset", 177, "--text", "Right to left") as box:
            s = box.show()
            self.assertTrue(int(s["text-style"], 16) & ES_RIGHT)
            self.assertTrue(int(s["text-exstyle"], 16) & WS_EX_RTLREADING)
        with Box("--box", "attention", "--mode", 1, "--text", "Left to right") as box:
            s = box.show()
            self.assertFalse(int(s["text-style"], 16) & ES_RIGHT)
            self.assertFalse(int(s["text-exstyle"], 16) & WS_EX_RTLREADING)

    def test_short_text_minimum_width_long_text_wraps(self):
        with Box("--mode", 1, "--text", "Hi") as box:
            s = box.show()
            self.assertEqual(rect(s["rect"])[2], 360)
        with Box("--mode", 1, "--text", "word " * 60) as box:
            s = box.show()
            _, _, tw, th = rect(s["text-rect"])
            self.assertLessEqual(tw, 610)
            self.assertGreater(th, 20)  # more than one line

    def test_owner_is_disabled_while_the_box_is_up(self):
        with Box("--owner", "--text", "Owned") as box:
            owner = box.show(cls="ZDemoOwner")
            self.assertEqual(owner["enabled"], "0")
            box.drive("press", "--button", "&OK")
            self.assertEqual(box.result()["owner-enabled"], "1")

    def test_box_refuses_autoplay_when_asked(self):
        with Box("--autoplay", "--mode", 1, "--text", "Insert disk 2") as box:
            r = box.drive("send", "--msg-name", "QueryCancelAutoPlay")
            self.assertIn("result=1", r.stdout)
        with Box("--mode", 1, "--text", "No suppression") as box:
            r = box.drive("send", "--msg-name", "QueryCancelAutoPlay")
            self.assertIn("result=0", r.stdout)

    def test_without_riched32_the_text_still_shows(self):
        env = dict(os.environ)
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;riched32=d"
        with Box("--box", "error", "--text", "Plain <b>text</b> only", env=env) as box:
            s = box.show()
            self.assertEqual(s["text-class"].upper(), "EDIT")
            self.assertEqual(s["text"], "ERROR\r\n\r\nPlain text only\r\n")
            box.drive("press", "--button", "OK")
            self.assertEqual(box.result()["result"], "closed")

    def test_yes_no_screenshot(self):
        if not os.environ.get("ZV_SCREENSHOT_DIR"):
            self.skipTest("ZV_SCREENSHOT_DIR not set")
        with Box("--box", "confirm",
                 "--text", "A new version is available.<P>Install <b>version 2.1</b> now?") as box:
            shot(box, "yes_no_box.png")
            box.key(char="n")
            self.assertEqual(box.result()["result"], "false")


def shot(box, name):
    folder = os.environ.get("ZV_SCREENSHOT_DIR")
    if not folder:
        return
    os.makedirs(folder, exist_ok=True)
    box.drive("shot", "--out", os.path.join(folder, name))


if __name__ == "__main__":
    unittest.main(verbosity=2)
