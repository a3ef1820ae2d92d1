"""The stub's trace reaches the debug viewer (zolvex-trace.exe) under Wine: start and end lines,
chunking of long lines, the viewer's file copy, and the ways the viewer ends."""

import os
import re
import shutil
import uuid

import zvtest


class StubTrace(zvtest.TestCase):
    def test_stub_start_and_end_lines_reach_viewer_and_file(self):
        marker = "/ZvMark=" + uuid.uuid4().hex
        copy = os.path.join(self.tmp, "trace copy.txt")
        with zvtest.TraceViewer(self.tmp, args=["--file", zvtest.winpath(copy)]) as viewer:
            # A private copy: a second start of the same file would end at once as a second
            # instance when another test runs the built stub at the same moment.
            own = os.path.join(self.tmp, "stub.exe")
            shutil.copyfile(zvtest.bin_path("stub.exe"), own)
            stub = zvtest.run_wine(own, [marker, "/other"], cwd=self.tmp)
        # The bare template carries no package, so there is no program to start.
        self.assertEqual(stub.returncode, 3)

        pid, lines = viewer.process_lines(marker)
        self.assertIsNotNone(pid, f"no start line with {marker} in:\n{viewer.text()}")
        start = re.match(r"^(\d+) ==== STUB START ====> (.*)<$", lines[0])
        self.assertIsNotNone(start, lines[0])
        command_line = start.group(2)
        self.assertIn("stub.exe", command_line)
        self.assertTrue(command_line.endswith(marker + " /other"), command_line)
        self.assertEqual(lines[-1], f"{pid} ==== STUB END ====> {command_line}<")
        # The end line is followed by an empty line.
        self.assertIn(lines[-1] + "\r\n\r\n", viewer.text())

        with open(copy, "rb") as f:
            self.assertEqual(f.read(), viewer.output(), "--file copy differs from stdout")

    def test_300_character_line_arrives_as_128_128_46(self):
        text = "".join(chr(ord("a") + i % 26) for i in range(300))
        with zvtest.TraceViewer(self.tmp, chunks=True) as viewer:
            probe = zvtest.run_wine(zvtest.bin_path("trace_probe.exe"), ["--fill", "300"])
        self.assertEqual(probe.returncode, 0)
        # Lines of programs running in parallel hold digits and blanks; ours only letters.
        ours = [c for c in viewer.chunks() if re.fullmatch(rb"[a-z]+(\r\n)?", c)]
        self.assertEqual([len(c) for c in ours], [128, 128, 46])
        self.assertEqual(b"".join(ours), text.encode() + b"\r\n")


class ViewerLifetime(zvtest.TestCase):
    def viewer(self, *args):
        return zvtest.start_wine(zvtest.bin_path("zolvex-trace.exe"), list(args), folder=self.tmp)

    def test_timeout_ends_viewer(self):
        with zvtest.TraceViewer(self.tmp, args=["--timeout", "1"]) as viewer:
            self.assertEqual(viewer.started.wait(60), 0)

    def test_until_exit_ends_viewer_with_the_watched_process(self):
        go = os.path.join(self.tmp, "go")
        probe = zvtest.start_wine(zvtest.bin_path("trace_probe.exe"),
                                  ["--pid", "--wait-file", zvtest.winpath(go),
                                   "--line", "probe done"], folder=self.tmp)
        self.assertTrue(zvtest.wait_until(lambda: probe.stdout().endswith(b"\n"), 120))
        pid = probe.stdout().split()[0].decode()
        with zvtest.TraceViewer(self.tmp, args=["--until-exit", pid]) as viewer:
            self.assertIsNone(viewer.started.proc.poll(), "viewer ended while the probe runs")
            open(go, "w").close()
            self.assertEqual(probe.wait(60), 0)
            self.assertEqual(viewer.started.wait(60), 0)
            self.assertIn("probe done\r\n", viewer.text())

    def test_command_line_errors_and_second_viewer(self):
        with zvtest.TraceViewer(self.tmp):
            cases = [
                (["--bogus"], 2),
                (["--timeout", "soon"], 2),
                (["--file"], 2),
                (["--until-exit", "999999"], 1),
                ([], 3),  # a viewer already runs
            ]
            for args, expected in cases:
                with self.subTest(args=args):
                    result = zvtest.run_wine(zvtest.bin_path("zolvex-trace.exe"), args, timeout=60)
                    self.assertEqual(result.returncode, expected, result.stderr)
        # The viewer has been stopped: --stop now finds none.
        result = zvtest.run_wine(zvtest.bin_path("zolvex-trace.exe"), ["--stop"], timeout=60)
        self.assertEqual(result.returncode, 1)

    def test_help(self):
        result = zvtest.run_wine(zvtest.bin_path("zolvex-trace.exe"), ["--help"], timeout=60)
        self.assertEqual(result.returncode, 0)
        self.assertIn(b"--until-exit PID", result.stdout)


if __name__ == "__main__":
    zvtest.main()
