#!/usr/bin/env python3
"""A package signed after it was built (Authenticode, osslsigncode, throw-away certificate) reads
back with the packager and still runs its setup under Wine: the signature lies after the package's
end (ImageEnd), where the stub does not look."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

README = b"Signed package readme\r\n"


def tool(*argv, timeout=120):
    r = subprocess.run(list(argv), capture_output=True, text=True, timeout=timeout)
    if r.returncode != 0:
        raise AssertionError(f"{' '.join(argv)} failed ({r.returncode}):\n{r.stdout}{r.stderr}")
    return r.stdout


class SignedPackage(zvtest.TestCase):
    def sign(self, unsigned, signed):
        key, cert = os.path.join(self.tmp, "key.pem"), os.path.join(self.tmp, "cert.pem")
        tool("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
             "-out", cert, "-days", "2", "-subj", "/CN=Zolvex Test Signer")
        tool("osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Zolvex test",
             "-in", unsigned, "-out", signed)
        tool("osslsigncode", "verify", "-CAfile", cert, signed)

    def test_signed_package_reads_back_and_runs(self):
        readme = os.path.join(self.tmp, "readme.txt")
        sr.write(readme, README)
        unsigned = os.path.join(self.tmp, "Unsigned.exe")
        ini = os.path.join(self.tmp, "setup.ini")
        with open(ini, "w") as f:
            f.write(f"[Package]\nStub={zvtest.bin_path('stub.exe')}\nOutput={unsigned}\n"
                    f"[Files]\nEngine.exe*={zvtest.bin_path('Engine.exe')}\nreadme.txt={readme}\n")
        pack = zvtest.host_bin("zolvex-pack")
        tool(pack, "build", ini, "--quiet")
        setup = os.path.join(self.tmp, "Setup.exe")
        self.sign(unsigned, setup)
        self.assertGreater(os.path.getsize(setup), os.path.getsize(unsigned))

        info = tool(pack, "info", setup)
        self.assertIn("(padding and signature)", info)
        self.assertIn(f"  ImageEnd: {os.path.getsize(unsigned)}\n", info)
        tool(pack, "verify", setup)
        self.assertIn("readme.txt", tool(pack, "list", setup))

        folder = sr.stamp(setup)
        target = os.path.join(self.tmp, "target")
        self.assertEqual(sr.run_setup(setup, sr.engine_switches(target, "/hide", "/Exit=5"),
                                      self.tmp), 5)
        engine = sr.Engine(target)
        self.assertEqual(engine.values("Installed"), ["readme.txt"])
        self.assertEqual(sr.read(os.path.join(target, "readme.txt")), README)
        self.assertFalse(os.path.exists(sr.unix_path(folder)))


if __name__ == "__main__":
    zvtest.main()
