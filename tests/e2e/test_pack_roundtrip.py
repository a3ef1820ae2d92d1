#!/usr/bin/env python3
"""Round trip through the zolvex-pack executable: build packages from descriptions, then check that
info/list/verify/extract report what was built, and that a reader written independently here (the
way the stub walks a package) finds the same bytes. Also: reproducible output, spanned volumes,
Authenticode signing with a throw-away certificate, damaged packages, and the Windows packager
under Wine giving the same bytes as the Linux one.

Environment: ZV_HOST_BIN (folder of the Linux zolvex-pack), optionally ZV_BIN + ZV_WINE_RUN (the
Windows build and the Wine wrapper)."""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

EPOCH = 1700000000           # SOURCE_DATE_EPOCH of every build
FILE_TIME = 1600000000       # mtime of every input file (even seconds: DOS dates keep those)
ENV = dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH), TZ="UTC")


def host_packager():
    folder = os.environ.get("ZV_HOST_BIN", "")
    path = os.path.abspath(os.path.join(folder, "zolvex-pack"))
    return path if folder and os.path.isfile(path) else None


def wine_packager():
    folder, wine = os.environ.get("ZV_BIN", ""), os.environ.get("ZV_WINE_RUN", "")
    path = os.path.abspath(os.path.join(folder, "zolvex-pack.exe"))
    return (os.path.abspath(wine), path) if folder and wine and os.path.isfile(path) else None


def run(args, cwd=None, ok=True):
    packager = host_packager()
    if packager:
        cmd = [packager] + args
    else:
        wine, exe = wine_packager()
        cmd = [wine, exe] + args
    p = subprocess.run(cmd, cwd=cwd, env=ENV, capture_output=True, text=True, errors="replace")
    if ok and p.returncode != 0:
        raise AssertionError("%s failed (%d): %s" % (" ".join(args), p.returncode, p.stderr))
    return p


def read(path):
    with open(path, "rb") as f:
        return f.read()


def make_pe():
    """A minimal valid PE32 image with its PE header at offset 256, as the packager requires."""
    b = bytearray(0x600)
    b[0:2] = b"MZ"
    struct.pack_into("<I", b, 0x3C, 256)
    b[256:260] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", b, 260, 0x14C, 1, 0, 0, 0, 224, 0x0102)
    opt = 280
    struct.pack_into("<HBBIIIIII", b, opt, 0x10B, 0, 0, 0x200, 0, 0, 0x1000, 0x1000, 0x2000)
    struct.pack_into("<IIIHHHHHHIIIIHHIIIIII", b, opt + 28, 0x400000, 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0,
                     0x2000, 0x400, 0, 2, 0, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    struct.pack_into("<8sIIIIIIHHI", b, opt + 224, b".text", 0x200, 0x1000, 0x200, 0x400, 0, 0, 0, 0,
                     0x60000020)
    b[0x400] = 0xC3
    return bytes(b)


# ---- an independent reader, following the package layout and the stub's extraction walk ----

def read_trailer(data):
    end = len(data)
    if data[:2] == b"MZ" and data[256:258] == b"PE":
        high, low = struct.unpack_from("<II", data, 248)
        if high << 32 | low:
            end = high << 32 | low
    length = struct.unpack_from("<i", data, end - 4)[0]
    t = data[end - length:end - length + 74]
    return {
        "start": end - length, "end": end,
        "HeadBlockCount": t[1] or 2, "PackageStart": struct.unpack_from("<I", t, 4)[0],
        "FileCount": struct.unpack_from("<I", t, 8)[0], "Signature": struct.unpack_from("<I", t, 12)[0],
        "Checksum": struct.unpack_from("<I", t, 16)[0], "PackageTime": struct.unpack_from("<q", t, 20)[0],
        "SpaceRequired": list(struct.unpack_from("<9I", t, 28)), "Flags": t[65],
        "IsWebStub": t[66], "ConfirmDownload": t[67], "SaveAgentCopy": t[68], "IsAgent": t[69],
        "TrailerSize": struct.unpack_from("<i", t, 70)[0],
    }


def checksum(data, trailer_size=74):
    """The package checksum as the stub computes it."""
    r = len(data)
    if r > 51200:
        return 1234
    word = 0
    if data[:2] == b"MZ" and data[256:258] == b"PE":
        word = struct.unpack_from("<I", data, 252)[0]
    if word:
        r = word
    r -= trailer_size
    start = 0
    if word:
        r -= 512
        start = 512
    total = 0
    pos = start
    while True:
        piece = data[pos:pos + 4096]
        pos += 4096
        for i in range(0, len(piece) - 3, 4):
            r -= 4
            if r > 4:
                total = (total + struct.unpack_from("<I", piece, i)[0]) & 0xFFFFFFFF
        if r > 4:
            total = (total + 1234) & 0xFFFFFFFF
        if len(piece) < 4096:
            return total


def blocks_of(data, trailer):
    pos, out = trailer["PackageStart"], []
    while trailer["start"] - pos > 0:
        n = struct.unpack_from("<i", data, pos)[0]
        out.append((n, data[pos + 4:pos + 4 + abs(n)]))
        pos += 4 + abs(n)
    assert pos == trailer["start"], "blocks do not end at the trailer"
    return out


def stub_walk(package_file):
    """Files as the extraction writes them: block counter over all volumes, head blocks first,
    MoreVolumes chaining to <base>.002, .003, ...; pieces of one name appended."""
    base = package_file[:-4] if package_file.endswith(".001") else package_file
    volume, counter, files, main, current = 1, 0, {}, "", package_file
    while True:
        data = read(current)
        t = read_trailer(data)
        assert t["Signature"] == 0x4A3B2C1D, current
        assert checksum(data) in (t["Checksum"], 1234) or t["Checksum"] == 1234, current
        for n, raw in blocks_of(data, t):
            counter += 1
            if counter <= t["HeadBlockCount"]:
                continue
            content = zlib.decompress(raw) if n > 0 else raw
            header, _, payload = content.partition(b"\0")
            name = header.split(b"|")[1].decode("latin-1")
            if "*" in name:
                main, name = name, name.split("*")[0]
            files[name] = files.get(name, b"") + payload
        if not t["Flags"] & 2:
            return files, main
        volume += 1
        current = "%s.%03d" % (base, volume)


def head_texts(path):
    data = read(path)
    t = read_trailer(data)
    return [raw for _, raw in blocks_of(data, t)[:t["HeadBlockCount"]]]


def parse_info(text):
    fields = {}
    for line in text.splitlines():
        if ": " in line and not line.startswith(" "):
            key, value = line.split(": ", 1)
            fields.setdefault(key, value)
    return fields


def parse_list(text):
    rows = []
    for line in text.splitlines()[1:-1]:
        name, date, size, stored, method, volume = line.split("\t")
        rows.append((name, date, int(size), int(stored), method, int(volume)))
    return rows


class PackRoundTrip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not host_packager() and not wine_packager():
            raise unittest.SkipTest("no zolvex-pack found (ZV_HOST_BIN / ZV_BIN)")
        cls.dir = tempfile.mkdtemp(prefix="zvpack_e2e_")
        d = cls.dir
        with open(os.path.join(d, "stub.exe"), "wb") as f:
            f.write(make_pe())
        rnd = random.Random(5)
        cls.sources = {
            "Engine.exe": b"MZ" + bytes(rnd.getrandbits(8) for _ in range(3000)),
            "readme.txt": b"".join(b"line %d of the readme\r\n" % i for i in range(15000)),
            "random.bin": bytes(rnd.getrandbits(8) for _ in range(100000)),
            "empty.txt": b"",
            "a.dll": b"dll a" * 50,
            "b.dll": b"dll b" * 70,
            "notes.txt": b"notes",
        }
        os.makedirs(os.path.join(d, "src", "lib"))
        for name, data in cls.sources.items():
            folder = "lib" if name in ("a.dll", "b.dll", "notes.txt") else ""
            path = os.path.join(d, "src", folder, name)
            with open(path, "wb") as f:
                f.write(data)
            os.utime(path, (FILE_TIME, FILE_TIME))
        with open(os.path.join(d, "en.lng"), "w") as f:
            f.write("Charset=0\nFontName=Tahoma\ns10=Downloading File...\nBtnText=|&Yes|&No|\n")
        with open(os.path.join(d, "de.lng"), "w") as f:
            f.write("Charset=0\ns10=Datei wird geladen...\n")
        cls.files = ("[Files]\nEngine.exe* /x=1=src/Engine.exe\nreadme.txt=src/readme.txt\n"
                     "random.bin=src/random.bin\nempty.txt=src/empty.txt\nlibs=src/lib/*.dll\n"
                     "notes.txt=src/lib/notes.txt\n")
        cls.full = ("[Package]\nStub=stub.exe\nShowTempNotice=1\nShowActivityBar=1\nAgent=1\nRunLog=1\n"
                    "ConfirmDownload=1\nSilentSetup=1\n"
                    "[Update]\nUpdateUrl=http://127.0.0.1:8080/upd\nInfoFileName=App.Update.info\n"
                    "AgentFileName=AppAgent.exe\nToken=update-token\n"
                    "[Download]\nUrl=http://127.0.0.1:8080/dl\nFileName=Full.exe\nAlwaysDownload=1\n"
                    "Token=download-token\nSize=5M\n"
                    "[Languages]\nEnglish=en.lng\nDeutsch=de.lng\n") + cls.files

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def assertSameFiles(self, files):
        """Compares name by name: a diff of megabytes of bytes would take the test minutes."""
        self.assertEqual(sorted(files), sorted(self.sources))
        for name, data in files.items():
            expected = self.sources[name]
            self.assertTrue(data == expected, "%s: %d bytes, expected %d" % (name, len(data), len(expected)))

    def write(self, name, text):
        with open(os.path.join(self.dir, name), "w") as f:
            f.write(text)
        return os.path.join(self.dir, name)

    def build(self, text, output, extra=()):
        ini = self.write("pkg.ini", text)
        run(["build", "pkg.ini", "-o", output] + list(extra), cwd=self.dir)
        return os.path.join(self.dir, output)

    def test_commands_report_what_was_built(self):
        pkg = self.build(self.full, "out/Setup.exe")
        data = read(pkg)
        t = read_trailer(data)
        self.assertEqual(t["end"], len(data))
        self.assertEqual(t["Checksum"], checksum(data))

        info = parse_info(run(["info", pkg]).stdout)
        expected = {
            "HeadBlockCount": "3", "PackageStart": str(len(make_pe())), "FileCount": "7",
            "PackageChecksum": str(t["Checksum"]), "ShowTempNotice": "1", "MoreVolumes": "0",
            "SpannedPackage": "0", "ShowActivityBar": "1", "RunLogEnabled": "1", "IsWebStub": "0",
            "ConfirmDownload": "1", "SaveAgentCopy": "0", "IsAgent": "1", "TrailerSize": "74",
            "UpdateUrl": "http://127.0.0.1:8080/upd", "InfoFileName": "App.Update.info",
            "OriginalFileName": "App.original", "AgentFileName": "AppAgent.exe",
            "UpdateToken": "update-token", "SilentSetup": "1", "DownloadUrl": "http://127.0.0.1:8080/dl",
            "DownloadFileName": "Full.exe", "AlwaysDownload": "1", "DownloadToken": "download-token",
            "DownloadSize": str(5 << 20), "Languages": "2",
        }
        for key, value in expected.items():
            self.assertEqual(info.get(key), value, key)
        self.assertEqual(info["PackageTime"].split()[0], str(EPOCH + 25569 * 86400))
        self.assertEqual(info["SpaceRequired"], " ".join(map(str, t["SpaceRequired"])))
        sizes = [len(v) for v in self.sources.values()]
        self.assertEqual(t["SpaceRequired"][0], sum(sizes))
        self.assertEqual(t["SpaceRequired"][4], sum((s + 4095) // 4096 * 4096 for s in sizes))
        out = run(["info", pkg]).stdout
        self.assertIn("[Deutsch]\n  Charset=0\n  s10=Datei wird geladen...\n", out)
        self.assertEqual(head_texts(pkg)[0], b"\x02\x01English\x01Charset=0\x01FontName=Tahoma\x01"
                         b"s10=Downloading File...\x01BtnText=|&Yes|&No|\x01\x02\x01Deutsch\x01"
                         b"Charset=0\x01s10=Datei wird geladen...\x01\x02")

        rows = parse_list(run(["list", pkg]).stdout)
        self.assertEqual([r[0] for r in rows], ["Engine.exe* /x=1", "readme.txt", "random.bin", "empty.txt",
                                                "a.dll", "b.dll", "notes.txt"])
        for name, date, size, stored, method, volume in rows:
            plain = name.split("*")[0]
            self.assertEqual(size, len(self.sources[plain]), name)
            self.assertEqual(date, "2020-09-13 12:26:40", name)
            self.assertEqual(volume, 0)
        self.assertEqual(dict((r[0], r[4]) for r in rows)["readme.txt"], "zlib")
        self.assertEqual(dict((r[0], r[4]) for r in rows)["random.bin"], "store")

        self.assertIn("OK: 7 files in 7 blocks", run(["verify", pkg]).stdout)
        target = os.path.join(self.dir, "extracted")
        run(["extract", pkg, target])
        self.assertEqual(sorted(os.listdir(target)), sorted(self.sources))
        for name, data in self.sources.items():
            path = os.path.join(target, name)
            self.assertTrue(read(path) == data, name)
            self.assertEqual(int(os.stat(path).st_mtime), FILE_TIME, name)

        files, main = stub_walk(pkg)
        self.assertSameFiles(files)
        self.assertEqual(main, "Engine.exe* /x=1")

    def test_same_inputs_same_bytes(self):
        a = read(self.build(self.full, "same1.exe"))
        b = read(self.build(self.full, "same2.exe"))
        self.assertTrue(a == b)
        c = read(self.build(self.full.replace("Token=update-token", "Token=other"), "other.exe"))
        self.assertTrue(a != c)

    def test_spanned_package(self):
        text = "[Package]\nStub=stub.exe\nVolumeSize=32K\n[Languages]\nEnglish=en.lng\n" + self.files
        stub = self.build(text, "span/Setup.exe")
        volumes = sorted(f for f in os.listdir(os.path.dirname(stub)) if f.startswith("Setup.exe."))
        self.assertGreaterEqual(len(volumes), 4)
        self.assertEqual(volumes[0], "Setup.exe.001")
        for name in volumes:
            self.assertLessEqual(os.path.getsize(os.path.join(self.dir, "span", name)), 32768)
        self.assertEqual(parse_info(run(["info", stub]).stdout)["SpannedPackage"], "1")
        # The stub holds only head blocks; volume 1 repeats them, then the files follow.
        stub_trailer = read_trailer(read(stub))
        self.assertEqual(len(blocks_of(read(stub), stub_trailer)), 2)
        self.assertEqual(head_texts(stub), head_texts(stub + ".001")[:2])
        run(["verify", stub])
        run(["verify", stub + ".001"])
        files, main = stub_walk(stub + ".001")
        self.assertSameFiles(files)
        rows = parse_list(run(["list", stub]).stdout)
        self.assertEqual(max(r[5] for r in rows), len(volumes))
        target = os.path.join(self.dir, "span_out")
        run(["extract", stub, target])
        for name, data in self.sources.items():
            self.assertTrue(read(os.path.join(target, name)) == data, name)

    def certificate(self):
        """A throw-away self-signed code-signing key pair."""
        key, cert = os.path.join(self.dir, "key.pem"), os.path.join(self.dir, "cert.pem")
        if not os.path.exists(cert):
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out",
                            cert, "-days", "2", "-subj", "/CN=Zolvex test"], check=True, capture_output=True)
        return key, cert

    def test_signed_package_still_reads(self):
        if not shutil.which("osslsigncode") or not shutil.which("openssl"):
            self.skipTest("osslsigncode or openssl missing")
        key, cert = self.certificate()
        small = "[Package]\nStub=stub.exe\n[Files]\nEngine.exe*=src/lib/notes.txt\nb.dll=src/lib/b.dll\n"
        for text, name in ((small, "small.exe"), (self.full, "big.exe")):
            pkg = self.build(text, name)
            unsigned = read(pkg)
            signed = pkg + ".signed.exe"
            subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", pkg, "-out", signed],
                           check=True, capture_output=True)
            data = read(signed)
            self.assertEqual(data[:248], unsigned[:248])
            t = read_trailer(data)
            self.assertEqual(t["end"], len(unsigned))
            cert_offset, cert_size = struct.unpack_from("<II", data, 280 + 96 + 4 * 8)
            self.assertEqual(cert_offset, (len(unsigned) + 7) // 8 * 8)  # signature at the next multiple of 8
            self.assertEqual(cert_offset + cert_size, len(data))
            if len(data) <= 51200:
                self.assertEqual(checksum(data), t["Checksum"])  # the checksum still holds
            self.assertIn("OK:", run(["verify", signed]).stdout)
            info = run(["info", signed]).stdout
            self.assertIn("After the package: %d bytes" % (len(data) - len(unsigned)), info)
            files, _ = stub_walk(signed)
            target = os.path.join(self.dir, "signed_" + name)
            run(["extract", signed, target])
            for fname, content in files.items():
                self.assertTrue(read(os.path.join(target, fname)) == content, fname)
            check = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, signed], capture_output=True,
                                   text=True)
            self.assertIn("Succeeded", check.stdout + check.stderr)

    def real_stub(self):
        for folder in (os.environ.get("ZV_BIN", ""),
                       os.path.join(os.environ.get("ZV_SOURCE", ""), "build", "win32", "bin")):
            path = os.path.join(folder, "stub.exe")
            if folder and os.path.isfile(path) and read(path)[256:258] == b"PE":
                return os.path.abspath(path)
        self.skipTest("no stub.exe with its PE header at 256 (win32 build)")

    def test_real_stub_template(self):
        stub = self.real_stub()
        pkg = self.build(self.full.replace("Stub=stub.exe", "Stub=" + stub), "real.exe")
        data = read(pkg)
        self.assertTrue(data[:len(read(stub))][256:] == read(stub)[256:])
        self.assertEqual(read_trailer(data)["PackageStart"], len(read(stub)))
        self.assertIn("OK: 7 files", run(["verify", pkg]).stdout)
        files, main = stub_walk(pkg)
        self.assertSameFiles(files)
        if shutil.which("osslsigncode") and shutil.which("openssl"):
            key, cert = self.certificate()
            signed = pkg + ".signed.exe"
            subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", pkg, "-out", signed],
                           check=True, capture_output=True)
            self.assertIn("OK: 7 files", run(["verify", signed]).stdout)
            self.assertSameFiles(stub_walk(signed)[0])

    def test_damage_gives_nonzero_exit_and_a_message(self):
        pkg = self.build(self.full, "damage.exe")
        data = read(pkg)
        t = read_trailer(data)
        pos, target = t["PackageStart"], None
        for n, raw in blocks_of(data, t):
            if n > 0 and len(raw) > 1000:
                target = pos + 4 + len(raw) // 2
                break
            pos += 4 + abs(n)
        flipped = bytearray(data)
        flipped[target] ^= 0x40
        bad_signature = bytearray(data)
        bad_signature[t["start"] + 12] ^= 1
        for what, content, message in (("flipped", bytes(flipped), "zlib"),
                                       ("truncated", data[:-300], "truncated"),
                                       ("signature", bytes(bad_signature), "bad package signature")):
            path = os.path.join(self.dir, "bad_" + what + ".exe")
            with open(path, "wb") as f:
                f.write(content)
            p = run(["verify", path], ok=False)
            self.assertEqual(p.returncode, 1, what)
            self.assertIn(message, p.stderr, what)
            self.assertEqual(run(["extract", path, os.path.join(self.dir, "x_" + what)], ok=False).returncode, 1)

    def test_bad_descriptions_and_command_lines(self):
        self.write("unsafe.ini", "[Package]\nStub=stub.exe\n[Files]\n..\\evil.exe=src/lib/notes.txt\n")
        p = run(["build", "unsafe.ini"], cwd=self.dir, ok=False)
        self.assertEqual(p.returncode, 1)
        self.assertIn("unsafe.ini:4:", p.stderr)
        self.assertIn("not a plain file name", p.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "unsafe.exe")))
        self.assertEqual(run(["extract", "x"], ok=False).returncode, 2)
        self.assertEqual(run([], ok=False).returncode, 2)
        self.assertIn("usage", run(["--help"]).stdout)

    def test_windows_packager_writes_the_same_bytes(self):
        if not host_packager() or not wine_packager():
            self.skipTest("needs both the Linux and the Windows packager")
        wine, exe = wine_packager()
        linux = read(self.build(self.full, "linux.exe"))
        p = subprocess.run([wine, exe, "build", "pkg.ini", "-o", "windows.exe"], cwd=self.dir, env=ENV,
                           capture_output=True, text=True, errors="replace")
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertTrue(read(os.path.join(self.dir, "windows.exe")) == linux)
        p = subprocess.run([wine, exe, "verify", "linux.exe"], cwd=self.dir, env=ENV, capture_output=True,
                           text=True, errors="replace")
        self.assertEqual(p.returncode, 0, p.stderr)
        # Without a Stub key the Windows packager takes the stub.exe that lies beside it.
        if os.path.isfile(os.path.join(os.path.dirname(exe), "stub.exe")):
            self.write("nostub.ini", self.files)
            p = subprocess.run([wine, exe, "build", "nostub.ini", "-o", "beside.exe"], cwd=self.dir, env=ENV,
                               capture_output=True, text=True, errors="replace")
            self.assertEqual(p.returncode, 0, p.stderr)
            stub = read(os.path.join(os.path.dirname(exe), "stub.exe"))
            self.assertTrue(read(os.path.join(self.dir, "beside.exe"))[512:len(stub)] == stub[512:])


if __name__ == "__main__":
    unittest.main(verbosity=2)
