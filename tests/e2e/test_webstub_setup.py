#!/usr/bin/env python3
"""Web stubs built with zolvex-pack, run under Wine against Debian's nginx (or the test server
where a misbehaving server is needed): the download, the token check, the setup run and the
removal of the downloaded file; a declined download; a local copy beside the stub; a foreign
file, an HTML error page, a missing Content-Length, a stalled download closed by the user, and an
https address."""
import glob
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import httpserver  # noqa: E402
import pkgbuild  # noqa: E402
import setup_run as sr  # noqa: E402
import zvtest  # noqa: E402

README = b"web setup readme\r\n"
TOKEN = "shared-download-token"


def megabyte_text(size):
    """How the confirmation shows a size (1 decimal above 10 MB, 2 from 1 MB, 3 below)."""
    mb = size / 1048576
    return f"{mb:.1f}" if mb > 10 else f"{mb:.2f}" if mb >= 1 else f"{mb:.3f}"


class WebStub(zvtest.TestCase):
    def setUp(self):
        super().setUp()
        # Short, unique names: the downloaded file lands in the one temp folder of the Wine prefix.
        self.tag = "ws" + str(abs(hash(self._testMethodName)) % 100000)
        self.titles = sr.unique_titles(self.tag)
        self.setup_name = f"Full_{self.tag}.exe"
        self.www = os.path.join(self.tmp, "www")
        os.makedirs(os.path.join(self.www, "dl"))
        self.nginx = httpserver.Nginx(self.www, os.path.join(self.tmp, "nginx")).start()
        self.addCleanup(self.nginx.stop)
        self.addCleanup(self.remove_temp_copies)
        self.lang = os.path.join(self.tmp, "english.txt")
        with open(self.lang, "w") as f:
            f.write("".join(f"{k}={v}\n" for k, v in sr.english(**self.titles)))
        self.target = os.path.join(self.tmp, "target")

    # --- files in the Wine temp folder, where the stub downloads to ---------------------------

    def temp_copy(self):
        return sr.unix_path(sr.wine_temp() + "\\" + self.setup_name)

    def temp_leftovers(self):
        return sorted(os.path.basename(p) for p in glob.glob(glob.escape(self.temp_copy()) + "*"))

    def remove_temp_copies(self):
        for path in glob.glob(glob.escape(self.temp_copy()) + "*"):
            os.remove(path)

    # --- packages -----------------------------------------------------------------------------

    def pack(self, name, text):
        ini = os.path.join(self.tmp, name + ".ini")
        with open(ini, "w") as f:
            f.write(text)
        r = subprocess.run([zvtest.host_bin("zolvex-pack"), "build", ini, "--quiet", "--stub",
                            zvtest.bin_path("stub.exe")], capture_output=True, text=True, timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr)

    def setup_package(self, folder, token=TOKEN):
        """The full setup (sample engine + readme) carrying the download token; its path."""
        readme = os.path.join(self.tmp, "readme.txt")
        sr.write(readme, README)
        os.makedirs(folder, exist_ok=True)
        out = os.path.join(folder, self.setup_name)
        self.pack("full", f"[Package]\nOutput={out}\n[Download]\nUrl=http://unused/\n"
                          f"FileName={self.setup_name}\nToken={token}\nSize=1\n"
                          f"[Languages]\nEnglish={self.lang}\n"
                          f"[Files]\nEngine.exe*={zvtest.bin_path('Engine.exe')}\nreadme.txt={readme}\n")
        return out

    def web_stub(self, url, setup=None, confirm=False, always=False, folder=None, size=123456):
        """The web stub; it takes size and token from `setup` when given, else TOKEN."""
        folder = folder or self.tmp
        os.makedirs(folder, exist_ok=True)
        out = os.path.join(folder, "Web.exe")
        source = f"SetupFile={setup}\n" if setup else f"Token={TOKEN}\nSize={size}\n"
        self.pack("web", f"[Package]\nOutput={out}\nWebStub=1\nConfirmDownload={int(confirm)}\n"
                         f"[Download]\nUrl={url}\nFileName={self.setup_name}\n"
                         f"AlwaysDownload={int(always)}\n{source}"
                         f"[Languages]\nEnglish={self.lang}\n")
        return out, sr.stamp(out)

    def message(self, text, title="Error"):
        """A box's text without its heading (the title), blanks folded."""
        if text is None:
            return None
        flat = sr.flat(text)
        heading = self.titles[title]
        return flat[len(heading):].strip() if flat.startswith(heading) else flat

    def run_web(self, web, *extra):
        """Runs the web stub to its end, answering an error box with OK. Returns (exit code,
        the box's message or None)."""
        run = sr.start_setup(web, sr.engine_switches(self.target, *extra), self.tmp)
        code, text = sr.finish(run, self.titles["Error"])
        return code, self.message(text)

    # --- the tests ----------------------------------------------------------------------------

    def test_download_token_check_setup_run_and_removal(self):
        setup = self.setup_package(os.path.join(self.www, "dl"))
        size = os.path.getsize(setup)
        web, folder = self.web_stub(self.nginx.url("dl"), setup=setup, confirm=True)

        run = sr.start_setup(web, sr.engine_switches(self.target, "/Exit=7"), self.tmp)
        box = sr.wait_box(self.titles["Confirm"])
        self.assertIn("INTERNET DOWNLOAD", box["text"])
        self.assertIn(f"Size: {megabyte_text(size)} MB", sr.flat(box["text"]))
        sr.press(self.titles["Confirm"], "Yes")
        self.assertEqual(run.wait(180), 7, "the engine's exit code is the stub's")

        engine = sr.Engine(self.target)
        self.assertEqual(engine.value("ShowWindow"), "5")
        self.assertEqual(sr.read(os.path.join(self.target, "readme.txt")), README)
        self.assertTrue(any('" 200 ' + str(size) + " " in l for l in self.nginx.gets(self.setup_name)),
                        self.nginx.access_log())
        self.assertEqual(self.temp_leftovers(), [], "the downloaded file is deleted")
        self.assertFalse(os.path.exists(sr.unix_path(folder)), "the setup folder is removed")

        # Silent: no question, a hidden engine, the same result.
        sr.remove(self.target)
        self.assertEqual(sr.run_setup(web, sr.engine_switches(self.target, "/Exit=7", "/hide"),
                                      self.tmp), 7)
        self.assertEqual(sr.Engine(self.target).value("ShowWindow"), "0")
        self.assertEqual(self.temp_leftovers(), [])

    def test_declined_download_ends_with_1(self):
        setup = self.setup_package(os.path.join(self.www, "dl"))
        web, _ = self.web_stub(self.nginx.url("dl"), setup=setup, confirm=True)
        run = sr.start_setup(web, sr.engine_switches(self.target), self.tmp)
        sr.wait_box(self.titles["Confirm"])
        sr.press(self.titles["Confirm"], "No")
        self.assertEqual(sr.finish(run, self.titles["Error"]), (1, None), "no error box")
        self.assertEqual(self.nginx.gets(self.setup_name), [])
        self.assertFalse(sr.Engine(self.target).ran())

    def test_local_copy_beside_the_stub(self):
        folder = os.path.join(self.tmp, "medium")
        setup = self.setup_package(folder)
        web, _ = self.web_stub(self.nginx.url("dl"), setup=setup, confirm=True, folder=folder)
        # No question, no download: the copy is used (and kept).
        self.assertEqual(sr.run_setup(web, sr.engine_switches(self.target, "/Exit=5"), self.tmp), 5)
        self.assertTrue(sr.Engine(self.target).ran())
        self.assertEqual(self.nginx.gets(self.setup_name), [])
        self.assertTrue(os.path.exists(setup))

        # AlwaysDownload ignores the copy.
        sr.remove(self.target)
        os.replace(setup, os.path.join(self.www, "dl", self.setup_name))
        setup = self.setup_package(folder)
        web, _ = self.web_stub(self.nginx.url("dl"), setup=setup, always=True, folder=folder)
        self.assertEqual(sr.run_setup(web, sr.engine_switches(self.target, "/Exit=5"), self.tmp), 5)
        self.assertNotEqual(self.nginx.gets(self.setup_name), [])
        self.assertTrue(os.path.exists(setup))
        self.assertEqual(self.temp_leftovers(), [])

    def test_foreign_file_is_refused_and_deleted(self):
        self.setup_package(os.path.join(self.www, "dl"), token="another-token")
        web, _ = self.web_stub(self.nginx.url("dl"))
        code, text = self.run_web(web)
        self.assertEqual((code, text), (4, "Bad Secret Token!"))
        self.assertNotEqual(self.nginx.gets(self.setup_name), [], "it was downloaded")
        self.assertEqual(self.temp_leftovers(), [])
        self.assertFalse(sr.Engine(self.target).ran())

    def test_file_name_that_is_no_plain_name_is_refused(self):
        # The packager refuses such names; a package made otherwise must not reach outside the
        # temp folder with it.
        for name in ("..\\Evil.exe", "sub/Evil.exe", "C:Evil.exe", "NUL"):
            with self.subTest(name):
                package = pkgbuild.Package(
                    web_stub=1, texts=sr.english(**self.titles),
                    download=pkgbuild.download_block(self.nginx.url("dl"), name, True, "t", "1"))
                web = os.path.join(self.tmp, "Web.exe")
                sr.write(web, package.build(sr.stub_bytes()))
                sr.stamp(web)
                code, text = self.run_web(web)
                self.assertEqual((code, text), (4, f'Invalid setup file name: "{name}"'))
        self.assertEqual(self.nginx.access_log(), [])

    def test_html_error_page(self):
        # Nothing at that address: nginx answers with its own 404 page, which gets downloaded.
        web, _ = self.web_stub(self.nginx.url("missing"))
        code, text = self.run_web(web)
        self.assertEqual(code, 4)
        url = self.nginx.url("missing/" + self.setup_name)
        self.assertEqual(text, f"404 File Not Found... URL: {url}. Please make sure the file is "
                               "available and access is allowed to this file.")
        self.assertEqual(self.temp_leftovers(), [])

    def test_missing_content_length_never_becomes_the_setup_file(self):
        data = sr.read(self.setup_package(os.path.join(self.tmp, "build")))
        with httpserver.Server({self.setup_name: data}) as server:
            web, _ = self.web_stub(server.url("nolength", "")[:-1])
            code, text = self.run_web(web)
        self.assertEqual(code, 4)
        self.assertEqual(text, f"{self.setup_name} --- Error downloading file (the server did not "
                               "send the file size)")
        partial = f"{self.setup_name}.4294967295"
        self.assertEqual(self.temp_leftovers(), [partial], "only the partial file is there")
        self.assertEqual(sr.read(sr.unix_path(sr.wine_temp() + "\\" + partial)), data)
        self.assertFalse(sr.Engine(self.target).ran())

    def test_closing_the_window_stops_a_stalled_download(self):
        data = sr.read(self.setup_package(os.path.join(self.tmp, "build")))
        with httpserver.Server({self.setup_name: data}) as server:
            web, _ = self.web_stub(server.url("stall", "")[:-1])
            run = sr.start_setup(web, sr.engine_switches(self.target), self.tmp)
            # The window appears once the size is known; the data then stalls.
            sr.uidriver("close", "--class", zvtest.winpath(web), "--timeout", 120, timeout=180)
            code, text = sr.finish(run, self.titles["Error"], timeout=60)
        self.assertEqual((code, self.message(text)), (4, "Download Aborted"))
        self.assertNotIn(self.setup_name, self.temp_leftovers())
        self.assertFalse(sr.Engine(self.target).ran())

    def test_https_address_is_handed_over_unchanged(self):
        closed = httpserver.free_port()
        url = f"https://127.0.0.1:{closed}/dl"
        web, _ = self.web_stub(url)
        with zvtest.TraceViewer(self.tmp) as viewer:
            code, text = self.run_web(web, "/HttpsMarker" + self.tag)
        full = f"{url}/{self.setup_name}"
        self.assertEqual((code, text), (4, "Unable to open Internet Connection: " + full))
        _, lines = viewer.process_lines("/HttpsMarker" + self.tag)
        opened = [l for l in lines if " OpenHttpRequest >" in l]
        self.assertEqual([re.sub(r"^\d+ OpenHttpRequest ", "", l) for l in opened], [f">{full}<"])


if __name__ == "__main__":
    zvtest.main()
