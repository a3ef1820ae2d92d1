#!/usr/bin/env python3
"""The stub's WinINet downloader against the local test server (httpserver.py), through
zolvex-download-probe: chunk sizes and progress, the partial file and its name, the failure
texts, abort, credentials, the size query and addresses that name their scheme."""
import os
import stat
import sys

sys.path.insert(0, os.path.dirname(__file__))
import httpserver  # noqa: E402
import zvtest  # noqa: E402

SMALL = bytes(range(100))
TINY = b"12345"
LARGE = bytes(range(256)) * 600  # 153600 bytes: KB texts, 8192-byte chunks


def probe(*args, timeout=180):
    """Runs the probe; returns its key=value lines as a dict (repeated keys as lists)."""
    r = zvtest.run_wine(zvtest.bin_path("zolvex-download-probe.exe"), [str(a) for a in args],
                        timeout=timeout)
    if r.returncode != 0:
        raise AssertionError(f"probe {args} exit {r.returncode}: {r.stderr[-400:]!r}")
    out = {}
    for line in r.stdout.decode("latin-1").splitlines():
        key, _, value = line.partition("=")
        if key == "range":
            out.setdefault("range", []).append(value)
        else:
            out[key] = value
    return out


def partial_name(target, size, file_date=0):
    return f"{target}.{(size + file_date) & 0xFFFFFFFF}"


class Downloader(zvtest.TestCase):
    def setUp(self):
        super().setUp()
        self.server = httpserver.Server({"small.bin": SMALL, "tiny.bin": TINY, "large.bin": LARGE,
                                         "empty.bin": b""})
        self.server.start()
        self.addCleanup(self.server.stop)

    def target(self, name):
        return os.path.join(self.tmp, name)

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_chunks_progress_and_data(self):
        cases = [("small.bin", SMALL, "1/11", 10, "100/100 BytesArr"),
                 ("tiny.bin", TINY, "1/6", 5, "5/5 BytesArr"),
                 ("large.bin", LARGE, "1/20", 19, "150.0/150.0 KB")]
        for name, data, progress_range, steps, text in cases:
            with self.subTest(name, into="memory"):
                out = probe("get", self.server.url("files", name))
                self.assertEqual(out["error"], "")
                self.assertEqual(out["range"], [progress_range])
                self.assertEqual(int(out["steps"]), steps)
                self.assertTrue(out["last_text"].startswith(text), out["last_text"])
                self.assertEqual(bytes.fromhex(out["data_hex"]), data)
            with self.subTest(name, into="file"):
                target = self.target(name)
                out = probe("get", self.server.url("files", name), zvtest.winpath(target))
                self.assertEqual(out["error"], "")
                self.assertEqual(int(out["steps"]), steps)
                self.assertEqual(self.read(target), data)
                self.assertEqual(os.listdir(self.tmp).count(name), 1)
                self.assertEqual([f for f in os.listdir(self.tmp) if f.startswith(name + ".")],
                                 [], "no partial file is left after a complete download")

    def test_partial_file_replaces_older_ones_and_stays_after_an_abort(self):
        target = self.target("Setup.exe")
        for stale in ("Setup.exe.123", "Setup.exe.old"):
            with open(target[:-9] + stale, "wb") as f:
                f.write(b"stale")
        out = probe("get", self.server.url("files", "small.bin"), zvtest.winpath(target),
                    "--abort-after", 3)
        self.assertEqual(out["error"], "Download Aborted")
        self.assertEqual(int(out["steps"]), 3, "the loop ends after the chunk that saw the abort")
        partial = partial_name(target, len(SMALL), httpserver.Server.LAST_MODIFIED_PACKED)
        self.assertEqual(sorted(os.listdir(self.tmp)), [os.path.basename(partial), "Setup.exe.old"],
                         "older partial files (the target's name, a dot, digits) are deleted, "
                         "other files stay, the target is not made")
        self.assertEqual(self.read(partial), SMALL[:30])

        # A read that waits on a stalled server is cancelled as well (here by a timer message).
        target = self.target("Stalled.exe")
        out = probe("get", self.server.url("stall", "large.bin"), zvtest.winpath(target),
                    "--abort-after-ms", 500)
        self.assertEqual(out["error"], "Download Aborted")
        self.assertEqual(int(out["steps"]), 0)
        self.assertFalse(os.path.exists(target))

    def test_failures(self):
        closed = httpserver.Server().start()
        closed_url = closed.url("files", "small.bin")
        closed.stop()
        size_unknown = partial_name("Setup.exe", 0xFFFFFFFF)
        cases = [
            # mode, expected error (a prefix), files left in the folder
            ("empty", self.server.url("empty", "small.bin") + " --- File Not Found !", []),
            ("short", "small.bin --- Error downloading file (100 of 200 bytes)",
             [partial_name("Setup.exe", 200)]),
            # Without Content-Length everything arrives, but the file never gets its name.
            ("nolength", "small.bin --- Error downloading file (the server did not send the "
                         "file size)", [size_unknown]),
            ("closed", "Unable to open Internet Connection: " + closed_url, []),
        ]
        for mode, error, left in cases:
            with self.subTest(mode):
                folder = os.path.join(self.tmp, mode)
                os.mkdir(folder)
                url = closed_url if mode == "closed" else self.server.url(mode, "small.bin")
                out = probe("get", url, zvtest.winpath(os.path.join(folder, "Setup.exe")))
                self.assertEqual(out["error"], error)
                self.assertEqual(sorted(os.listdir(folder)), left)
                if mode == "nolength":
                    self.assertEqual(self.read(os.path.join(folder, size_unknown)), SMALL)
        with self.subTest("nolength", into="memory"):
            # Into memory the size is not needed: the data is complete.
            out = probe("get", self.server.url("nolength", "large.bin"))
            self.assertEqual(out["error"], "")
            self.assertEqual(int(out["bytes"]), len(LARGE))
            self.assertTrue(out["last_text"].startswith("0.1/4,096.0 MB"), out["last_text"])

    def test_a_size_cap_refuses_larger_files_announced_or_not(self):
        # A hostile server cannot make a capped download (an update description) hold more.
        for mode in ("files", "nolength"):
            for target in ("", "Capped.bin"):
                with self.subTest(mode, into=target or "memory"):
                    url = self.server.url(mode, "large.bin")
                    args = ["get", url] + ([zvtest.winpath(self.target(target))] if target else [])
                    out = probe(*args, "--max-bytes", 1000)
                    self.assertEqual(out["error"], url + " --- File too large")
                    self.assertLessEqual(int(out.get("bytes", "0")), 1000)
                    self.assertEqual([f for f in os.listdir(self.tmp) if f.startswith("Capped")],
                                     [], "neither the file nor a partial file is kept")
        out = probe("get", self.server.url("files", "small.bin"), "--max-bytes", len(SMALL))
        self.assertEqual(out["error"], "")
        self.assertEqual(bytes.fromhex(out["data_hex"]), SMALL)

    def test_credentials_go_to_the_host_and_port_of_the_address(self):
        url = self.server.url("auth", "small.bin")
        out = probe("get", url, "--user", self.server.USER, "--password", self.server.PASSWORD)
        self.assertEqual(out["error"], "")
        self.assertEqual(bytes.fromhex(out["data_hex"]), SMALL)
        authorized = [h for m, p, h in self.server.requests if p == "/auth/small.bin"
                      and "Authorization" in h]
        self.assertTrue(authorized, self.server.requests)

    def sent_for(self, mode, name):
        return [n for path, n in self.server.sent if path == f"/{mode}/{name}"]

    def test_size_query(self):
        cases = [
            # mode, file, size; a server serving ranges sends at most a byte per request
            ("files", "large.bin", len(LARGE)),    # 206: the size is in Content-Range
            ("files", "empty.bin", 0),             # 416 "bytes */0"
            ("norange", "large.bin", len(LARGE)),  # 200: Content-Length, as without a range
            ("empty", "large.bin", 0),
            ("nolength", "large.bin", -1),
        ]
        for mode, name, size in cases:
            with self.subTest(mode, name=name):
                self.server.sent.clear()
                self.assertEqual(probe("size", self.server.url(mode, name))["size"], str(size))
                if mode == "files":
                    self.assertLessEqual(sum(self.sent_for(mode, name)), 2, self.server.sent)

    def copies_in_the_prefix(self, data):
        """Regular files under the Wine prefix's user folders that hold exactly data."""
        found = set()
        for folder, _, names in os.walk(os.path.join(zvtest.wine_prefix(), "drive_c", "users")):
            for name in names:
                path = os.path.join(folder, name)
                st = os.lstat(path)
                if stat.S_ISREG(st.st_mode) and st.st_size == len(data) and self.read(path) == data:
                    found.add(path)
        return found

    def test_the_file_is_sent_once_and_kept_once(self):
        # The warm-up request before the download asks for the first byte only: closing it
        # must not make the client read (and the server send) the whole file a second time.
        target = self.target("large.bin")
        copies_before = self.copies_in_the_prefix(LARGE)
        out = probe("get", self.server.url("files", "large.bin"), zvtest.winpath(target))
        self.assertEqual(out["error"], "")
        self.assertEqual(self.read(target), LARGE)
        self.assertCountEqual(self.sent_for("files", "large.bin"), [1, len(LARGE)])
        # No second copy stays behind in the user's Internet cache.
        self.assertEqual(self.copies_in_the_prefix(LARGE) - copies_before, set())
        ranges = [h.get("Range") for _, p, h in self.server.requests if p == "/files/large.bin"]
        self.assertCountEqual(ranges, ["bytes=0-0", None])

    def test_an_address_with_its_scheme_is_not_changed(self):
        # No TLS here: the request fails, but on the address as given.
        url = self.server.url("files", "small.bin").replace("http://", "https://")
        out = probe("get", url)
        self.assertEqual(out["error"], "Unable to open Internet Connection: " + url)
        bare = self.server.url("files", "small.bin")[len("http://"):]
        self.assertEqual(probe("get", bare)["error"], "")


if __name__ == "__main__":
    zvtest.main()
