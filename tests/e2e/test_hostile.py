"""The real zarn.exe as a hostile user and a flaky machine meet it: the program dropped on itself,
links in its folder, device names, kills at any moment, long and Japanese paths, no window to be
had. Whatever happens, a run gives the complete stamped file or leaves everything as it was."""

import contextlib
import os
import random
import re
import shutil
import subprocess
import time
from collections import Counter

import pytest

from harness import (SYSTEM_TEXTS, digest, kill_program, repeated_stamped_digest, shown, skewed_file_system, stamp,
                     stamped_ok, temporaries, temporaries_soon_gone, win_path)


def create_message(path, error):
    return shown('ファイル "%s" を作成できません。%s' % (path, SYSTEM_TEXTS[error]))


def open_message(path, text):
    return shown("ファイル %s は開けません。 %s " % (path, text))


@pytest.fixture
def setup(harness, work):
    """The program folder, a data folder and a folder elsewhere, side by side."""
    program = harness.program_folder(work)
    for name in ("data", "elsewhere"):
        (work / name).mkdir()
    return program, work / "data", work / "elsewhere"


# The program dropped on itself, under every name that reaches its file: the destination is the
# running program, which Windows keeps from being written. One box, and the program stays whole.
@pytest.mark.parametrize("how", ["full path", "bare name", "other case", "hard link", "symbolic link"])
def test_program_dropped_on_itself_is_refused_and_stays_whole(harness, setup, how):
    program, data, _ = setup
    folder = program.parent
    original = program.read_bytes()
    name = {"other case": "ZARN.EXE", "hard link": "copy.exe", "symbolic link": "link.exe"}.get(how, "zarn.exe")
    if how == "hard link":
        os.link(program, folder / name)
    if how == "symbolic link":
        os.symlink(program, folder / name)
    argument = name if how == "bare name" else win_path(folder) + "\\" + name
    run = harness.run(program, [argument], cwd=folder if how == "bare name" else data, locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert [b.text for b in run.boxes] == [create_message(win_path(folder) + "\\" + name, 32)]
    assert program.read_bytes() == original
    assert {p.name for p in folder.iterdir()} == {"zarn.exe"} | ({name} if how.endswith("link") else set())


# A symbolic link in the program folder: the file it points to receives the stamped content, the
# link stays a link and nothing is deleted. A dangling link and a hard link are names of their own.
@pytest.mark.parametrize("case", ["link to a file elsewhere", "the link dropped itself", "dangling link", "hard link"])
def test_link_in_the_program_folder_is_written_through(harness, setup, case):
    program, data, elsewhere = setup
    link = program.parent / "in.csv"
    target = elsewhere / "target.csv"
    target.write_bytes(b"old\r\n")
    (data / "in.csv").write_bytes(b"new\n")
    if case == "dangling link":
        os.symlink(elsewhere / "nothing.csv", link)
    elif case == "hard link":
        os.link(target, link)
    else:
        os.symlink(target, link)
    # win_path resolves links: the link is named through its folder.
    source = win_path(link.parent) + "\\in.csv" if case == "the link dropped itself" else win_path(data / "in.csv")
    before = stamp()
    run = harness.run(program, [source], locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert run.boxes == []
    new, old = (lambda s: ("new%s\r\n" % s).encode()), (lambda s: ("old%s\r\n" % s).encode())
    if case in ("link to a file elsewhere", "the link dropped itself"):
        assert link.is_symlink() and os.readlink(link) == str(target)
        expected = new if case == "link to a file elsewhere" else old
        assert stamped_ok(target.read_bytes(), expected, before)
    else:  # the program folder's name gets a plain file; the other file keeps its content
        assert not link.is_symlink()
        assert stamped_ok(link.read_bytes(), new, before)
        assert target.read_bytes() == b"old\r\n"
    assert sorted(p.name for p in elsewhere.iterdir()) == ["target.csv"]
    assert temporaries(program.parent, elsewhere) == []
    assert (data / "in.csv").read_bytes() == b"new\n"


# An input that opens as a device ends at once with the open message; nothing is written and no
# run waits for ever. The console and the printer port end at their open as they always did.
@pytest.mark.parametrize("name,path,text", [
    ("AUX", r"\\.\AUX", SYSTEM_TEXTS[1200]),
    ("COM1", r"\\.\COM1", SYSTEM_TEXTS[1200]),
    ("AUX.csv", r"\\.\AUX", SYSTEM_TEXTS[1200]),
    ("COM1.csv", r"\\.\COM1", SYSTEM_TEXTS[1200]),
    ("NUL", r"\\.\NUL", SYSTEM_TEXTS[1200]),
    ("CON", r"\\.\CON", "ハンドルが正しくありません。"),
    ("CONIN$", r"\\.\CONIN$", "ハンドルが正しくありません。"),
    ("LPT1", r"\\.\LPT1", "ファイルが見つかりません。"),
])
def test_device_name_ends_at_once_with_the_open_message(harness, setup, name, path, text):
    program, data, _ = setup
    run = harness.run(program, [name], cwd=data, locale="ja_JP.UTF-8", timeout=60)
    assert run.exit_code == 0
    assert [b.text for b in run.boxes] == [open_message(path, text)]
    assert sorted(p.name for p in program.parent.iterdir()) == ["zarn.exe"]


@pytest.mark.parametrize("existing", [True, False], ids=["replacing", "new"])
def test_a_run_killed_at_any_moment_leaves_the_old_or_the_new_file(harness, setup, capsys, existing):
    """200 MiB stamped over an old file (or where there is none) and killed at random moments: the
    destination is the old file (or none) or the complete new one, and the system removes the
    temporary file as the run dies, no later run needed (unless the run died between the file's
    last step and its rename); the next run completes."""
    program, data, _ = setup
    block = b"".join(b'%07d,"name %d",value\r\n' % (i, i) for i in range(20000))
    repeats = 200 * 1024 * 1024 // len(block)
    with open(data / "big.csv", "wb") as f:
        for _ in range(repeats):
            f.write(block)
    destination = program.parent / "big.csv"
    old = b"old content\r\n"

    def new_digest(s):
        return repeated_stamped_digest(block, repeats, s)

    new_digests = {new_digest(stamp())}
    # The kills fall within a run's length as a replacing run takes it (the first run of a test
    # also waits for the system to start).
    whole = float("inf")
    for _ in range(2):
        started = time.monotonic()
        harness.run(program, [win_path(data / "big.csv")], trace=False)
        whole = min(whole, time.monotonic() - started)
    new_digests.add(new_digest(stamp()))
    assert digest(destination) in new_digests

    rnd = random.Random(int(os.environ.get("ZARN_KILL_SEED", "10")))
    outcomes = []
    try:
        for _ in range(10):
            if existing:
                destination.write_bytes(old)
            else:
                destination.unlink(missing_ok=True)
            moment = rnd.uniform(0.05, whole)
            killed = {}

            def kill_later(process, moment=moment, killed=killed):
                time.sleep(moment)
                killed["yes"] = kill_program(program)

            # Traced by the file channel, cheap enough not to change the timing: it shows how far
            # the run got.
            run = harness.run(program, [win_path(data / "big.csv")], trace="+file", on_start=kill_later)
            left = temporaries_soon_gone(program.parent)
            state = ("absent" if not destination.exists() else
                     "old" if destination.stat().st_size == len(old) and destination.read_bytes() == old else
                     "new" if digest(destination) in new_digests else "neither")
            outcomes.append((round(moment, 3), killed.get("yes", False), state, list(left)))
            assert state in (("old", "new") if existing else ("absent", "new")), outcomes
            # Only a run killed after it took the mark for deletion off its complete, flushed file,
            # before the rename, leaves that file (a later sweep removes it once the destination is
            # there); the test removes it. The mark is set and taken off by the file's disposition
            # (information class 0xd), twice on one handle.
            dispositions = re.findall(r"^%s:[0-9a-f]+:trace:file:NtSetInformationFile \((0x[0-9a-f]+),[^)]*,0x0000000d\)$"
                                      % run.pid, run.trace, re.MULTILINE)
            if left and run.pid and any(count >= 2 for count in Counter(dispositions).values()):
                assert len(left) == 1 and digest(program.parent / left[0]) in new_digests, outcomes
                (program.parent / left.pop()).unlink()
                outcomes[-1] += ("killed in the commit",)
            assert left == [], outcomes
        harness.run(program, [win_path(data / "big.csv")], trace=False)
        assert digest(destination) in new_digests
        assert temporaries(program.parent) == []
    finally:
        with capsys.disabled():
            print("\nwhole run %.2f s; kills (moment s, killed, destination, temporaries left): %s" % (whole, outcomes))
        (data / "big.csv").unlink(missing_ok=True)
        destination.unlink(missing_ok=True)


def test_program_path_past_260_characters_writes_into_its_own_folder(harness, work):
    """The program lies where its path is cut by a 261-unit buffer inside its folder's name: the
    output still lands in that folder, not in its parent."""
    parent = work / ("a" * 100) / ("b" * 100)
    folder = parent / ("c" * 80)
    folder.mkdir(parents=True)
    program = folder / "zarn.exe"
    program.write_bytes(harness.zarn_exe.read_bytes())
    assert len(win_path(parent)) + 1 < 261 < len(win_path(folder)), "the cut falls in the folder's name"
    (work / "in.csv").write_bytes(b"x")
    run = harness.run_direct(program, [win_path(work / "in.csv")], cwd=work)
    assert run.exit_code == 0
    assert (folder / "in.csv").read_bytes() == b"x" + stamp().encode() + b"\r\n"
    assert sorted(p.name for p in parent.iterdir()) == ["c" * 80]


# Japanese names, as the program's users have them: a Japanese input in a Japanese folder, stamped
# into a Japanese program folder; a failure that names a Japanese path; and under another locale a
# name that the ANSI code page cannot hold.
def japanese_setup(harness, work):
    folder = work / "ツール"
    folder.mkdir()
    program = folder / "zarn.exe"
    program.write_bytes(harness.zarn_exe.read_bytes())
    data = work / "デスクトップ" / "データ"
    data.mkdir(parents=True)
    return program, data


def test_japanese_names_in_and_out(harness, work):
    program, data = japanese_setup(harness, work)
    (data / "顧客一覧.csv").write_bytes('顧客,"住所\n東京"\r\n山田,大阪'.encode("cp932"))
    before = stamp()
    run = harness.run(program, [win_path(data / "顧客一覧.csv")], locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert run.boxes == []
    assert stamped_ok((program.parent / "顧客一覧.csv").read_bytes(),
                      lambda s: ('顧客,"住所\r\n東京"%s\r\n山田,大阪%s\r\n' % (s, s)).encode("cp932"), before)


def test_failure_names_a_japanese_destination_intact(harness, work):
    program, data = japanese_setup(harness, work)
    (data / "顧客一覧.csv").write_bytes(b"new")
    destination = program.parent / "顧客一覧.csv"
    destination.write_bytes(b"old")
    destination.chmod(0o444)
    run = harness.run(program, [win_path(data / "顧客一覧.csv")], locale="ja_JP.UTF-8")
    assert [b.text for b in run.boxes] == [create_message(win_path(destination), 5)]
    assert destination.read_bytes() == b"old"


def test_name_outside_the_ansi_code_page(harness, work):
    program = harness.program_folder(work)
    name = "予定 \U0001F4C5.csv"  # neither the Japanese nor the emoji is in code page 1252
    (work / name).write_bytes(b"a,b\n")
    run = harness.run(program, [win_path(work / name)], locale="en_US.UTF-8")
    assert run.exit_code == 0
    assert run.boxes == []
    assert run.files() == {name: b"a,b" + stamp().encode() + b"\r\n"}


@pytest.fixture
def no_windows(harness):
    """Wine without a display driver of any kind: no window can be made (restored afterwards)."""
    def graphics(value):
        harness.stop_wine()
        env = harness.environment("en_US.UTF-8", False, None)
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Graphics", "/t", "REG_SZ",
                        "/d", value, "/f"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        harness.stop_wine()
    graphics("x11")
    harness.desktop = False
    yield
    harness.desktop = True
    graphics("x11,null")


def test_window_that_cannot_be_made_is_a_failure_with_a_message(harness, setup, no_windows):
    program, data, _ = setup
    (data / "in.csv").write_bytes(b"a")
    run = harness.run(program, [win_path(data / "in.csv")], locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert len(run.boxes) == 1
    assert run.boxes[0].text.startswith("ウィンドウ TZarnApplication を作成できません。"), run.boxes[0].text
    assert run.files() == {}


@contextlib.contextmanager
def drives_without_unique_ids(harness, work, inodes, refuse_renames=False):
    """zarn's folder and a data folder on two drives served by a program that gives no unique file
    ids (skewed_fs.py --inodes): every file the id 0, or files of one name in two folders one id.
    Two drives, as Wine keeps files apart by those numbers: two files of one number on one drive
    would stand in each other's way. zarn.exe is a link to a copy on another drive, for the same
    reason. Yields the program's path and the data folder; start it with start_line, as win_path
    would name the program's file where the link leads."""
    flags = ["--inodes=" + inodes] + (["--refuse-renames"] if refuse_renames else [])
    with skewed_file_system(work, 0, flags=flags, name="progdrive") as progdrive, \
            skewed_file_system(work, 0, flags=["--inodes=" + inodes], name="datadrive") as datadrive:
        (progdrive / "prog").mkdir()
        (datadrive / "data").mkdir()
        (work / "bin").mkdir()
        shutil.copy(harness.zarn_exe, work / "bin" / "zarn.exe")
        os.symlink(work / "bin" / "zarn.exe", progdrive / "prog" / "zarn.exe")
        yield progdrive / "prog" / "zarn.exe", datadrive / "data"


def start_line(program, source):
    """The command line that starts program (not where its link leads) with source."""
    return '"%s\\%s" "%s"' % (win_path(program.parent), program.name, win_path(source))


# A file system's ids prove nothing alone. Where in.csv in the data folder and the old in.csv in
# zarn's folder have one id, they are still two files: the input is not the destination, so a copy
# that replaced a character is written and the warning says so.
def test_a_copy_where_ids_prove_nothing_is_a_copy(harness, work):
    with drives_without_unique_ids(harness, work, "name") as (program, data):
        original = b"\xef\xbb\xbf" + "id,店\r\n1,café\r\n".encode("utf-8")
        (data / "in.csv").write_bytes(original)
        (program.parent / "in.csv").write_bytes(b"old output\r\n")
        before = stamp()
        run = harness.run(program, command_line=start_line(program, data / "in.csv"), locale="ja_JP.UTF-8",
                          trace=False, cwd=work)
        assert run.exit_code == 0
        assert run.answered == ['ファイル "%s\\in.csv" を作成しましたが、ANSI コード ページで表せない 1 文字を別の文字に'
                                '置き換えました。最初は 2 行目の "é" (U+00E9) です。' % win_path(program.parent)]
        assert stamped_ok((program.parent / "in.csv").read_bytes(),
                          lambda s: ("id,店%s\r\n1,cafe%s\r\n" % (s, s)).encode("cp932"), before)
        assert (data / "in.csv").read_bytes() == original
        assert temporaries(program.parent) == []


# A rename that did not put the new file in place is a failure, whatever the ids say: the drive
# refuses it, or (every id 0) Wine reports it done and leaves both names as they were. The old file
# stays, the box says that the file cannot be created, and no temporary file is left. (Not on a
# drive whose ids follow the names: after a refused rename there, Wine now and then reports the
# temporary file deleted, by its handle and by its name, and leaves it.)
@pytest.mark.parametrize("inodes,refuse_renames", [("zero", False), ("zero", True)],
                         ids=["zero ids, rename reported done", "zero ids, rename refused"])
def test_a_rename_that_did_not_take_place_is_a_failure(harness, work, inodes, refuse_renames):
    with drives_without_unique_ids(harness, work, inodes, refuse_renames) as (program, data):
        (data / "in.csv").write_bytes(b"a,b\r\n")
        destination = program.parent / "in.csv"
        destination.write_bytes(b"old\r\n")
        run = harness.run(program, command_line=start_line(program, data / "in.csv"), locale="ja_JP.UTF-8",
                          trace=False, cwd=work)
        assert run.exit_code == 0
        assert len(run.answered) == 1 and run.answered[0].startswith(
            'ファイル "%s\\in.csv" を作成できません。' % win_path(program.parent)), run.answered
        assert destination.read_bytes() == b"old\r\n"
        assert temporaries(program.parent) == []
