"""Several files in one start, as Explorer hands a selection to zarn.exe (drag and drop, Send To):
every argument that names an existing file is stamped, with one date; what failed or lost
characters is told in one box at the end, the failures first in the order of the arguments; no
output is written twice."""

import os
import random
import re
import time
from collections import Counter

import pytest

from harness import (SYSTEM_TEXTS, digest, kill_program, repeated_stamped_digest, shown, stamp, temporaries_soon_gone,
                     win_path)

MB_ICONERROR, MB_ICONWARNING = 0x10, 0x30
GENERIC_WRITE = 0x40000000
FILE_SHARE_READ, FILE_SHARE_WRITE = 1, 2


def open_message(path, error):
    return shown("ファイル %s は開けません。 %s " % (win_path(path), SYSTEM_TEXTS[error]))


def create_message(path, error):
    return shown('ファイル "%s" を作成できません。%s' % (win_path(path), SYSTEM_TEXTS[error]))


def written_already(source, destination):
    return shown('ファイル %s は書き出しませんでした。同じ名前のファイル "%s" をこの実行ですでに書き出しています'
                 % (win_path(source), win_path(destination)))


def bad_utf8(path):
    return shown("ファイル %s は正しい UTF-8 ではありません" % win_path(path))


def replaced_warning(destination, line, character, code):
    return ('ファイル "%s" を作成しましたが、ANSI コード ページで表せない 1 文字を別の文字に置き換えました。'
            '最初は %d 行目の "%s" (%s) です。' % (win_path(destination), line, character, code))


def with_stamp(data, before):
    """The outputs a file of one record without a line break may have: stamped with the date at
    the start (before) or now."""
    return {data + s.encode() + b"\r\n" for s in (before, stamp())}


@pytest.fixture
def folders(harness, work):
    """zarn's folder, and data folders a to d beside it."""
    program = harness.program_folder(work)
    for name in "abcd":
        (work / name).mkdir()
    return program, work


def test_every_file_of_a_selection_is_stamped(harness, folders):
    """Four files from four folders in four encodings, a name that is nothing and a folder among
    them: the four are stamped byte for byte, with one date, and nothing is shown."""
    program, work = folders
    (work / "a" / "ascii.csv").write_bytes(b'id,name\n1,"two\nlines"\n')
    (work / "b" / "sjis.csv").write_bytes("名前,住所\r\n山田,東京\r\n".encode("cp932"))
    (work / "c" / "utf16.csv").write_bytes(b"\xff\xfe" + "名前\r\n日本".encode("utf-16-le"))
    (work / "d" / "utf8.csv").write_bytes("名前,é\n".encode("utf-8"))
    args = [win_path(work / "a" / "ascii.csv"), win_path(work / "missing.csv"), win_path(work / "b" / "sjis.csv"),
            win_path(work / "c"), win_path(work / "c" / "utf16.csv"), win_path(work / "d" / "utf8.csv")]
    before = stamp()
    run = harness.run(program, args, locale="ja_JP.UTF-8", trace=False)
    assert run.exit_code == 0
    assert run.answered == []
    outputs = [{"ascii.csv": ('id,name%s\r\n1,"two\r\nlines"%s\r\n' % (s, s)).encode(),
                "sjis.csv": ("名前,住所%s\r\n山田,東京%s\r\n" % (s, s)).encode("cp932"),
                "utf16.csv": ("名前%s\r\n日本%s\r\n" % (s, s)).encode("cp932"),
                "utf8.csv": "名前,é".encode("utf-8") + s.encode() + b"\r\n"} for s in (before, stamp())]
    assert run.files() in outputs, run.files()


def test_one_failure_among_the_files_shows_todays_box(harness, folders):
    """The second of three inputs is held open for writing by another program: the other two are
    stamped, and the box is the one a start of that file alone shows."""
    program, work = folders
    (work / "a" / "in1.csv").write_bytes(b"1")
    (work / "b" / "held.csv").write_bytes(b"h")
    (work / "c" / "in2.csv").write_bytes(b"2")
    before = stamp()
    run = harness.run(program, [win_path(work / "a" / "in1.csv"), win_path(work / "b" / "held.csv"),
                                win_path(work / "c" / "in2.csv")], locale="ja_JP.UTF-8",
                      hold=(work / "b" / "held.csv", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE))
    assert run.exit_code == 0
    assert [(b.text, b.style) for b in run.boxes] == [(open_message(work / "b" / "held.csv", 32), MB_ICONERROR)]
    assert set(run.files()) == {"in1.csv", "in2.csv"}
    assert run.files()["in1.csv"] in with_stamp(b"1", before)
    assert run.files()["in2.csv"] in with_stamp(b"2", before)


def test_failures_and_warnings_are_listed_in_one_box(harness, folders):
    """Five inputs: one with a character code page 932 cannot hold (a warning), one not UTF-8 after
    its mark, one good, one whose old output is read-only, one held open for writing. One box with
    the stop icon: the three failures in the order of their arguments, then the warning; the good
    file and the copy that lost a character are written, the read-only file keeps its content."""
    program, work = folders
    (work / "a" / "lost.csv").write_bytes(b"\xef\xbb\xbf" + "1,é".encode("utf-8"))
    (work / "a" / "bad.csv").write_bytes(b"\xef\xbb\xbfx\xff")
    (work / "b" / "ok.csv").write_bytes(b"k")
    (work / "c" / "ro.csv").write_bytes(b"new")
    (program.parent / "ro.csv").write_bytes(b"old")
    (program.parent / "ro.csv").chmod(0o444)
    (work / "d" / "held.csv").write_bytes(b"h")
    names = ["a/lost.csv", "a/bad.csv", "b/ok.csv", "c/ro.csv", "d/held.csv"]
    before = stamp()
    run = harness.run(program, [win_path(work / n) for n in names], locale="ja_JP.UTF-8",
                      hold=(work / "d" / "held.csv", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE))
    assert run.exit_code == 0
    assert [b.style for b in run.boxes] == [MB_ICONERROR]
    assert run.answered == ["\n\n".join([
        bad_utf8(work / "a" / "bad.csv"),
        create_message(program.parent / "ro.csv", 5),
        open_message(work / "d" / "held.csv", 32),
        replaced_warning(program.parent / "lost.csv", 1, "é", "U+00E9")])]
    files = run.files()
    assert set(files) == {"lost.csv", "ok.csv", "ro.csv"}
    assert files["lost.csv"] in with_stamp(b"1,e", before)
    assert files["ok.csv"] in with_stamp(b"k", before)
    assert files["ro.csv"] == b"old"


def test_warnings_alone_give_one_warning_box(harness, folders):
    program, work = folders
    (work / "a" / "one.csv").write_bytes(b"\xef\xbb\xbf" + "é".encode("utf-8"))
    (work / "b" / "two.csv").write_bytes(b"\xff\xfe" + "x\r\n\u00fc".encode("utf-16-le"))
    run = harness.run(program, [win_path(work / "a" / "one.csv"), win_path(work / "b" / "two.csv")],
                      locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert [b.style for b in run.boxes] == [MB_ICONWARNING]
    assert run.answered == [replaced_warning(program.parent / "one.csv", 1, "é", "U+00E9") + "\n\n" +
                            replaced_warning(program.parent / "two.csv", 2, "ü", "U+00FC")]
    assert set(run.files()) == {"one.csv", "two.csv"}


def test_a_long_list_shows_ten_and_counts_the_rest(harness, folders):
    """Thirteen inputs that are not UTF-8 after their mark, and one good one: ten failures are
    shown, then a line counts the three others."""
    program, work = folders
    bad = [work / "a" / ("bad%02d.csv" % i) for i in range(13)]
    for path in bad:
        path.write_bytes(b"\xef\xbb\xbf\xff")
    (work / "b" / "ok.csv").write_bytes(b"k")
    run = harness.run(program, [win_path(p) for p in bad[:6] + [work / "b" / "ok.csv"] + bad[6:]],
                      locale="ja_JP.UTF-8", trace=False)
    assert run.exit_code == 0
    assert run.answered == ["\n\n".join([bad_utf8(p) for p in bad[:10]] +
                                        ["ほかに 3 件のファイルでエラーまたは警告がありました。"])]
    assert set(run.files()) == {"ok.csv"}


# No output is written twice in one start. Each case: the files there before the start ("prog/..."
# in zarn's folder), the arguments in order, what zarn's folder then holds (each name with the
# argument whose content it holds, stamped once) and the arguments refused, each with the name in
# zarn's folder that this start wrote already.
TWICE = [
    ("two files of one name from two folders",
     {"a/data.csv": b"A", "b/data.csv": b"B"}, ["a/data.csv", "b/data.csv"], {"data.csv": "a/data.csv"},
     [("b/data.csv", "data.csv")]),
    # Wine's folders find a name in another case where there is no name of that case: as in a folder
    # whose names ignore case, the output DATA.csv would be data.csv.
    ("names in two cases, in a folder that finds either",
     {"a/data.csv": b"A", "b/DATA.csv": b"B"}, ["a/data.csv", "b/DATA.csv"], {"data.csv": "a/data.csv"},
     [("b/DATA.csv", "DATA.csv")]),
    # A folder that holds both names keeps them apart (a case-sensitive folder): two outputs.
    ("names in two cases, in a folder that holds both",
     {"a/data.csv": b"A", "b/DATA.csv": b"B", "prog/data.csv": b"old", "prog/DATA.csv": b"old"},
     ["a/data.csv", "b/DATA.csv"], {"data.csv": "a/data.csv", "DATA.csv": "b/DATA.csv"}, []),
    ("one file named twice", {"a/x.csv": b"X"}, ["a/x.csv", "a/x.csv"], {"x.csv": "a/x.csv"}, []),
    ("one file named twice, in zarn's folder", {"prog/x.csv": b"X"}, ["prog/x.csv", "prog/x.csv"],
     {"x.csv": "prog/x.csv"}, []),
    ("one file of zarn's folder named in two cases", {"prog/x.csv": b"X"}, ["prog/x.csv", "prog/X.CSV"],
     {"x.csv": "prog/x.csv"}, []),
    ("a file, then the output it gave", {"a/x.csv": b"X"}, ["a/x.csv", "prog/x.csv"], {"x.csv": "a/x.csv"},
     [("prog/x.csv", "x.csv")]),
]


@pytest.mark.parametrize("what,files,args,outputs,refused", TWICE, ids=[c[0] for c in TWICE])
def test_no_output_is_written_twice(harness, folders, what, files, args, outputs, refused):
    program, work = folders

    def path(name):
        return program.parent / name[5:] if name.startswith("prog/") else work / name

    for name, data in files.items():
        path(name).write_bytes(data)
    before = stamp()
    run = harness.run(program, [win_path(path(a)) for a in args], locale="ja_JP.UTF-8", trace=False)
    assert run.exit_code == 0
    boxes = [written_already(path(argument), program.parent / name) for argument, name in refused]
    assert run.answered == (["\n\n".join(boxes)] if boxes else [])
    got = run.files()
    assert set(got) == set(outputs), got
    for name, source in outputs.items():
        assert got[name] in with_stamp(files[source], before), (name, got[name])


def test_the_longest_selection_is_stamped_whole(harness, folders):
    """A command line as long as Explorer makes one, 32,767 units with the program's path: every
    file it names is stamped."""
    program, work = folders
    head = '"%s"' % win_path(program)
    paths, length = [], len(head)
    while True:
        path = work / "a" / ("\u5c71\u7530 %04d.csv" % len(paths))  # Japanese names too
        if length + len(win_path(path)) + 3 > 32767 - 1:
            break
        paths.append(path)
        length += len(win_path(path)) + 3
    for i, path in enumerate(paths):
        path.write_bytes(b"%d,x" % i)
    command = " ".join([head] + ['"%s"' % win_path(p) for p in paths])
    assert 32767 - 40 < len(command) < 32767
    before = stamp()
    run = harness.run(program, command_line=command, locale="ja_JP.UTF-8", trace=False, timeout=600)
    assert run.exit_code == 0
    assert run.answered == []
    files = run.files()
    assert len(files) == len(paths) > 900
    for i, path in enumerate(paths):
        assert files[path.name] in with_stamp(b"%d,x" % i, before), path.name


def test_a_start_killed_part_way_leaves_each_output_old_or_new(harness, folders, capsys):
    """Four files of 40 MiB over their old outputs, the start killed at random moments: each
    destination holds its old content or its complete new one, and the system removes the
    temporary file of the run in progress as the start dies (unless it died between the file's last
    step and its rename, which the file channel's trace shows)."""
    program, work = folders
    block = b"".join(b'%07d,"name %d",value\r\n' % (i, i) for i in range(20000))
    repeats = 40 * 1024 * 1024 // len(block)
    names = ["k%d.csv" % i for i in range(4)]
    for i, name in enumerate(names):
        with open(work / "abcd"[i] / name, "wb") as f:
            for _ in range(repeats):
                f.write(block)
    old = b"old content\r\n"

    def new_digest(s):
        return repeated_stamped_digest(block, repeats, s)

    args = [win_path(work / "abcd"[i] / name) for i, name in enumerate(names)]
    # The kills fall within a start's length (the first start of a test also waits for the system).
    whole = float("inf")
    for _ in range(2):
        started = time.monotonic()
        harness.run(program, args, trace=False)
        whole = min(whole, time.monotonic() - started)
    new = {new_digest(stamp())}
    assert {digest(program.parent / n) for n in names} <= new
    rnd = random.Random(int(os.environ.get("ZARN_KILL_SEED", "27")))
    outcomes = []
    try:
        for _ in range(6):
            for name in names:
                (program.parent / name).write_bytes(old)
            moment = rnd.uniform(0.05, whole)

            def kill_later(process, moment=moment):
                time.sleep(moment)
                kill_program(program)

            run = harness.run(program, args, trace="+file", on_start=kill_later)
            states = ["old" if (program.parent / n).read_bytes()[:len(old) + 1] == old else
                      "new" if digest(program.parent / n) in new else "neither" for n in names]
            left = temporaries_soon_gone(program.parent)
            outcomes.append((round(moment, 2), states, left))
            assert "neither" not in states, outcomes
            # A run killed after it took the mark for deletion off its complete file (the file's
            # disposition, class 0xd, set twice on one handle) and before the rename leaves it.
            dispositions = re.findall(r"^%s:[0-9a-f]+:trace:file:NtSetInformationFile \((0x[0-9a-f]+),[^)]*,0x0000000d\)$"
                                      % run.pid, run.trace, re.MULTILINE)
            if left and run.pid and any(count >= 2 for count in Counter(dispositions).values()):
                assert len(left) == 1 and digest(program.parent / left[0]) in new, outcomes
                (program.parent / left.pop()).unlink()
            assert left == [], outcomes
    finally:
        with capsys.disabled():
            print("\nwhole start %.2f s; kills (moment s, destinations, temporaries left): %s" % (whole, outcomes))
