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
    @staticmethod
    def head_blocks(package):
        """Bytes of the two head blocks at the package's start."""
        at = trailer_fields(package)["start"]
        for _ in range(2):
            at += 4 + struct.unpack_from("<i", package, at)[0]
        return at - trailer_fields(package)["start"]

    def test_agent_copy_beside_the_extracted_files(self):
        stub = sr.stub_bytes()
        setup = sr.pack(self.tmp, [("Engine.exe*", sr.engine_bytes()), ("app.txt", b"app")],
                        package={"SaveAgentCopy": 1}, update={"AgentFileName": AGENT})[0]
        folder = sr.stamp(setup)
        target = os.path.join(self.tmp, "target")

        self.assertEqual(sr.run_setup(setup, sr.engine_switches(target, "/hide"), self.tmp), 0)
        engine = sr.Engine(target)
        self.assertIn(AGENT, engine.values("Installed"))
        # Only the running agent itself passes /AutoUpdateProg on.
        self.assertNotIn("/AutoUpdateProg", engine.value("CommandLine"))

        # The stub and its head blocks, then a trailer that makes the copy the agent.
        agent = sr.read(os.path.join(target, AGENT))
        package = sr.read(setup)
        head_end = len(agent) - pkgbuild.TRAILER_SIZE
        self.assertEqual(head_end, trailer_fields(package)["start"] + self.head_blocks(package))
        self.assertEqual(agent[:248], stub[:248])
        self.assertEqual(struct.unpack_from("<I", agent, 252)[0], 0)
        self.assertEqual(agent[256:head_end], package[256:head_end])
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
