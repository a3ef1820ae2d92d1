#!/usr/bin/env python3
"""The program's run modes under Wine: the setup stub and its one instance per file, the plain
agent that starts its X_ copy, the copy's control switches (/DELAY=, /WM_MSG=, /TEST=, /STOP=),
a second copy that ends at once, the copy's self-deletion, and the agent's run log."""
import os
import re
import shutil
import subprocess
import sys
import time
import uuid

sys.path.insert(0, os.path.dirname(__file__))
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

NOTIFY_MESSAGE = 0x8000 + 7  # WM_APP + 7: any number the client chooses
AGENT_MSG = 0x400 + 101      # wm_AgentMsg, announced to the client as code 51


def pack(folder, output, package, update=None, files=()):
    """Builds a package with zolvex-pack from ini sections; returns its path."""
    lines = ["[Package]", "Stub=" + zvtest.bin_path("stub.exe"), "Output=" + output]
    lines += [f"{k}={v}" for k, v in package.items()]
    if update:
        lines += ["[Update]"] + [f"{k}={v}" for k, v in update.items()]
    lines += ["[Files]"] + [f"{name}={path}" for name, path in files]
    ini = os.path.join(folder, os.path.basename(output) + ".ini")
    with open(ini, "w") as f:
        f.write("\n".join(lines) + "\n")
    r = subprocess.run([zvtest.host_bin("zolvex-pack"), "build", ini, "--quiet"],
                       capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        raise AssertionError(f"zolvex-pack build failed: {r.stdout}{r.stderr}")
    return output


def run(exe, *args, timeout=120):
    return zvtest.run_wine(exe, list(args), timeout=timeout).returncode


# --- the run log ---------------------------------------------------------------------------------

LOG_LINE = re.compile(r"^\S+ \S+ +(\d+)(   | X )(.*)$")


def run_log_records(path):
    """The log's lines grouped by the run that wrote them: a list of (indent, [messages]) in
    order of each run's first line. A run ends with its "=== EXIT === " line and one empty line."""
    records, open_by_thread = [], {}
    text = sr.read(path).decode("latin-1")
    assert text.endswith("\r\n"), "the run log ends with a line end"
    for line in text[:-2].split("\r\n"):
        m = LOG_LINE.match(line)
        assert m, f"not a run log line: {line!r}"
        thread, indent, message = m.groups()
        record = open_by_thread.get(thread)
        if record is None:
            record = open_by_thread[thread] = (indent, [])
            records.append(record)
        assert record[0] == indent, f"indent changed within a run: {line!r}"
        record[1].append(message)
        if message == "" and len(record[1]) > 1 and record[1][-2].startswith("=== EXIT === "):
            del open_by_thread[thread]
    return records


class SetupMode(zvtest.TestCase):
    def test_one_instance_per_setup_file_and_no_run_log(self):
        setup = pack(self.tmp, os.path.join(self.tmp, "Setup.exe"), {"RunLog": 1},
                     files=[("Engine.exe*", zvtest.bin_path("Engine.exe"))])
        # The same package under another path is another program: it may run beside the first.
        other_dir = os.path.join(self.tmp, "other")
        os.makedirs(other_dir)
        other = os.path.join(other_dir, "Setup.exe")
        shutil.copyfile(setup, other)
        folders = [sr.stamp(setup), sr.stamp(other)]
        targets = [os.path.join(self.tmp, "target1"), os.path.join(self.tmp, "target2")]
        engine = sr.Engine(targets[0])
        marks = ["/first" + uuid.uuid4().hex[:8], "/second" + uuid.uuid4().hex[:8],
                 "/other" + uuid.uuid4().hex[:8]]

        with zvtest.TraceViewer(self.tmp) as viewer:
            first = sr.start_setup(setup, sr.engine_switches(targets[0], "/Hold=30000", "/hide",
                                                             marks[0]), self.tmp)
            self.assertTrue(zvtest.wait_until(lambda: engine.value("CommandLine") is not None, 120),
                            "the first setup's engine did not start")
            self.assertEqual(run(setup, *sr.engine_switches(targets[0], "/hide", marks[1])), 0)
            self.assertIsNone(first.proc.poll(), "the second start must end while the first runs")
            self.assertEqual(run(other, *sr.engine_switches(targets[1], "/hide", marks[2])), 0)
            self.assertIsNone(first.proc.poll(), "the first setup ended before the test was done")
            self.assertEqual(first.wait(120), 0)

        lines = {mark: viewer.process_lines(mark)[1] for mark in marks}
        for mark in marks:
            self.assertTrue(any(l.endswith(" ==== RunMode=SetupStub") for l in lines[mark]),
                            f"{mark}: {lines[mark]}")
        already = " ==== Already running: " + zvtest.winpath(setup)
        self.assertTrue(any(l.endswith(already) for l in lines[marks[1]]), lines[marks[1]])
        self.assertFalse(any("Already running" in l for l in lines[marks[0]] + lines[marks[2]]))
        self.assertEqual(len(engine.values("CommandLine")), 1, "the engine ran once for Setup.exe")
        self.assertTrue(sr.Engine(targets[1]).ran(), "the other Setup.exe ran beside the first")
        for folder in folders:
            self.assertFalse(os.path.exists(sr.unix_path(folder)))
        # The run-log flag counts only in an agent package.
        self.assertEqual([f for f in os.listdir(self.tmp) if f.lower().endswith(".log")], [])


class AgentModes(zvtest.TestCase):
    def setUp(self):
        super().setUp()
        # A blank in the folder: the copy must be started by its quoted path. The bare stub as
        # "agent.exe" beside the folder is what an unquoted "...\agent dir\X_Agent.exe" starts.
        self.dir = os.path.join(self.tmp, "agent dir")
        os.makedirs(self.dir)
        shutil.copyfile(zvtest.bin_path("stub.exe"), os.path.join(self.tmp, "agent.exe"))
        self.agent = pack(self.tmp, os.path.join(self.dir, "Agent.exe"),
                          {"Agent": 1, "RunLog": 1},
                          update={"AgentFileName": "Agent.exe", "UpdateUrl": "http://127.0.0.1:9/"},
                          files=[("Engine.exe*", zvtest.bin_path("Engine.exe"))])
        self.copy = os.path.join(self.dir, "X_Agent.exe")
        self.addCleanup(self.kill_copies)

    def kill_copies(self):
        """The copy runs detached from the plain agent that started it: end it by its path."""
        wanted = zvtest.winpath(self.copy).lower()
        zvtest.kill_wine_programs(lambda path: path == wanted)

    def test_copy_start_control_switches_second_copy_stop_and_run_log(self):
        win_agent, win_copy = zvtest.winpath(self.agent), zvtest.winpath(self.copy)
        copy_marker = 'X_Agent.exe" /SleepX=600<'
        direct_marker = "/direct" + uuid.uuid4().hex[:8]

        def copy_lines():
            return viewer.process_lines(copy_marker)[1]

        def copy_has(suffix):
            return any(l.endswith(suffix) for l in copy_lines())

        with zvtest.TraceViewer(self.tmp) as viewer:
            # Plain start: the copy is made and started with the delay as /SleepX=.
            self.assertEqual(run(self.agent, "/DELAY=600"), 0)
            self.assertTrue(os.path.isfile(self.copy))
            self.assertTrue(viewer.wait_for(copy_marker, 120), "the copy did not start")
            self.assertTrue(zvtest.wait_until(lambda: copy_has(" AutoUpdateTimerCount=-599"), 60),
                            f"the copy's first tick: {copy_lines()}")
            self.assertTrue(copy_has(" ==== RunMode=AgentCopy"), copy_lines())

            # A client registers through the plain agent; /TEST= forces a cycle on the next tick.
            ready = os.path.join(self.tmp, "client.ready")
            client = zvtest.start_wine(zvtest.bin_path("zolvex-notify-client.exe"),
                                       [zvtest.winpath(ready), str(NOTIFY_MESSAGE), "300"],
                                       folder=self.tmp, name="client")
            self.assertTrue(zvtest.wait_until(lambda: os.path.exists(ready), 120))
            client_window = sr.read(ready).split()[0].decode()
            self.assertEqual(run(self.agent, f"/WM_MSG={client_window}:{NOTIFY_MESSAGE}", "/TEST=0"), 0)
            self.assertTrue(zvtest.wait_until(lambda: len(client.stdout().splitlines()) >= 2, 60),
                            client.stdout())
            first_two = [l.split() for l in client.stdout().decode().splitlines()[:2]]
            self.assertEqual(first_two[0][0], "50")
            self.assertNotEqual(int(first_two[0][1]), 0, "code 50 carries the agent's window")
            self.assertEqual(first_two[1], ["51", str(AGENT_MSG)])
            self.assertTrue(zvtest.wait_until(lambda: copy_has(" AutoUpdateTimerCount=2"), 60),
                            f"no forced cycle: {copy_lines()}")

            # The X_ file started again while the copy runs ends at once and deletes nothing.
            self.assertEqual(run(self.copy, direct_marker), 0)
            _, direct = viewer.process_lines(direct_marker)
            self.assertTrue(any(l.endswith(" ==== RunMode=AgentCopy") for l in direct), direct)
            self.assertTrue(any(l.endswith(" ==== Already running: .AutoUpdate.X_Agent")
                                for l in direct), direct)
            time.sleep(3)
            self.assertTrue(os.path.isfile(self.copy))
            self.assertFalse(copy_has(" ==== STUB END ====> " + f'"{win_copy}" /SleepX=600<'),
                             "the running copy must not have ended")

            # /STOP=0: the copy quits on its next tick, then its file goes.
            self.assertEqual(run(self.agent, "/STOP=0"), 0)
            self.assertTrue(zvtest.wait_until(lambda: copy_has(" ==== STUB END ====> " +
                                                               f'"{win_copy}" /SleepX=600<'), 60),
                            copy_lines())
            self.assertEqual(client.wait(60), 0, "the client ends on code 43")
            self.assertEqual(client.stdout().decode().splitlines()[-1], "43 0")
            self.assertTrue(zvtest.wait_until(lambda: not os.path.exists(self.copy), 60),
                            "X_Agent.exe was not deleted")
            self.assertTrue(os.path.isfile(self.agent))
            time.sleep(1)

        # Every start of the copy's path ran the agent package, never the trap beside the folder.
        starts = re.findall(r"^(\d+) ==== STUB START ====> .*agent dir\\X_Agent\.exe",
                            viewer.text(), re.M)
        self.assertEqual(len(starts), 2)
        for pid in starts:
            self.assertIn(f"{pid} ==== ThisIs_AutoUpdateProg=TRUE\r\n", viewer.text())

        self.check_run_log(win_agent, win_copy, client_window)

    def check_run_log(self, win_agent, win_copy, client_window):
        records = run_log_records(os.path.join(self.dir, "X_Agent.log"))
        self.assertEqual(len(records), 5, "\n".join(str(r) for r in records))
        for indent, messages in records:
            self.assertEqual(messages[:2], ["", ""])
            self.assertTrue(messages[2].startswith("=== START === "), messages)
            exe = messages[2][len("=== START === "):]
            self.assertTrue(messages[3].startswith("CommandLine="), messages)
            self.assertRegex(messages[4], r"^Agent Version=\d+\.\d+\.\d+\.\d+$")
            self.assertEqual(messages[5], "DoRunStubWin() --- Start")
            self.assertEqual(messages[-3:], ["DoRunStubWin() --- End", "=== EXIT === " + exe, ""])
            self.assertEqual(indent, " X " if exe == win_copy else "   ", messages)

        by_start = {}
        for _, messages in records:
            by_start.setdefault(messages[2], []).append(messages)
        plain, copy = by_start["=== START === " + win_agent], by_start["=== START === " + win_copy]
        self.assertEqual((len(plain), len(copy)), (3, 2))
        launcher, client_run, stopper = plain
        running, direct = copy

        def has_all(messages, wanted):
            for w in wanted:
                self.assertIn(w, messages, "\n".join(messages))

        has_all(launcher, ["X_ExeIsRunning=FALSE", "ThisIs_Plain_AutoUpdate_Exe=TRUE",
                           "ThisIs_X_AutoUpdate_Exe=FALSE", "Create X_ File ",
                           "WinExec: " + win_copy + " /SleepX=600"])
        has_all(running, ["CommandLine=" + f'"{win_copy}" /SleepX=600', "X_ExeIsRunning=FALSE",
                          "ThisIs_Plain_AutoUpdate_Exe=FALSE", "ThisIs_X_AutoUpdate_Exe=TRUE",
                          "CheckTestMode", "WinMain", "DeleteMySelf"])
        self.assertLess(running.index("WinMain"), running.index("DeleteMySelf"))
        has_all(client_run, [
            "X_ExeIsRunning=TRUE",
            f"PostProcessMessage(wm_LocalMsg) to: {win_copy} - :{client_window}:{NOTIFY_MESSAGE}:",
            f"PostProcessMessage(wm_AgentMsg) to: {win_copy} - AU_PerformUpdateCycle (0)"])
        has_all(direct, ["X_ExeIsRunning=TRUE", "ThisIs_X_AutoUpdate_Exe=TRUE"])
        for absent in ("WinMain", "DeleteMySelf", "CheckTestMode"):
            self.assertNotIn(absent, direct)
        has_all(stopper, ["X_ExeIsRunning=TRUE", "PostProcessMessage(wm_ShutDown) to: " + win_copy])
        # A copy runs and no restart was asked for: no second copy is made.
        for later in (client_run, stopper):
            self.assertNotIn("Create X_ File ", later)


if __name__ == "__main__":
    zvtest.main()
