"""Shared helpers for the whole-program tests: they run the built Windows programs under Wine.

Environment (set by CTest; every value has a fallback for running a script by hand):
  ZV_SOURCE    repository root              (default: two folders above this file)
  ZV_BIN       Windows build output         (default: $ZV_SOURCE/build/win32/bin)
  ZV_HOST_BIN  native build output          (default: $ZV_SOURCE/build/host/bin)
  ZV_WINE_RUN  the Wine wrapper script      (default: $ZV_SOURCE/scripts/wine-run)
  ZV_WINEPREFIX, DISPLAY                    passed on to the wrapper

Typical use:

    import zvtest
    class StubRuns(zvtest.TestCase):
        def test_start_line(self):
            with zvtest.TraceViewer(self.tmp) as viewer:
                result = zvtest.run_wine(zvtest.bin_path("stub.exe"), ["/x"], cwd=self.tmp)
            self.assertEqual(result.returncode, 0)
            self.assertIn(" ==== STUB START ====> ", viewer.text())
    if __name__ == "__main__":
        zvtest.main()

Every process started here runs in its own process group and is killed when the test script
ends, whatever happened; a private Xvfb is started when no display is set.
"""

import atexit
import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

# ---------------------------------------------------------------------------------------------
# Locations

def source_dir():
    return os.environ.get("ZV_SOURCE") or os.path.abspath(
        os.path.join(os.path.dirname(__file__), "..", ".."))


def bin_dir():
    return os.environ.get("ZV_BIN") or os.path.join(source_dir(), "build", "win32", "bin")


def host_bin_dir():
    return os.environ.get("ZV_HOST_BIN") or os.path.join(source_dir(), "build", "host", "bin")


def wine_run():
    return os.environ.get("ZV_WINE_RUN") or os.path.join(source_dir(), "scripts", "wine-run")


def wine_prefix():
    return os.environ.get("ZV_WINEPREFIX") or os.path.join(source_dir(), "build", "wineprefix")


def bin_path(name):
    """Path of a built Windows program (e.g. "stub.exe"); fails the test when it is missing."""
    path = os.path.join(bin_dir(), name)
    if not os.path.isfile(path):
        raise FileNotFoundError(f"{path} is not built (cmake --build --preset win32)")
    return path


def host_bin(name):
    """Path of a built native program (e.g. "zolvex-pack")."""
    path = os.path.join(host_bin_dir(), name)
    if not os.path.isfile(path):
        raise FileNotFoundError(f"{path} is not built (cmake --build --preset host)")
    return path


def winpath(path):
    """Windows form of a Linux path, through Wine's Z: drive (which maps to /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---------------------------------------------------------------------------------------------
# Processes: every one is tracked and its whole process group is killed at exit.

_started = []
_temp_dirs = []
_xvfb = None


def temp_dir(prefix="zv-"):
    """A fresh folder, removed when the script ends (kept when ZV_KEEP_TMP is set)."""
    path = tempfile.mkdtemp(prefix=prefix)
    _temp_dirs.append(path)
    return path


def _remove_temp_dirs():
    while _temp_dirs:
        path = _temp_dirs.pop()
        if os.environ.get("ZV_KEEP_TMP"):
            print(f"kept {path}", file=sys.stderr)
        else:
            shutil.rmtree(path, ignore_errors=True)


def _kill_group(proc):
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass


def kill_leftovers():
    """Kills whatever this script started and is still running (viewers, stubs, engines)."""
    while _started:
        _kill_group(_started.pop())


def kill_wine_programs(wanted):
    """Kills every Wine process whose program path (its Windows form, lower case) wanted(path)
    accepts. For programs that run detached from anything a test started, such as an agent's
    running copy or a program it restarted."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("latin-1").strip('"').lower()
        except OSError:
            continue
        if wanted(argv0):
            try:
                os.kill(int(pid), signal.SIGKILL)
            except ProcessLookupError:
                pass


def _stop_xvfb():
    global _xvfb
    if _xvfb is not None:
        _kill_group(_xvfb)
        _xvfb = None


# atexit runs these last-registered first: processes die before their folders go.
atexit.register(_remove_temp_dirs)
atexit.register(_stop_xvfb)
atexit.register(kill_leftovers)


def ensure_display():
    """Uses $DISPLAY when set; otherwise starts one Xvfb for this script so that all its Wine
    processes share a display (as on a desktop)."""
    global _xvfb
    if os.environ.get("DISPLAY"):
        return os.environ["DISPLAY"]
    read_end, write_end = os.pipe()
    _xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    if not number:
        raise RuntimeError("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + number
    return os.environ["DISPLAY"]


class Started:
    """A program started in the background; stdout and stderr go to files in `folder`."""

    def __init__(self, argv, folder, name, cwd=None, env=None):
        self.stdout_path = os.path.join(folder, name + ".out")
        self.stderr_path = os.path.join(folder, name + ".err")
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen(argv, stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                                         cwd=cwd or folder, env=env, start_new_session=True)
        _started.append(self.proc)

    def wait(self, timeout):
        """Exit code, or None when the program is still running after `timeout` seconds."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        _kill_group(self.proc)

    def stdout(self):
        return read_bytes(self.stdout_path)

    def stderr(self):
        return read_bytes(self.stderr_path)


def wine_argv(exe, args=()):
    return [wine_run(), exe, *args]


def start_wine(exe, args=(), folder=None, name=None, cwd=None, env=None):
    """Starts a Windows program under Wine in the background (see Started); its output files
    go to `folder` (a temp_dir() when not given)."""
    ensure_display()
    folder = folder or temp_dir()
    name = name or os.path.splitext(os.path.basename(exe))[0]
    return Started(wine_argv(exe, args), folder, name, cwd=cwd, env=env)


class WineResult:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


class WineTimeout(AssertionError):
    pass


def run_wine(exe, args=(), timeout=120, cwd=None, env=None):
    """Runs a Windows program under Wine to its end. Returns a WineResult (stdout/stderr as
    bytes); on timeout kills it with everything it started and raises WineTimeout."""
    folder = tempfile.mkdtemp(prefix="zv-run-")
    try:
        started = start_wine(exe, args, folder=folder, cwd=cwd or folder, env=env)
        code = started.wait(timeout)
        if code is None:
            started.kill()
            raise WineTimeout(f"{os.path.basename(exe)} {' '.join(args)} ran over {timeout} s")
        return WineResult(code, started.stdout(), started.stderr())
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def wait_until(predicate, timeout, step=0.05):
    """Polls predicate() until it is true; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


# ---------------------------------------------------------------------------------------------
# The trace viewer

class _ViewerLock:
    """The stub sends its trace to the first viewer window it finds, so only one viewer may run
    per Wine prefix: tests that run in parallel take turns."""

    def __init__(self):
        self.path = wine_prefix().rstrip("/") + ".trace.lock"
        self.file = None

    def acquire(self, timeout=900):
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        self.file = open(self.path, "w")
        deadline = time.monotonic() + timeout
        while True:
            try:
                fcntl.flock(self.file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() >= deadline:
                    raise TimeoutError(f"trace viewer lock {self.path} held for {timeout} s")
                time.sleep(0.2)

    def release(self):
        if self.file:
            fcntl.flock(self.file, fcntl.LOCK_UN)
            self.file.close()
            self.file = None


class TraceViewer:
    """zolvex-trace.exe running under Wine for the duration of a `with` block.

    After the block (or stop()), text() holds everything it received. Because the trace sink
    sends synchronously, a traced program that has ended has delivered all its chunks already.
    Viewers take turns (one per Wine prefix), but a program that another test runs at the same
    time without a viewer still traces into this one: pick your program's lines with
    process_lines() rather than expecting the output to hold nothing else.
    """

    def __init__(self, folder, chunks=False, args=(), start_timeout=180):
        self.folder = folder
        self.chunked = chunks
        self.args = list(args)
        self.start_timeout = start_timeout
        self.ready = os.path.join(folder, "viewer.ready")
        self.started = None
        self.pid = None
        self._lock = _ViewerLock()

    def __enter__(self):
        self._lock.acquire()
        try:
            self.start()
        except BaseException:
            self._lock.release()
            raise
        return self

    def __exit__(self, *exc):
        try:
            self.stop()
        finally:
            self._lock.release()

    def _argv(self):
        args = ["--ready-file", winpath(self.ready), *self.args]
        if self.chunked:
            args.append("--chunks")
        return args

    def start(self):
        exe = bin_path("zolvex-trace.exe")
        for attempt in range(2):
            if os.path.exists(self.ready):
                os.remove(self.ready)
            self.started = start_wine(exe, self._argv(), folder=self.folder, name="viewer")
            if wait_until(lambda: os.path.exists(self.ready) or self.started.proc.poll() is not None,
                          self.start_timeout) and os.path.exists(self.ready):
                # The viewer writes its Windows process id; wait for the whole line.
                wait_until(lambda: read_bytes(self.ready).endswith(b"\n"), 10)
                self.pid = int(read_bytes(self.ready).strip() or 0)
                return
            code = self.started.wait(5)
            if code == 3 and attempt == 0:
                # A viewer left behind by an earlier, killed run holds the window class.
                run_wine(exe, ["--stop"], timeout=60)
                continue
            self.started.kill()
            raise RuntimeError(f"trace viewer did not start (exit {code}): "
                               f"{self.started.stderr().decode('latin-1')}")

    def stop(self, timeout=60):
        """Closes the viewer window (zolvex-trace --stop) and waits for the viewer to end;
        kills it when it does not. Returns the viewer's exit code (None when killed)."""
        if self.started is None:
            return None
        code = self.started.proc.poll()
        if code is None:
            try:
                run_wine(bin_path("zolvex-trace.exe"), ["--stop"], timeout=timeout)
            except WineTimeout:
                pass
            code = self.started.wait(timeout)
            if code is None:
                self.started.kill()
        return code

    def output(self):
        """Everything received so far, as bytes exactly as sent."""
        return self.started.stdout() if self.started else b""

    def text(self):
        return self.output().decode("latin-1")

    def lines(self):
        """Received text split at CR LF (the trace's line end); a last partial line is kept."""
        parts = self.text().split("\r\n")
        if parts and parts[-1] == "":
            parts.pop()
        return parts

    def process_lines(self, marker):
        """The lines of the process whose " ==== STUB START ====> " line contains marker (put a
        unique switch on its command line): every line that begins with its process id, in
        order. Returns (pid, lines); pid is None when no such start line arrived."""
        start = re.compile(r"^(\d+) ==== STUB START ====> ")
        for line in self.lines():
            m = start.match(line)
            if m and marker in line:
                pid = m.group(1)
                return int(pid), [l for l in self.lines() if l.startswith(pid + " ")]
        return None, []

    def chunks(self):
        """With chunks=True: the received chunks, one bytes object per viewer message."""
        data, found, pos = self.output(), [], 0
        frame = re.compile(rb"\[(\d+)\]")
        while pos < len(data):
            m = frame.match(data, pos)
            if not m:
                raise AssertionError(f"bad chunk framing at byte {pos}: {data[pos:pos + 40]!r}")
            start = m.end()
            end = start + int(m.group(1))
            if data[end:end + 1] != b"\n":
                raise AssertionError(f"chunk at byte {pos} is not {m.group(1).decode()} long")
            found.append(data[start:end])
            pos = end + 1
        return found

    def wait_for(self, needle, timeout=30):
        """Waits until the received text contains needle; returns whether it did."""
        return bool(wait_until(lambda: needle in self.text(), timeout))


# ---------------------------------------------------------------------------------------------
# Test cases

class TestCase(unittest.TestCase):
    """unittest.TestCase with a fresh temporary folder `self.tmp` per test, removed afterwards
    (kept when ZV_KEEP_TMP is set), and every leftover process killed after each test."""

    def setUp(self):
        ensure_display()
        self.tmp = tempfile.mkdtemp(prefix=f"zv-{self._testMethodName}-")
        self.addCleanup(self._cleanup_tmp)
        self.addCleanup(kill_leftovers)

    def _cleanup_tmp(self):
        if os.environ.get("ZV_KEEP_TMP"):
            print(f"kept {self.tmp}", file=sys.stderr)
        else:
            shutil.rmtree(self.tmp, ignore_errors=True)


def main():
    """Runs the calling script's unittest cases; exits non-zero on any failure."""
    try:
        unittest.main(verbosity=2)
    finally:
        kill_leftovers()
