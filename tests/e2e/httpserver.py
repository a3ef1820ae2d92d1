"""A small HTTP server for the download tests, on 127.0.0.1 with a free port, in a thread.

    with httpserver.Server({"Setup.exe": data}) as server:
        url = server.url("files", "Setup.exe")     # http://127.0.0.1:PORT/files/Setup.exe

The first path element picks how a file is served:
  files/NAME     200 with Content-Length and Last-Modified (Server.LAST_MODIFIED); a request
                 for one range ("Range: bytes=A-B") gets 206 with that part, or 416 when the
                 range lies past the end
  norange/NAME   as files/, but ranges are not served: always 200 with the whole file
  nolength/NAME  200 without Content-Length; the connection is closed after the data
  empty/NAME     200 with Content-Length: 0
  short/NAME     200 announcing 100 bytes more than it sends, then the connection is closed
  page404/NAME   200 with an HTML "404 Not Found" page in place of the file
  stall/NAME     200 with the full Content-Length, STALL_AFTER bytes, then one byte every
                 STALL_STEP seconds until the client goes away or the server stops
  auth/NAME      as files/, but only with the Basic credentials Server.USER / Server.PASSWORD
                 (401 with a challenge otherwise)
Anything else gets a real 404 with an HTML page. Every request is recorded in `requests`, and
the body bytes it set out to send for each, by path, in `sent`.

Nginx runs Debian's nginx on a folder the same way, for tests that want a real web server.
"""
import base64
import http.server
import os
import re
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time

NOT_FOUND_PAGE = (b"<html>\r\n<head><title>404 Not Found</title></head>\r\n<body>\r\n"
                  b"<center><h1>404 Not Found</h1></center>\r\n</body>\r\n</html>\r\n")


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "zvtest"

    def log_message(self, *args):
        pass

    def do_GET(self):  # noqa: N802 (the name is the http.server convention)
        server = self.server.owner
        server.requests.append((self.command, self.path, dict(self.headers.items())))
        parts = self.path.lstrip("/").split("/", 1)
        mode, name = (parts + [""])[:2]
        data = server.files.get(name)
        if data is None or mode not in _MODES:
            self._send(404, NOT_FOUND_PAGE, "text/html")
            return
        _MODES[mode](self, server, data)

    def _send(self, status, body, content_type="application/octet-stream", length=True,
              extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        for key, value in extra:
            self.send_header(key, value)
        self.end_headers()
        self.server.owner.sent.append((self.path, len(body)))
        self.wfile.write(body)

    def serve_file(self, server, data):
        extra = [("Last-Modified", server.LAST_MODIFIED)]
        wanted = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", "").strip())
        if wanted:
            first = int(wanted.group(1))
            last = min(int(wanted.group(2) or len(data) - 1), len(data) - 1)
            if first >= len(data):
                self._send(416, b"", extra=extra + [("Content-Range", f"bytes */{len(data)}")])
            else:
                self._send(206, data[first:last + 1],
                           extra=extra + [("Content-Range", f"bytes {first}-{last}/{len(data)}")])
            return
        self._send(200, data, extra=extra)

    def serve_norange(self, server, data):
        self._send(200, data, extra=[("Last-Modified", server.LAST_MODIFIED)])

    def serve_nolength(self, server, data):
        self._send(200, data, length=False)

    def serve_empty(self, server, data):
        self._send(200, b"")

    def serve_short(self, server, data):
        self.send_response(200)
        self.send_header("Content-Length", str(len(data) + 100))
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    def serve_page404(self, server, data):
        self._send(200, NOT_FOUND_PAGE, "text/html")

    def serve_stall(self, server, data):
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data[:server.STALL_AFTER])
        self.wfile.flush()
        sent = server.STALL_AFTER
        try:
            while sent < len(data) and not server.stopping.wait(server.STALL_STEP):
                self.wfile.write(data[sent:sent + 1])
                self.wfile.flush()
                sent += 1
        except OSError:
            pass
        self.close_connection = True

    def serve_auth(self, server, data):
        expected = "Basic " + base64.b64encode(
            f"{server.USER}:{server.PASSWORD}".encode()).decode()
        if self.headers.get("Authorization") != expected:
            self._send(401, b"<html><head><title>401</title></head></html>", "text/html",
                       extra=[("WWW-Authenticate", 'Basic realm="zvtest"')])
            return
        self.serve_file(server, data)


_MODES = {"files": _Handler.serve_file, "norange": _Handler.serve_norange,
          "nolength": _Handler.serve_nolength,
          "empty": _Handler.serve_empty, "short": _Handler.serve_short, "page404": _Handler.serve_page404,
          "stall": _Handler.serve_stall, "auth": _Handler.serve_auth}


class _ThreadingServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class Server:
    LAST_MODIFIED = "Thu, 13 May 1999 19:21:10 GMT"
    # 1999-05-13 19:21:10 packed as a FAT date-time (the downloader's partial-file number).
    LAST_MODIFIED_PACKED = (19 << 25) | (5 << 21) | (13 << 16) | (19 << 11) | (21 << 5) | 5
    USER = "zvuser"
    PASSWORD = "zv-secret"
    STALL_AFTER = 3000
    STALL_STEP = 0.2

    def __init__(self, files=None):
        self.files = dict(files or {})
        self.requests = []
        self.sent = []
        self.stopping = threading.Event()
        self._httpd = None
        self._thread = None

    @property
    def port(self):
        return self._httpd.server_address[1]

    def url(self, mode, name):
        return f"http://127.0.0.1:{self.port}/{mode}/{name}"

    def gets(self, name):
        """Paths of the GET requests that asked for name (in any mode)."""
        return [p for m, p, _ in self.requests if m == "GET" and p.endswith("/" + name)]

    def start(self):
        self._httpd = _ThreadingServer(("127.0.0.1", 0), _Handler)
        self._httpd.owner = self
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._httpd is None:
            return
        self.stopping.set()
        self._httpd.shutdown()
        self._httpd.server_close()
        self._thread.join(10)
        self._httpd = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


NGINX_CONF = """daemon off;
master_process off;
worker_processes 1;
pid {prefix}/nginx.pid;
error_log {prefix}/error.log;
events {{ worker_connections 64; }}
http {{
    access_log {prefix}/access.log;
    client_body_temp_path {prefix}/tmp;
    proxy_temp_path {prefix}/tmp;
    fastcgi_temp_path {prefix}/tmp;
    uwsgi_temp_path {prefix}/tmp;
    scgi_temp_path {prefix}/tmp;
    types {{ text/html html; }}
    default_type application/octet-stream;
    sendfile on;
    server {{
        listen 127.0.0.1:{port};
        root {root};
    }}
}}
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """Debian's nginx serving the folder `root` on 127.0.0.1 with a free port, with its own
    configuration, logs and temp folders under `prefix`. One process (no master, no daemon),
    stopped by stop() or at the end of a `with` block."""

    def __init__(self, root, prefix):
        self.root = os.path.abspath(root)
        self.prefix = os.path.abspath(prefix)
        self.port = None
        self._proc = None

    def url(self, path=""):
        return f"http://127.0.0.1:{self.port}/{path}"

    def access_log(self):
        path = os.path.join(self.prefix, "access.log")
        if not os.path.exists(path):
            return []
        with open(path, encoding="latin-1") as f:
            return f.read().splitlines()

    def gets(self, name):
        """Access-log lines of GET requests whose path ends in "/" + name."""
        return [l for l in self.access_log() if f"/{name} HTTP/" in l and '"GET ' in l]

    def start(self, attempts=5):
        binary = shutil.which("nginx") or "/usr/sbin/nginx"
        os.makedirs(os.path.join(self.prefix, "tmp"), exist_ok=True)
        for _ in range(attempts):
            self.port = free_port()
            conf = os.path.join(self.prefix, "nginx.conf")
            with open(conf, "w") as f:
                f.write(NGINX_CONF.format(prefix=self.prefix, port=self.port, root=self.root))
            self._proc = subprocess.Popen(
                [binary, "-p", self.prefix, "-c", conf, "-e", os.path.join(self.prefix, "error.log")],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and self._proc.poll() is None:
                try:
                    socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                    return self
                except OSError:
                    time.sleep(0.05)
            self.stop()  # the port was taken in the meantime, or nginx failed: try again
        raise RuntimeError(f"nginx did not start; see {self.prefix}/error.log")

    def stop(self):
        if self._proc is None:
            return
        if self._proc.poll() is None:
            self._proc.send_signal(signal.SIGTERM)
            try:
                self._proc.wait(10)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait(10)
        self._proc = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def _serve_until_stopped(server, address):
    """Prints address(port), then serves until Ctrl+C or SIGTERM."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    with server:
        print(address(server.port), flush=True)
        try:
            while True:
                time.sleep(1)
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    # By hand:  httpserver.py [FOLDER]               the test server on the files of a folder
    #           httpserver.py --nginx ROOT PREFIX    nginx on ROOT, its configuration and logs
    #                                                (access.log) under PREFIX
    # Each prints its address, then serves until Ctrl+C or SIGTERM.
    if sys.argv[1:2] == ["--nginx"] and len(sys.argv) == 4:
        _serve_until_stopped(Nginx(sys.argv[2], sys.argv[3]), lambda port: f"http://127.0.0.1:{port}/")
    else:
        folder = sys.argv[1] if len(sys.argv) > 1 else "."
        files = {n: open(os.path.join(folder, n), "rb").read() for n in os.listdir(folder)
                 if os.path.isfile(os.path.join(folder, n))}
        _serve_until_stopped(Server(files),
                             lambda port: f"serving {folder} on http://127.0.0.1:{port}/files/NAME")
