"""Helpers of the setup-flow tests: packages with the sample engine, Setup.exe runs under Wine,
the setup folder in the Wine prefix, the engine's log and the stub's message boxes."""
import datetime
import os
import random
import re
import shutil
import subprocess
import time

import pkgbuild
import zvtest

ENGINE_LOG = "engine.log"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def stub_bytes():
    return read(zvtest.bin_path("stub.exe"))


def engine_bytes():
    return read(zvtest.bin_path("Engine.exe"))


def pack(folder, files, texts=None, output="Setup.exe", package=None, update=None):
    """Builds a package with the host packager, as a setup author would. files: (item name as
    in [Files], e.g. "Engine.exe*", and the bytes); package and update: keys of the [Package] and
    [Update] sections. Returns the outputs: the stub file, then its volumes."""
    source = folder.rstrip("/") + ".pack"  # beside the folder: it holds only the outputs
    os.makedirs(source, exist_ok=True)
    lines = ["[Package]", "Stub=" + zvtest.bin_path("stub.exe"), "Output=" + output]
    lines += [f"{k}={v}" for k, v in (package or {}).items()]
    if update:
        lines += ["[Update]"] + [f"{k}={v}" for k, v in update.items()]
    if texts:
        write(os.path.join(source, "english.txt"),
              "".join(f"{k}={v}\n" for k, v in texts).encode("latin-1"))
        lines += ["[Languages]", "English=english.txt"]
    lines.append("[Files]")
    for n, (name, data) in enumerate(files):
        stored = f"file{n}.bin"
        write(os.path.join(source, stored), data)
        lines.append(f"{name}={stored}")
    description = os.path.join(source, "package.ini")
    write(description, ("\n".join(lines) + "\n").encode("latin-1"))
    r = subprocess.run([zvtest.host_bin("zolvex-pack"), "build", description, "--quiet"],
                       capture_output=True, text=True, timeout=300)
    if r.returncode != 0:
        raise AssertionError(f"zolvex-pack failed: {r.stderr}")
    base = os.path.join(source, output)
    outputs = [base]
    while os.path.exists(f"{base}.{len(outputs):03d}"):
        outputs.append(f"{base}.{len(outputs):03d}")
    moved = []
    for path in outputs:
        moved.append(os.path.join(folder, os.path.basename(path)))
        os.replace(path, moved[-1])
    return moved


_wine_temp = None


def wine_temp():
    """The temp folder Setup.exe sees (GetTempPath without its backslash), e.g. C:\\users\\x\\Temp."""
    global _wine_temp
    if _wine_temp is None:
        r = zvtest.run_wine("cmd", ["/c", "echo", "%TMP%"], timeout=180)
        _wine_temp = r.stdout.decode("latin-1").strip().rstrip("\\")
    return _wine_temp


def unix_path(win):
    """Linux path of a Windows path inside the Wine prefix (C:) or on its Z: drive."""
    drive, rest = win[0].upper(), win[2:].replace("\\", "/").lstrip("/")
    if drive == "Z":
        return "/" + rest
    return os.path.join(zvtest.wine_prefix(), "drive_" + drive.lower(), rest)


def dos_time_of_day(moment):
    return (moment.hour << 11) | (moment.minute << 5) | (moment.second // 2)


def stamp(path, rng=random.SystemRandom()):
    """Gives the file a random time of day, so that runs of different tests in the one Wine
    prefix get different setup folders. Returns the setup folder's Windows path."""
    today = datetime.datetime.now().replace(microsecond=0)
    moment = today.replace(hour=rng.randrange(1, 23), minute=rng.randrange(60),
                           second=2 * rng.randrange(30))
    seconds = time.mktime(moment.timetuple())
    os.utime(path, (seconds, seconds))
    return wine_temp() + "\\SETUP_" + str(dos_time_of_day(moment))


def english(**overrides):
    """The default texts with some replaced (titles made unique per test, for the UI driver)."""
    texts = dict(pkgbuild.DEFAULT_TEXTS)
    texts.update(overrides)
    return list(texts.items())


def unique_titles(tag):
    """Box titles no other test uses: the UI driver finds boxes by class and title."""
    return {"Confirm": f"Confirm {tag}", "Error": f"Error {tag}", "Attention": f"Attention {tag}"}


class Engine:
    """What the sample engine wrote: its log and the target folder."""

    def __init__(self, target):
        self.target = target
        self.log_path = os.path.join(target, ENGINE_LOG)

    def ran(self):
        return os.path.exists(self.log_path)

    def lines(self):
        if not self.ran():
            return []
        return read(self.log_path).decode("latin-1").split("\r\n")

    def value(self, key):
        for line in self.lines():
            if line.startswith(key + "="):
                return line[len(key) + 1:]
        return None

    def values(self, key):
        return [l[len(key) + 1:] for l in self.lines() if l.startswith(key + "=")]


def engine_switches(target, *extra):
    return ["/Target=" + zvtest.winpath(target), *extra]


def temp_copy_args(exe):
    """The switches a spanned setup's temp copy is started with: level 2, first volume exe.001."""
    return ["/SpanCdLvl=2", "/SpanDiskFName1=" + zvtest.winpath(exe + ".001")]


def start_setup(setup, args, folder, name="setup"):
    return zvtest.start_wine(setup, list(args), folder=folder, name=name)


def run_setup(setup, args, folder, timeout=180):
    started = start_setup(setup, args, folder)
    code = started.wait(timeout)
    if code is None:
        started.kill()
        raise AssertionError(f"Setup.exe {' '.join(args)} did not end within {timeout} s")
    return code


# --- the stub's message boxes, through zolvex-uidriver ---------------------------------------

def uidriver(*args, check=True, timeout=120, env=None):
    r = subprocess.run(zvtest.wine_argv(zvtest.bin_path("zolvex-uidriver.exe"), [str(a) for a in args]),
                       capture_output=True, text=True, timeout=timeout, env=env)
    if check and r.returncode != 0:
        raise AssertionError(f"uidriver {args} failed ({r.returncode}): {r.stderr.strip()}")
    return r


_UIDRIVER_ESCAPES = {"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}


def box_fields(output):
    """key=value lines of 'uidriver print', the text with the driver's escapes undone."""
    fields = {}
    for line in output.splitlines():
        key, _, value = line.partition("=")
        fields[key] = value
    fields["text"] = re.sub(r"\\(.)", lambda m: _UIDRIVER_ESCAPES.get(m.group(1), m.group(0)),
                            fields.get("text", ""))
    return fields


def box_args(title, pid):
    """Boxes are found by title, and by Windows process where the title is one other tests
    may show too (the default texts of a package whose own texts are lost)."""
    return ["--class", "ZMsgBox", "--title", title] + (["--pid", pid] if pid else [])


def wait_box(title, timeout=120, pid=None):
    """Waits for the ZMsgBox with this title and returns what it shows."""
    r = uidriver("wait", *box_args(title, pid), "--timeout", timeout, "--print",
                 timeout=timeout + 60)
    return box_fields(r.stdout)


def traced_pid(viewer, marker, timeout=120):
    """Windows process id of the stub whose command line holds marker, from its trace."""
    found = zvtest.wait_until(lambda: viewer.process_lines(marker)[0], timeout)
    if not found:
        raise AssertionError(f"no trace of a stub started with {marker}")
    return found


def finish(run, title, button="&OK", timeout=180, pid=None):
    """Lets the run end, answering a box of this title with button should one come. Returns
    (exit code, the box's text or None)."""
    deadline = time.monotonic() + timeout
    text = None
    while time.monotonic() < deadline:
        code = run.wait(0.5)
        if code is not None:
            return code, text
        r = uidriver("wait", *box_args(title, pid), "--timeout", 1, "--print", check=False)
        if r.returncode == 0:
            text = box_fields(r.stdout)["text"]
            press(title, button, pid)
    run.kill()
    raise AssertionError(f"the run did not end within {timeout} s")


def press(title, button, pid=None):
    uidriver("press", *box_args(title, pid), "--button", button)


def box_gone(title, timeout=30):
    return uidriver("gone", "--class", "ZMsgBox", "--title", title, "--timeout", timeout,
                    check=False).returncode == 0


def flat(text):
    """Box text with its line breaks and tabs folded into single blanks."""
    return re.sub(r"\s+", " ", text).strip()


def tree(folder):
    """Every file below folder, as relative paths."""
    found = set()
    for root, _, files in os.walk(folder):
        for f in files:
            found.add(os.path.relpath(os.path.join(root, f), folder))
    return found


def remove(path):
    if os.path.isdir(path):
        shutil.rmtree(path, ignore_errors=True)
    elif os.path.exists(path):
        os.remove(path)
