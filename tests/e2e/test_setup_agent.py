#!/usr/bin/env python3
"""Agent copies made by the setup flow: the auto-update agent written beside the extracted files
of a package that asks for one, and the web stub's copy of itself."""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(__file__))
import pkgbuild  # noqa: E402
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

AGENT = "Agent.exe"


def trailer_fields(data):
    t = data[-pkgbuild.TRAILER_SIZE:]
    return {"signature": struct.unpack_from("<I", t, 12)[0], "is_agent": t[69],
            "size": struct.unpack_from("<i", t, 70)[0], "start": struct.unpack_from("<I", t, 4)[0]}


class AgentCopies(zvtest.TestCase):
    def test_agent_copy_beside_the_extracted_files(self):
        stub = sr.stub_bytes()
        package = pkgbuild.Package(
            files=[pkgbuild.File("Engine.exe*", sr.engine_bytes()), pkgbuild.File("app.txt", b"app")],
            header=pkgbuild.header_block(agent=AGENT), save_agent_copy=1,
            texts=sr.english(**sr.unique_titles("agentcopy")))
        setup = os.path.join(self.tmp, "Setup.exe")
        sr.write(setup, package.build(stub))
        folder = sr.stamp(setup)
        target = os.path.join(self.tmp, "target")

        self.assertEqual(sr.run_setup(setup, sr.engine_switches(target, "/hide"), self.tmp), 0)
        engine = sr.Engine(target)
        self.assertIn(AGENT, engine.values("Installed"))
        # Only the running agent itself passes /AutoUpdateProg on.
        self.assertNotIn("/AutoUpdateProg", engine.value("CommandLine"))

        agent = sr.read(os.path.join(target, AGENT))
        head_end = len(stub) + len(package.heads())
        self.assertEqual(len(agent), head_end + pkgbuild.TRAILER_SIZE)
        self.assertEqual(agent[:248], stub[:248])
        self.assertEqual(struct.unpack_from("<I", agent, 252)[0], 0)
        self.assertEqual(agent[256:head_end], (stub + package.heads())[256:head_end])
        fields = trailer_fields(agent)
        self.assertEqual((fields["signature"], fields["is_agent"], fields["size"]),
                         (pkgbuild.SIGNATURE, 1, pkgbuild.TRAILER_SIZE))
        self.assertFalse(os.path.exists(sr.unix_path(folder)))

    def test_web_stub_writes_its_agent_copy_before_the_download(self):
        # Nothing answers on the discard port: the download fails and the run ends with 4.
        package = pkgbuild.Package(
            header=pkgbuild.header_block(agent=AGENT), save_agent_copy=1, web_stub=1,
            download=pkgbuild.download_block("http://127.0.0.1:9/", "RealSetup.exe", True, "", "1000"),
            texts=sr.english(**sr.unique_titles("webstub")))
        data = package.build(sr.stub_bytes()) + bytes(8000)  # a signature after ImageEnd
        setup = os.path.join(self.tmp, "WebSetup.exe")
        sr.write(setup, data)
        folder = sr.stamp(setup)
        with zvtest.TraceViewer(self.tmp) as viewer:
            run = sr.start_setup(setup, ["/hide", "/WebAgentMarker"], self.tmp)
            code, _ = sr.finish(run, sr.unique_titles("webstub")["Error"])
        self.assertEqual(code, 4)
        _, lines = viewer.process_lines("/WebAgentMarker")
        self.assertTrue(any(l.endswith(" New AU-Agent: " + folder + "\\" + AGENT) for l in lines),
                        "\n".join(lines))
        self.assertFalse(os.path.exists(sr.unix_path(folder)))


if __name__ == "__main__":
    zvtest.main()
