"""Runs the real zarn.exe under Wine the way a Windows user meets it, and observes it from outside:
exit code, files in its program folder, the Win32 calls it made (from Wine's relay trace) and the
message boxes it showed (their text from the trace, their window on an Xvfb display)."""

import contextlib
import datetime
import hashlib
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import warnings
from dataclasses import dataclass, field
from pathlib import Path

# Under the load of many starts at once, Wine now and then fails to start a process before any of
# its code runs (seen: "failed to map the shared user data", c0000018, on Wine's error channel). A
# start that failed so is made again, at most START_TRIES times in all, with a warning:
# - the launcher's own start: Wine ends it with exit code 1, and it printed nothing;
# - the program's start: the launcher's CreateProcessW failed (seen: error 1359, ERROR_INTERNAL_ERROR,
#   Wine's answer when the new process ended before it reported its start done). The launcher
#   prints "start-failed=ERROR" and ends with START_FAILED then;
# - the start of Wine's desktop process, which the desktop keeper's window shows (start_session).
# A start that printed "pid=" is never made again: the program may have done work.
START_FAILED = 202
WINE_START_FAILED = 1
START_TRIES = 3

# A mingw-w64 program is loaded at this base; calls whose return address lies in its image are its own.
IMAGE_BASE = 0x140000000
IMAGE_END = 0x141000000


def stamp(sep="/", when=None):
    """The date stamp for a day (today by default) with a date separator."""
    d = when or datetime.date.today()
    return ",%04d%s%02d%s%02d" % (d.year, sep, d.month, sep, d.day)


def stamped_ok(actual, expected_for, before):
    """The output equals expected_for(stamp) for the date at the start (before) or at the end of the run."""
    return actual in (expected_for(before), expected_for(stamp()))


def shown(message):
    """A failure's text as its message box shows it: a full stop is added after a last character above U+002E."""
    return message + "." if message and message[-1] > "." else message


# Wine's Japanese texts for some error codes, as the program trims them: access denied (5),
# sharing violation (32), invalid device name (1200).
SYSTEM_TEXTS = {5: "アクセスが拒否されました。", 32: "共有違反です。", 1200: "デバイス名が正しくありません。"}


def win_path(path):
    """The Windows path of a Linux path through Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def decode_wine_string(text):
    """Undoes the escaping of strings in Wine's trace: \\n \\r \\t \\" \\\\ and \\XXXX (hex code unit)."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        nxt = text[i + 1]
        simple = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}
        if nxt in simple:
            out.append(simple[nxt])
            i += 2
        else:
            out.append(chr(int(text[i + 1:i + 5], 16)))
            i += 5
    # A surrogate pair escaped unit by unit is one character.
    return "".join(out).encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")


# With WINEDEBUG=+pid,+relay a call reads "PID:TID:Call dll.Name(args) ret=ADDRESS".
CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call (?:[\w.-]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$")
WSTRING = re.compile(r'L"((?:[^"\\]|\\.)*)"')


@dataclass
class MessageBox:
    text: str
    caption: str
    style: int


@dataclass
class Run:
    exit_code: int
    program_dir: Path
    calls: list = field(default_factory=list)   # "Name(args)" of the calls zarn.exe made itself
    boxes: list = field(default_factory=list)   # MessageBox, in the order they were shown
    answered: list = field(default_factory=list)  # texts of the boxes the launcher answered with OK
    trace: str = ""
    pid: str = ""  # the program's process id as the trace writes it, where the launcher told it

    def files(self):
        """The program folder's files other than the program, name -> bytes."""
        return {p.name: p.read_bytes() for p in sorted(self.program_dir.iterdir())
                if p.is_file() and p.suffix.lower() != ".exe"}

    def called(self, name):
        return [c for c in self.calls if c.startswith(name + "(")]


@contextlib.contextmanager
def program_on_tmpfs(harness, folder, size, name="zarn.exe", read_only=False, files=None):
    """zarn.exe (under the given name) alone in folder, on a tmpfs of the given size, with files
    (name -> bytes) beside it; read_only remounts it read-only. Yields the program's path and
    unmounts at the end; skips the test where no tmpfs can be mounted."""
    import pytest
    folder.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", str(folder)],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    if not mounted:
        pytest.skip("cannot mount a tmpfs here")
    try:
        program = folder / name
        program.write_bytes(harness.zarn_exe.read_bytes())
        for file_name, data in (files or {}).items():
            (folder / file_name).write_bytes(data)
        if read_only:
            subprocess.run(["mount", "-o", "remount,ro", str(folder)], check=True)
        yield program
    finally:
        subprocess.run(["umount", "-l", str(folder)])


@contextlib.contextmanager
def skewed_file_system(work, offset, log=None, flags=(), name="share"):
    """A folder on a FUSE pass-through whose file times are offset seconds off the local clock,
    logging the fsyncs and renames it serves into log where given, misbehaving as flags say (see
    skewed_fs.py). Skips where FUSE cannot be mounted (it needs /dev/fuse and root)."""
    import pytest
    backing, mountpoint = work / (name + "-backing"), work / name
    backing.mkdir()
    mountpoint.mkdir()
    if not Path("/dev/fuse").exists() or shutil.which("fusermount3") is None:
        pytest.skip("no FUSE here")
    server = subprocess.Popen(["/usr/bin/python3", str(Path(__file__).parent / "skewed_fs.py"), str(backing),
                               str(mountpoint), str(offset)] + ([str(log)] if log else []) + list(flags),
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + 20
        while not os.path.ismount(mountpoint):
            if server.poll() is not None or time.monotonic() > deadline:
                pytest.skip("cannot mount FUSE here: %s" % server.stderr.read().decode(errors="replace")[-300:])
            time.sleep(0.1)
        yield mountpoint
    finally:
        subprocess.run(["fusermount3", "-u", "-z", str(mountpoint)], stderr=subprocess.DEVNULL)
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()


def temporaries(*folders):
    return [p.name for folder in folders for p in folder.iterdir() if p.name.startswith("~zarn")]


def kill_program(program):
    """Kills the Unix process of the running zarn.exe at program with SIGKILL: a hard kill."""
    listing = subprocess.run(["ps", "-eo", "pid=,args="], capture_output=True, text=True).stdout
    pids = [int(line.split(None, 1)[0]) for line in listing.splitlines()
            if win_path(program) in line and "launch.exe" not in line]
    for pid in pids:
        os.kill(pid, signal.SIGKILL)
    return bool(pids)


def digest(path):
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 24):
            sha.update(chunk)
    return sha.hexdigest()


def repeated_stamped_digest(block, repeats, s):
    """The SHA-256 of block (records without quoted line breaks, each ended by CR LF) repeated
    repeats times, every record stamped with s."""
    sha = hashlib.sha256()
    stamped = block.replace(b"\r\n", s.encode() + b"\r\n")
    for _ in range(repeats):
        sha.update(stamped)
    return sha.hexdigest()


def temporaries_soon_gone(folder, seconds=3):
    """The temporary files in folder once the system has had a moment to finish a killed process."""
    deadline = time.monotonic() + seconds
    while temporaries(folder) and time.monotonic() < deadline:
        time.sleep(0.05)
    return temporaries(folder)


def answered_boxes(out):
    """The texts of the boxes the launcher answered, from its output: "box=TEXT", each further line
    of the text as "box+=LINE"."""
    boxes = []
    for line in out.decode("utf-8", "replace").splitlines():
        if line.startswith("box="):
            boxes.append(line[4:])
        elif line.startswith("box+=") and boxes:
            boxes[-1] += "\n" + line[5:]
    return boxes


def command_line(pid):
    """The command line of a Linux process, words joined by spaces; empty when it is gone."""
    try:
        return Path("/proc/%s/cmdline" % int(pid)).read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
    except (OSError, ValueError):
        return ""


class Display:
    """An Xvfb server of its own, for tests in which windows really show."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.name},
                                capture_output=True, text=True, timeout=20)
        return result.stdout.strip()

    def visible_windows(self, owner=None):
        """Titles of the mapped top-level windows; with owner, only those of a process whose command
        line holds it (by the window's _NET_WM_PID), not those Wine's own processes map."""
        ids = self.xdotool("search", "--onlyvisible", "--name", ".*").split()
        if owner is not None:
            ids = [i for i in ids if owner in command_line(self.xdotool("getwindowpid", i))]
        return [self.xdotool("getwindowname", i) for i in ids]

    def find_window(self, title, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            ids = self.xdotool("search", "--onlyvisible", "--name", "^" + re.escape(title) + "$").split()
            if ids:
                return ids[0]
            time.sleep(0.2)
        return None

    def press_ok(self, window, tries=10):
        """Presses Return in the window until it is gone: a key sent before the box takes input
        is lost."""
        for _ in range(tries):
            self.xdotool("windowactivate", "--sync", window)
            self.xdotool("key", "--window", window, "Return")
            deadline = time.time() + 2
            while time.time() < deadline:
                if window not in self.xdotool("search", "--onlyvisible", "--name", ".*").split():
                    return
                time.sleep(0.1)

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.name, "-window", "root", str(path)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


class Harness:
    def __init__(self, zarn_exe, launch_exe, desktop_keeper_exe, prefix, source_dir):
        self.zarn_exe = Path(zarn_exe).resolve()
        self.launch_exe = Path(launch_exe).resolve()
        self.desktop_keeper_exe = Path(desktop_keeper_exe).resolve()
        self.prefix = Path(prefix)
        self.source_dir = Path(source_dir)
        self.session = None  # the display and locale of the Wine that runs, where it is known
        self.keeper = None  # the desktop keeper's process while a session runs
        # False while Wine is set up to have no display driver, so that no desktop can be made.
        self.desktop = True

    def program_folder(self, parent, name="zarn.exe"):
        """A folder holding a copy of zarn.exe (under the given file name)."""
        folder = Path(parent) / "prog"
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copy(self.zarn_exe, folder / name)
        return folder / name

    def environment(self, locale, trace, display):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "LAUNCH_", "WINE"))}
        env.pop("DISPLAY", None)
        env.update(WINEPREFIX=str(self.prefix), LC_ALL=locale, LANG=locale,
                   WINEDEBUG="+pid,+relay" if trace is True else ("+pid," + trace) if trace else "-all",
                   WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        if display is not None:
            env["DISPLAY"] = display.name
        else:
            env["LAUNCH_DISMISS"] = "1"
        return env

    def run(self, program, args=(), *, command_line=None, cwd=None, locale="en_US.UTF-8", trace=True,
            display=None, show=None, hold=None, on_start=None, timeout=300):
        """Starts program (a path) as Explorer would: the program path and each argument in double
        quotes, or exactly command_line. hold=(path, access, share) keeps a file open meanwhile;
        hold=(path, access, share, ms) for that many milliseconds from the start only. trace: Wine's
        relay trace of the calls made (True), none (False), or other debug channels ("+file").
        on_start(process) runs while the program runs (to press OK in its box, say). Without a
        display, Wine makes windows on its display-less driver, where nobody could press OK: the
        launcher answers every message box then."""
        program = Path(program)
        self.use_session(display, locale)
        if command_line is None:
            command_line = " ".join('"%s"' % a for a in [win_path(program), *args])
        env = self.environment(locale, trace, display)
        env["LAUNCH_COMMAND_LINE"] = command_line
        if show is not None:
            env["LAUNCH_SHOW"] = str(show)
        if hold is not None:
            env["LAUNCH_HOLD"], env["LAUNCH_HOLD_ACCESS"], env["LAUNCH_HOLD_SHARE"] = (
                win_path(hold[0]), str(hold[1]), str(hold[2]))
            if len(hold) > 3:
                env["LAUNCH_HOLD_MS"] = str(hold[3])
        for attempt in range(START_TRIES):
            with tempfile.TemporaryFile() as trace_file, tempfile.TemporaryFile() as out_file:
                process = subprocess.Popen(["wine", str(self.launch_exe)], cwd=cwd or program.parent, env=env,
                                           stdout=out_file, stderr=trace_file, start_new_session=True)
                try:
                    if on_start is not None:
                        on_start(process)
                    exit_code = process.wait(timeout)
                finally:
                    if process.poll() is None:
                        os.killpg(process.pid, signal.SIGKILL)
                        process.wait()
                trace_file.seek(0)
                trace_text = trace_file.read().decode("utf-8", "replace") if trace else ""
                out_file.seek(0)
                out = out_file.read()
                pid = re.search(rb"pid=([0-9a-f]+)", out)
            if not self.start_failed(exit_code, out, attempt):
                break
        run = Run(exit_code=exit_code, program_dir=program.parent, trace=trace_text, answered=answered_boxes(out))
        if pid:
            run.pid = pid.group(1).decode()
            self.parse_trace(run, run.pid)
        return run

    def run_many(self, program, arg_lists, *, cwd, locale="en_US.UTF-8", timeout=300):
        """Starts program once for each list of arguments, all at once, as a user who selects many
        files and uses Send To does, without a trace or display (the launchers answer every message
        box). Returns a Run for each, in order, with its exit code and the boxes answered; a run
        still going after timeout seconds is killed and gets the exit code None."""
        self.use_session(None, locale)
        runs = []
        with contextlib.ExitStack() as stack:
            def start(args):
                env = self.environment(locale, False, None)
                env["LAUNCH_COMMAND_LINE"] = " ".join('"%s"' % a for a in [win_path(program), *args])
                out = stack.enter_context(tempfile.TemporaryFile())
                return subprocess.Popen(["wine", str(self.launch_exe)], cwd=cwd, env=env, stdout=out,
                                        stderr=subprocess.DEVNULL, start_new_session=True), out

            started = [start(args) for args in arg_lists]
            deadline = time.monotonic() + timeout
            for args, (process, out) in zip(arg_lists, started):
                for attempt in range(START_TRIES):
                    try:
                        exit_code = process.wait(max(1, deadline - time.monotonic()))
                    except subprocess.TimeoutExpired:
                        os.killpg(process.pid, signal.SIGKILL)
                        process.wait()
                        exit_code = None
                    out.seek(0)
                    text = out.read()
                    if not self.start_failed(exit_code, text, attempt):
                        break
                    process, out = start(args)
                runs.append(Run(exit_code=exit_code, program_dir=Path(program).parent, answered=answered_boxes(text)))
        return runs

    def run_direct(self, program, args=(), *, cwd, locale="en_US.UTF-8", timeout=120):
        """Starts program (a path) through Wine's own start, without the launcher: for a program
        path that the launcher's CreateProcessW cannot take (longer than 260 characters). No trace
        and no display: use it only where no message box is expected."""
        program = Path(program)
        self.use_session(None, locale)
        env = self.environment(locale, False, None)
        exit_code = subprocess.run(["wine", win_path(program), *args], cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, timeout=timeout).returncode
        return Run(exit_code=exit_code, program_dir=program.parent)

    @staticmethod
    def start_failed(exit_code, out, attempt):
        """True when Wine could not start the launcher, or the launcher could not start the program
        (the program never ran, so it may be started again), and tries are left; says so as a
        warning in the test's output."""
        if b"pid=" in out:
            return False
        failed = re.search(rb"^start-failed=(\d+)", out, re.MULTILINE)
        if exit_code == START_FAILED and failed is not None:
            what = "the program (CreateProcessW error %s)" % failed.group(1).decode()
        elif exit_code == WINE_START_FAILED and out == b"":
            what = "the launcher"
        else:
            return False
        warnings.warn("Wine could not start %s, try %d of %d%s" % (
            what, attempt + 1, START_TRIES, ": starting it again" if attempt + 1 < START_TRIES else ""))
        return attempt + 1 < START_TRIES

    @staticmethod
    def parse_trace(run, pid):
        """Keeps the calls that the program's own code (not a library) made in its process."""
        for line in run.trace.splitlines():
            match = CALL.match(line)
            if not match or match.group(1) != pid or not IMAGE_BASE <= int(match.group(4), 16) < IMAGE_END:
                continue
            name, args = match.group(2), match.group(3)
            run.calls.append("%s(%s)" % (name, args))
            if name == "MessageBoxW":
                strings = [decode_wine_string(s) for s in WSTRING.findall(args)]
                style = int(args.rsplit(",", 1)[1], 16)
                run.boxes.append(MessageBox(text=strings[0] if strings else "",
                                            caption=strings[1] if len(strings) > 1 else "", style=style))

    def use_session(self, display, locale):
        """Starts Wine anew for another display or locale. Wine's desktop belongs to the display it
        was started on (or to none): a program started with the other can make no window. And its
        processes keep the locale they started with, which one prefix cannot hold two of at once."""
        session = (display.name if display is not None else None, locale)
        if session != self.session:
            self.stop_wine()
            self.start_session(display, locale)
            self.session = session

    def start_session(self, display, locale):
        """Wine's server and desktop up before any run, as a Windows session's are, and kept up by
        the desktop keeper until the session ends. A desktop whose start failed would leave every
        program of the session without a window, and so without a message box: each would end with
        code 0 as if all went well. Such a start is made again (see START_TRIES)."""
        env = self.environment(locale, False, display)
        for attempt in range(START_TRIES):
            subprocess.run(["wineserver", "-p"], env=env, check=False)
            if not self.desktop:
                return
            self.keeper = subprocess.Popen(["wine", str(self.desktop_keeper_exe)], env=env, stdout=subprocess.PIPE,
                                           stderr=subprocess.DEVNULL, start_new_session=True)
            ready, _, _ = select.select([self.keeper.stdout], [], [], 120)
            said = self.keeper.stdout.readline().strip() if ready else b"(nothing in 120 s)"
            if said == b"desktop=ready":
                return
            self.stop_wine()
            warnings.warn("Wine's desktop did not start (the keeper said %s), try %d of %d%s" % (
                said.decode("utf-8", "replace") or "nothing", attempt + 1, START_TRIES,
                ": starting Wine again" if attempt + 1 < START_TRIES else ""))
        raise RuntimeError("Wine's desktop did not start in %d tries" % START_TRIES)

    def stop_wine(self):
        self.session = None
        subprocess.run(["wineserver", "-k"], env={**os.environ, "WINEPREFIX": str(self.prefix)},
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env={**os.environ, "WINEPREFIX": str(self.prefix)},
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.keeper is not None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.keeper.pid, signal.SIGKILL)
            self.keeper.wait()
            self.keeper.stdout.close()
            self.keeper = None
