#!/usr/bin/env python3
"""The auto-update agent keeping an installed program up to date, with real programs under Wine:
the agent fetches the release description from the local test server, downloads the update,
closes the running program, runs the update's setup, records the new version, starts the program
and itself again. Then the decision that precedes all that, one release description per reason,
and a check the user asks for: a question first, no further questions, and a report at the end."""
import datetime
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
import httpserver  # noqa: E402
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

# One agent of a name runs per desktop (its window class): a name of this file's own, so that the
# run-modes test's agent, running beside it, is another agent.
AGENT = "UpdateAgent.exe"
COPY = "X_" + AGENT
RUN_LOG = "X_UpdateAgent.log"
INFO = "App.Update.info"
ORIGINAL = "App.original"
UPDATE = "Update.exe"
PROGRAM = "App.exe"
TOKEN = "e2e-update-token-4711"
INFORM = "News.inf"
INFORM_WINDOW = "ZRichEditBox"

# The texts of a check the user asks for: the agent has none of its own, the installation's
# .original file gives them. s11, s13 and s14 belong to the release's download and install
# questions, which such a check must not ask: should one come, the failure shows which.
USER_CHECK_TEXTS = {
    "s11": "A new version of <B>PROG_NAME</B> is available.<P><P>",
    "s13": "Download it now? You will be asked again before it is installed.",
    "s14": "The new version of PROG_NAME has been downloaded. Install it now?",
    "s16": "PROG_NAME has been updated.", "s17": "<P><P>Start it again now?",
    "s21": "You already have the newest version.",
    "s22": "Look for a new version of PROG_NAME", "s23": '" on the Internet"', "s24": '" now?"'}
ASK = "Look for a new version of Probe App on the Internet now?"

# Emulated Wine starts a program in seconds, not milliseconds: every wait is generous.
START = 180
EPOCH = datetime.datetime(1899, 12, 30)


def ini(sections):
    """An ini file's bytes from {section: {key: value}}, with Windows line ends."""
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines += [f"{k}={v}" for k, v in keys.items()]
        lines.append("")
    return "\r\n".join(lines).encode("latin-1")


def ini_values(path, section):
    """The keys of one section of an ini file the agent wrote to."""
    values, current = {}, None
    for line in sr.read(path).decode("latin-1").splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
        elif current == section and "=" in line:
            key, _, value = line.partition("=")
            values[key.strip()] = value.strip()
    return values


def seconds_now():
    """Local time as the agent stores it: seconds since 1899-12-30 00:00."""
    return int((datetime.datetime.now() - EPOCH).total_seconds())


def update_section(server):
    return {"UpdateUrl": f"http://127.0.0.1:{server.port}/files", "InfoFileName": INFO,
            "AgentFileName": AGENT, "Token": TOKEN}


def inform_file(folder, package, text):
    """The announcement file for text, as the packager writes it from a package's token."""
    source, output = os.path.join(folder, "news.txt"), os.path.join(folder, INFORM)
    sr.write(source, text)
    r = subprocess.run([zvtest.host_bin("zolvex-pack"), "inform", package, source, output],
                       capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        raise AssertionError(f"zolvex-pack inform failed: {r.stderr}")
    return sr.read(output)


def kill_programs_in(folder):
    """Ends every Wine process whose program lies in folder: the agent's copy and the program
    it restarted run detached from anything the test started."""
    prefix = zvtest.winpath(folder).lower() + "\\"
    zvtest.kill_wine_programs(lambda path: path.startswith(prefix))


class Installation:
    """A program folder as a setup leaves it: the agent, the .original file and the program."""

    def __init__(self, folder, server):
        self.dir = os.path.join(folder, "app")
        os.makedirs(self.dir)
        self.server = server
        self.agent = sr.pack(self.dir, [("Engine.exe*", sr.engine_bytes())], output=AGENT,
                             package={"Agent": 1, "RunLog": 1}, update=update_section(server))[0]
        self.copy = self.path(COPY)
        self.runs = 0

    def path(self, name):
        return os.path.join(self.dir, name)

    def write_original(self, sections=None, **keys):
        """The .original file; keys replace [OriginalSetup] entries, sections are added whole."""
        setup = {"ProgramName": "Probe App", "VersionOriginal": 1, "ProbeSecondsInterval": 3600,
                 "ProbeSecondsLast": 0, "ReAskSecondsInterval": 0, "ReAskSecondsLast": 0,
                 "Stamp": 0}
        setup.update(keys)
        sr.write(self.path(ORIGINAL), ini({"OriginalSetup": setup,
                                           "Directories": {"TargetDir": zvtest.winpath(self.dir)},
                                           **(sections or {})}))

    def info(self, sections=None, **keys):
        """A release description for this installation; keys replace [NewSetup] entries,
        sections replace or add whole sections."""
        setup = {"ProgramName": "Probe App", "VersionNew": 2, "Stamp": 20261211,
                 "ValidVersions": "", "DownloadURL_UPDATE": self.server.url("files", "")[:-1],
                 "NameOfUpdateFile": UPDATE, "SizeOfUpdateFile": 0, "BackgroundUpdate": 1,
                 "ShutDownMethod": "Using WM_CLOSE", "RunningProcess": "<InstallDir>\\" + PROGRAM,
                 "RestartProcess": 1, "InformFinish": 0}
        setup.update(keys)
        return ini({"General": {"AutoInform": 0}, "NewSetup": setup, **(sections or {})})

    def run_log(self):
        path = self.path(RUN_LOG)
        return sr.read(path).decode("latin-1") if os.path.exists(path) else ""

    def copy_starts(self):
        return self.run_log().count("=== START === " + zvtest.winpath(self.copy) + "\r\n")

    def run_agent(self, *args):
        """Runs the plain agent to its end; its output (and that of the copy it starts, which
        inherits it) stays in the test's folder."""
        self.runs += 1
        started = zvtest.start_wine(self.agent, list(args), folder=os.path.dirname(self.dir),
                                    name=f"agent{self.runs}")
        code = started.wait(START)
        if code is None:
            started.kill()
            raise AssertionError(f"{AGENT} {' '.join(args)} did not end within {START} s")
        return code

    def stop(self):
        """Stops the running copy the way an administrator does and waits for its file to go."""
        if os.path.exists(self.copy):
            self.run_agent("/STOP=0")
            zvtest.wait_until(lambda: not os.path.exists(self.copy), START)
        kill_programs_in(self.dir)


class AgentUpdate(zvtest.TestCase):
    def setUp(self):
        super().setUp()
        self.server = httpserver.Server()
        self.server.start()
        self.addCleanup(self.server.stop)
        self.app = Installation(self.tmp, self.server)
        self.addCleanup(kill_programs_in, self.app.dir)

    def gets(self):
        return [(path, headers.get("Range")) for method, path, headers in self.server.requests
                if method == "GET"]

    def test_automatic_update_replaces_the_running_program_and_restarts_it(self):
        app = self.app
        program = app.path(PROGRAM)
        program_log = app.path("App.log")
        old_agent = sr.read(app.agent)
        info, new_program = self.publish_release()
        app.write_original()

        running = self.start_program()
        first_pid = self.program_pids(program_log)[0]

        before = seconds_now()
        with zvtest.TraceViewer(self.tmp) as viewer:
            self.assertEqual(app.run_agent("/DELAY=1"), 0)
            self.addCleanup(app.stop)
            self.assertTrue(zvtest.wait_until(
                lambda: "PerformAutoUpdate() - END" in app.run_log(), 2 * START),
                f"no update ran:\n{app.run_log()}")
        after = seconds_now()
        engine = sr.Engine(app.dir)
        self.assertIn("GetOkToPerformAU = 6 - OK", app.run_log())
        self.assertIn("PerformAutoUpdate() - END    Result=TRUE", app.run_log())

        # The release description first, then the update: each fetched whole once; the other
        # requests only ask for the first byte, to learn the size.
        gets = self.gets()
        names = [p.rsplit("/", 1)[-1] for p, _ in gets]
        self.assertEqual(sorted(set(names), key=names.index), [INFO, UPDATE], gets)
        self.assertEqual(names, sorted(names, key=[INFO, UPDATE].index), gets)
        self.assertTrue(all(p.startswith("/files/") for p, _ in gets), gets)
        whole = [n for n, (_, r) in zip(names, gets) if r is None]
        self.assertEqual(whole, [INFO, UPDATE], gets)
        self.assertEqual({r for _, r in gets if r is not None}, {"bytes=0-0"}, gets)
        self.assertEqual(sr.read(app.path(INFO)), info)

        # The program was asked to close, the way the release said.
        self.assertIsNotNone(running.wait(START), "the program is still running")
        self.assertIn(f"Shut Down Process() - START  ({zvtest.winpath(program)})  "
                      "Method: Using WM_CLOSE", app.run_log())

        # The update's engine ran for the agent and installed the new release.
        command = engine.value("CommandLine")
        self.assertIsNotNone(command, "the update's engine did not run")
        self.assertIn(f'/OriginalInfoFile="{zvtest.winpath(app.path(INFO))}"', command)
        self.assertTrue(command.endswith(" /AutoUpdateProg"), command)
        self.assertIn(f'/OriginExe="{zvtest.winpath(app.copy)}"', command)
        self.assertEqual(sr.read(program), new_program)
        self.assertEqual(sr.read(app.path("version.txt")), b"2")
        self.assertEqual(engine.value("ExitCode"), "0")

        # The .original records the release and the time of the check.
        setup = ini_values(app.path(ORIGINAL), "OriginalSetup")
        self.assertEqual(setup["VersionOriginal"], "2")
        self.assertEqual(setup["Stamp"], "20261211")
        probed = int(setup["ProbeSecondsLast"])
        self.assertTrue(before - 120 <= probed <= after + 120, (before, probed, after))
        readable = (EPOCH + datetime.timedelta(seconds=probed)).strftime("%d-%b-%Y %H:%M:%S")
        self.assertEqual(setup["__ProbeSecondsLast"], readable.upper())

        # Nothing of the download and the setup is left behind.
        self.assertEqual([f for f in os.listdir(app.dir) if f.startswith(UPDATE)], [])
        self.assertFalse(os.path.exists(sr.unix_path(engine.value("Source"))),
                         engine.value("Source"))

        # The new program runs: a new process of the same path.
        self.assertEqual(self.program_events(program_log)[:5],
                         ["start", f"pid={first_pid}", "window", "close wParam=15 lParam=255",
                          "exit"])
        with self.subTest("the program is started again"):
            decided = [l for l in viewer.lines() if l.endswith(f" >{zvtest.winpath(program)}<")]
            self.assertEqual(len(decided), 1, decided)
            if decided[0].startswith("FALSE ") and os.environ.get("ZV_IA32_EMULATED"):
                # The agent waits one second for the closed program to end and restarts only a
                # program that did; emulated, Wine takes longer than that to end a process.
                self.skipTest("emulated: the program outlived the agent's one-second wait")
            self.assertEqual(decided[0], f"TRUE TRUE >{zvtest.winpath(program)}<")
            self.assertTrue(zvtest.wait_until(lambda: len(self.program_pids(program_log)) == 2,
                                              START), self.program_events(program_log))
            self.assertNotEqual(self.program_pids(program_log)[1], first_pid)

        # The agent restarted itself: the new agent from the update makes a fresh copy.
        self.assertTrue(zvtest.wait_until(lambda: app.copy_starts() == 2, 3 * START),
                        f"no second copy:\n{app.run_log()}")
        self.assertTrue(zvtest.wait_until(lambda: app.run_log().count(" X WinMain") == 2, START),
                        app.run_log())
        self.assertNotEqual(sr.read(app.agent), old_agent, "the update brought its own agent")
        self.assertEqual(sr.read(app.copy), sr.read(app.agent))
        self.assertIn(f'.. WinExec - "{zvtest.winpath(app.agent)}" /_ZZ=99 /WAIT=10 /TRANSIENT=',
                      app.run_log())

        # An administrator's stop ends it for good.
        app.stop()
        self.assertFalse(os.path.exists(app.copy), "the copy did not end on /STOP=0")
        self.assertEqual(self.gets(), gets, "the new copy checked again too early")

    def publish_release(self, **info_keys):
        """Puts release 2 on the server: an update package that installs a new program and
        version.txt into the installation and brings its own agent, and its .info file (info_keys
        replace [NewSetup] entries). Returns the .info file and the new program."""
        new_program = sr.read(zvtest.bin_path("window_probe.exe")) + b"\0release 2"
        engine_args = "Engine.exe* /Target=" + zvtest.winpath(self.app.dir)
        release = os.path.join(self.tmp, "release")
        os.makedirs(release)
        update = sr.pack(release, [(engine_args, sr.engine_bytes()), (PROGRAM, new_program),
                                   ("version.txt", b"2")],
                         output=UPDATE, package={"SaveAgentCopy": 1, "RunLog": 1},
                         update=update_section(self.server))[0]
        info = self.app.info(SizeOfUpdateFile=os.path.getsize(update), **info_keys)
        self.server.files.update({INFO: info, UPDATE: sr.read(update)})
        return info, new_program

    def test_decision_names_the_first_reason_a_release_is_not_for_this_installation(self):
        app = self.app
        # The update's server announces 100 bytes more than it sends: the size check passes
        # with the announced size, the download itself fails (silently, in an automatic check).
        update = b"U" * 4000
        size = len(update) + 100
        self.server.files[UPDATE] = update
        short = self.server.url("short", "")[:-1]
        rows = [
            # what differs, .original keys (None: no file), .info keys (None: not on the
            # server), code, reason, the update's requests (None: none; "size": the first
            # byte only; "whole": also the download)
            ("no .original", None, {}, 1, "Error reading .ORIGINAL file", None),
            ("no .info on the server", {}, None, 0, "Error downloading .INFO file", None),
            ("same Stamp", {"Stamp": 77}, {"Stamp": 77}, 2, "Too early for retesting", None),
            ("version not higher", {}, {"VersionNew": 1}, 3,
             "New version is not higher then old version", None),
            ("not for this version", {}, {"ValidVersions": "3,4"}, 4,
             '"Valid for version" mismatch', None),
            ("size off", {}, {"SizeOfUpdateFile": size + 100}, 5, "Download file size error",
             "size"),
            ("release for this installation, size 99 bytes off", {},
             {"ValidVersions": "4,1", "SizeOfUpdateFile": size - 99}, 6, "OK", "whole"),
        ]
        previous_info = None
        for what, original, info_keys, code, reason, update_requests in rows:
            with self.subTest(what):
                if original is None:
                    sr.remove(app.path(ORIGINAL))
                else:
                    app.write_original(ProbeSecondsInterval=-1, **original)
                info = None
                if info_keys is None:
                    self.server.files.pop(INFO, None)
                else:
                    keys = {"DownloadURL_UPDATE": short, "SizeOfUpdateFile": size,
                            "RunningProcess": ""}
                    keys.update(info_keys)
                    info = app.info(**keys)
                    self.server.files[INFO] = info
                del self.server.requests[:]
                log_before = len(app.run_log())

                def decisions():
                    return re.findall(r" X (GetOkToPerformAU = .*)\r\n", app.run_log()[log_before:])

                self.assertEqual(app.run_agent("/TEST=1"), 0)
                self.assertTrue(zvtest.wait_until(decisions, START),
                                f"no forced check:\n{app.run_log()[log_before:]}")
                # One check only: the copy that /TEST= started ends two ticks after it.
                self.assertTrue(zvtest.wait_until(lambda: not os.path.exists(app.copy), START),
                                "the one-shot copy did not end")
                # Without a .original file the interval is 0, "once per run": that automatic
                # check may come besides the forced one, and decides alike.
                self.assertEqual(set(decisions()), {f"GetOkToPerformAU = {code} - {reason}"})

                gets = self.gets()
                names = {p.rsplit("/", 1)[-1] for p, _ in gets}
                self.assertEqual(names, {INFO} if update_requests is None else {INFO, UPDATE},
                                 gets)
                whole_update = [p for p, r in gets if p.endswith("/" + UPDATE) and r is None]
                self.assertEqual(bool(whole_update), update_requests == "whole", gets)
                if code == 5:
                    self.assertIn(f"  InfoSize={size + 100}\r\n", app.run_log()[log_before:])
                    self.assertIn(f"  HttpSize={size}\r\n", app.run_log()[log_before:])
                # The agent never creates the .original file; an error page never replaces
                # the .info file it has.
                self.assertEqual(os.path.exists(app.path(ORIGINAL)), original is not None)
                if info is not None:
                    self.assertEqual(sr.read(app.path(INFO)), info)
                    previous_info = info
                elif previous_info is not None:
                    self.assertEqual(sr.read(app.path(INFO)), previous_info)
        self.assertFalse(os.path.exists(app.path(UPDATE)), "a failed download left the update")

    def start_program(self):
        """The installed program, started without arguments: it logs beside itself."""
        program_log = self.app.path("App.log")
        sr.write(self.app.path(PROGRAM), sr.read(zvtest.bin_path("window_probe.exe")))
        running = zvtest.start_wine(self.app.path(PROGRAM), [], folder=self.tmp, name="program")
        self.assertTrue(zvtest.wait_until(lambda: "window" in self.program_events(program_log),
                                          START), "the program did not open its window")
        return running

    def one_shot_check(self, ends_with, test=1):
        """Starts a forced check (/TEST=test; 2: one the user asked for) by a one-shot copy;
        returns a function that waits for the run log line ends_with of that check and for the
        copy to end, and returns the check's part of the run log."""
        before = len(self.app.run_log())
        self.assertEqual(self.app.run_agent(f"/TEST={test}"), 0)

        def finished():
            self.assertTrue(zvtest.wait_until(lambda: ends_with in self.app.run_log()[before:],
                                              START), self.app.run_log()[before:])
            self.assertTrue(zvtest.wait_until(lambda: not os.path.exists(self.app.copy), START),
                            "the one-shot copy did not end")
            return self.app.run_log()[before:]
        return finished

    def test_refused_download_is_deleted_reported_and_leaves_the_program_alone(self):
        app = self.app
        title = "Error agent-e2e refusal"
        # A package and an announcement of another installation: built alike, another token.
        foreign = os.path.join(self.tmp, "foreign")
        os.makedirs(foreign)
        foreign_update = sr.read(sr.pack(
            foreign, [("Engine.exe* /Target=" + zvtest.winpath(app.dir), sr.engine_bytes()),
                      (PROGRAM, b"not for this installation")],
            output=UPDATE, package={"SaveAgentCopy": 1},
            update=dict(update_section(self.server), Token="another-token-0815"))[0])
        foreign_news = inform_file(foreign, os.path.join(foreign, UPDATE), b"Not for you.")
        page_url = self.server.url("page404", UPDATE)
        inform = {"General": {"AutoInform": 1},
                  "AutoInform": {"NameOfInformFile": INFORM, "SizeOfInformFile": len(foreign_news),
                                 "DownloadURL_INFORM": self.server.url("upgrade", "")}}
        rows = [
            # what, [NewSetup] keys, other sections of the .info, the file the agent fetches
            # and what is served under its name, the box's text, the check's last run log line
            ("update package with another token", {"SizeOfUpdateFile": len(foreign_update)}, {},
             UPDATE, foreign_update, "Bad Secret Token!",
             "PerformAutoUpdate() - END    Result=FALSE"),
            ("error page in place of the update",
             {"DownloadURL_UPDATE": page_url.rsplit("/", 1)[0],
              "SizeOfUpdateFile": len(httpserver.NOT_FOUND_PAGE)}, {},
             UPDATE, b"never sent", f"404 File Not Found... URL: {page_url}. Please make "
             "sure the file is available and access is allowed to this file.",
             "PerformAutoUpdate() - END    Result=FALSE"),
            ("announcement with another token", {}, inform, INFORM, foreign_news,
             "Bad Secret Token!", "PerformAutoInform() - END FALSE"),
        ]
        running = self.start_program()
        program = sr.read(app.path(PROGRAM))
        program_events = self.program_events(app.path("App.log"))
        for what, keys, sections, name, served, text, last_line in rows:
            with self.subTest(what):
                app.write_original(sections={"MsgBox": {"Error": title}}, ProbeSecondsInterval=-1)
                self.server.files.clear()
                self.server.files.update({INFO: app.info(sections, **keys), name: served})
                del self.server.requests[:]
                finished = self.one_shot_check(last_line)

                box = sr.wait_box(title, timeout=START)
                # The refused file is gone before the user is told, whatever the answer.
                self.assertEqual([f for f in os.listdir(app.dir) if f.startswith(name)], [])
                self.assertEqual(box["caption"], title)
                self.assertEqual(sr.flat(box["text"]), f"{title} {text}")  # under its heading
                sr.press(title, "&OK")
                log = finished()

                # It was downloaded whole, then refused: nothing else was fetched or run.
                whole = [p.rsplit("/", 1)[-1] for p, r in self.gets() if r is None]
                self.assertEqual(whole, [INFO, name], self.gets())
                self.assertIn("ERROR: ", log)
                self.assertNotIn("Shut Down Process()", log)
                self.assertTrue(sr.box_gone(title, timeout=10), "the box stayed")
                self.assertTrue(sr.uidriver("gone", "--class", INFORM_WINDOW, "--timeout", 1,
                                            check=False).returncode == 0,
                                "an announcement window opened")
                setup = ini_values(app.path(ORIGINAL), "OriginalSetup")
                self.assertEqual(setup["VersionOriginal"], "1")

        # The program ran on, untouched, in the process it started in.
        self.assertIsNone(running.proc.poll(), "the program ended")
        self.assertEqual(self.program_events(app.path("App.log")), program_events)
        self.assertEqual(sr.read(app.path(PROGRAM)), program)
        self.assertFalse(sr.Engine(app.dir).ran(), "a refused package's engine ran")

    def next_box(self, titles, timeout=START):
        """What the agent's next message box shows, whichever of the titles it has: a box of
        another kind than expected, or none before the copy ends, fails at once rather than
        after a time-out."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ended = not os.path.exists(self.app.copy)
            for title in titles.values():
                r = sr.uidriver("wait", *sr.box_args(title, None), "--timeout", 0, "--print",
                                check=False)
                if r.returncode == 0:
                    return sr.box_fields(r.stdout)
            if ended:
                self.fail(f"the copy ended without a box:\n{self.app.run_log()}")
        self.fail(f"no box within {timeout} s:\n{self.app.run_log()}")

    @staticmethod
    def shown(box):
        """A box as the user reads it: caption, text on one line, button captions."""
        return (box["caption"], sr.flat(box["text"]),
                [b.split(":")[0] for b in box["buttons"].split("|")])

    def ask_and_agree(self, titles):
        """Answers Yes to the question a check the user asked for starts with; nothing has been
        fetched before it."""
        self.assertEqual(self.shown(self.next_box(titles)),
                         (titles["Confirm"], ASK, ["&Yes", "&No"]))
        self.assertEqual(self.gets(), [])
        sr.press(titles["Confirm"], "&Yes")

    def test_user_requested_check_installs_without_questions_and_tells_when_done(self):
        app = self.app
        program_log = app.path("App.log")
        titles = sr.unique_titles("agent-e2e user update")
        # The release asks for both questions and no finish message: a check the user asked
        # for asks neither and tells all the same.
        info, new_program = self.publish_release(
            ProgramName="Probe App 2.0", RequestConfirmationBeforeDownload=1,
            RequestConfirmationBeforeInstall=1, InformFinish=0)
        app.write_original(sections={"MsgBox": titles, "AutoUpdate": USER_CHECK_TEXTS},
                           ProbeSecondsInterval=-1)
        running = self.start_program()
        first_pid = self.program_pids(program_log)[0]
        finished = self.one_shot_check("PerformAutoUpdate() - END ", test=2)
        self.ask_and_agree(titles)

        # The next box is the last: the end of the installation, with the question whether to
        # start the closed program again.
        box = self.next_box(titles)
        done = "Probe App 2.0 has been updated."  # the release's name
        restart = not (box["caption"] == titles["Attention"] and
                       os.environ.get("ZV_IA32_EMULATED"))
        if restart:
            expected = (titles["Confirm"], done + " Start it again now?", ["&Yes", "&No"])
        else:
            # Emulated, the closed program may outlive the agent's one-second wait: it is then
            # not restarted, and the user is only told.
            expected = (titles["Attention"], done, ["&OK"])
        self.assertEqual(self.shown(box), expected)
        self.assertEqual(ini_values(app.path(ORIGINAL), "OriginalSetup")["VersionOriginal"], "2")
        self.assertEqual(sr.read(app.path(PROGRAM)), new_program)
        self.assertIsNotNone(running.wait(START), "the program is still running")
        sr.press(expected[0], expected[2][0])
        log = finished()
        self.assertIn("GetOkToPerformAU = 6 - OK", log)
        self.assertIn("PerformAutoUpdate() - END    Result=TRUE", log)
        self.assertEqual([p.rsplit("/", 1)[-1] for p, r in self.gets() if r is None],
                         [INFO, UPDATE], self.gets())
        self.assertEqual(sr.read(app.path(INFO)), info)
        if restart:
            self.assertTrue(zvtest.wait_until(lambda: len(self.program_pids(program_log)) == 2,
                                              START), self.program_events(program_log))
            self.assertNotEqual(self.program_pids(program_log)[1], first_pid)
        # The copy ended for good: the stop that came with /TEST=2 wins over the agent's restart.
        self.assertNotIn(".. WinExec - ", log)
        self.assertEqual(app.copy_starts(), 1, app.run_log())

    def test_user_requested_check_reports_why_nothing_was_installed(self):
        app = self.app
        titles = sr.unique_titles("agent-e2e user report")
        info_url = self.server.url("files", INFO)
        newest = "You already have the newest version."
        rows = [
            # what, .original keys, .info keys (None: not on the server), the decision, the
            # report's kind and text
            ("the installed release: same Stamp, same version",
             {"VersionOriginal": 2, "Stamp": 20261211}, {},
             "3 - New version is not higher then old version", "Attention", newest),
            ("a release for other versions", {}, {"ValidVersions": "3,4"},
             '4 - "Valid for version" mismatch', "Attention", newest),
            ("no .info on the server", {}, None, "0 - Error downloading .INFO file", "Error",
             f"{titles['Error']} 404 File Not Found... URL: {info_url}. Please make sure the "
             "file is available and access is allowed to this file."),
        ]
        for what, original, info_keys, decision, kind, text in rows:
            with self.subTest(what):
                kill_programs_in(app.dir)  # a failed row's copy, with its box still open
                app.write_original(sections={"MsgBox": titles, "AutoUpdate": USER_CHECK_TEXTS},
                                   ProbeSecondsInterval=-1, **original)
                self.server.files.clear()
                self.server.files[UPDATE] = b"never fetched"
                if info_keys is not None:
                    self.server.files[INFO] = app.info(**info_keys)
                del self.server.requests[:]
                finished = self.one_shot_check("GetOkToPerformAU = ", test=2)
                self.ask_and_agree(titles)

                self.assertEqual(self.shown(self.next_box(titles)),
                                 (titles[kind], text, ["&OK"]))
                sr.press(titles[kind], "&OK")
                log = finished()
                self.assertIn(f"GetOkToPerformAU = {decision}\r\n", log)
                self.assertEqual({p.rsplit("/", 1)[-1] for p, _ in self.gets()}, {INFO},
                                 self.gets())
                self.assertEqual(
                    ini_values(app.path(ORIGINAL), "OriginalSetup")["VersionOriginal"],
                    str(original.get("VersionOriginal", 1)))

    def test_inform_release_shows_its_announcement_once(self):
        app = self.app
        text = (b"Probe App 2.0 is here: faster, and with a new report designer.\r\n"
                b"Click Download to see what it costs to upgrade.")
        news = inform_file(self.tmp, app.agent, text)
        link = self.server.url("upgrade", "")
        self.server.files.update({
            INFO: app.info({"General": {"AutoInform": 1},
                            "AutoInform": {"NameOfInformFile": INFORM,
                                           "SizeOfInformFile": len(news),
                                           "DownloadURL_INFORM": link,
                                           "AutoInformW": 420, "AutoInformH": 300}}),
            INFORM: news, UPDATE: b"an inform release installs nothing"})
        app.write_original(ProbeSecondsInterval=-1)
        finished = self.one_shot_check("PerformAutoInform() - END ")

        window = ["--class", INFORM_WINDOW, "--title", "New Version"]
        shown = sr.box_fields(sr.uidriver("wait", *window, "--timeout", START, "--print",
                                          timeout=START + 60).stdout)
        self.assertEqual(shown["text"], text.decode("latin-1"))
        self.assertEqual([b.split(":")[0] for b in shown["buttons"].split("|")], ["Download"])
        self.assertEqual(shown["rect"].split(",")[2:], ["420", "300"])
        # Closed without following the link: the link is never opened.
        sr.uidriver("close", *window)
        log = finished()
        self.assertIn("PerformAutoInform() - END TRUE", log)

        self.assertEqual(ini_values(app.path(ORIGINAL), "OriginalSetup")["VersionOriginal"], "2")
        self.assertEqual({p.rsplit("/", 1)[-1] for p, _ in self.gets()}, {INFO, INFORM},
                         self.gets())

    @staticmethod
    def program_events(path):
        if not os.path.exists(path):
            return []
        return [l for l in sr.read(path).decode("latin-1").split("\r\n") if l]

    def program_pids(self, path):
        return [l[4:] for l in self.program_events(path) if l.startswith("pid=")]


if __name__ == "__main__":
    zvtest.main()
