"""The real zarn.exe under Wine: what it does with the command line, the files it writes, and the
failures it reports."""

import hashlib
import subprocess

import pytest

from harness import SYSTEM_TEXTS, program_on_tmpfs, shown, stamp, stamped_ok, win_path

GENERIC_READ = 0x80000000
GENERIC_WRITE = 0x40000000
FILE_SHARE_READ = 1
FILE_SHARE_WRITE = 2

TONE = "Beep(000007d0,00000064)"




@pytest.fixture
def setup(harness, work):
    """The program folder and a data folder, side by side."""
    program = harness.program_folder(work)
    data = work / "data"
    data.mkdir()
    return program, data


def test_no_argument_sounds_the_tone_and_writes_nothing(harness, setup):
    program, data = setup
    for command_line in ['"%s"' % win_path(program), '"%s"  \t ' % win_path(program),
                         '"%s" "" ""' % win_path(program)]:
        run = harness.run(program, command_line=command_line)
        assert run.exit_code == 0
        assert run.called("Beep") == [TONE], command_line
        assert run.files() == {}
        assert run.boxes == []


@pytest.mark.parametrize("argument", ["missing.csv", "sub", "sub\\", "*.csv", "in?.csv"])
def test_argument_that_is_no_existing_file_ends_silently(harness, setup, argument):
    program, data = setup
    (data / "sub").mkdir()
    (data / "in1.csv").write_bytes(b"a\r\n")
    run = harness.run(program, [argument], cwd=data)
    assert run.exit_code == 0
    assert run.called("Beep") == []
    assert run.boxes == []
    assert run.files() == {}


def test_stamps_the_file_into_the_program_folder(harness, setup):
    program, data = setup
    before = stamp()
    (data / "in.csv").write_bytes(b'id,name\n1,"two\nlines"\r\n2,x')
    run = harness.run(program, [win_path(data / "in.csv")])
    assert run.exit_code == 0
    assert stamped_ok(run.files()["in.csv"],
                      lambda s: ('id,name%s\r\n1,"two\r\nlines"%s\r\n2,x%s\r\n' % (s, s, s)).encode(), before)
    assert set(run.files()) == {"in.csv"}, "no temporary file is left"
    assert (data / "in.csv").read_bytes() == b'id,name\n1,"two\nlines"\r\n2,x', "the input is unchanged"


def test_relative_path_is_read_from_the_current_directory_and_written_to_the_program_folder(harness, setup, work):
    program, data = setup
    (data / "sub").mkdir()
    (data / "sub" / "rel.csv").write_bytes(b"x")
    run = harness.run(program, command_line='"%s" sub\\rel.csv' % win_path(program), cwd=data)
    assert run.exit_code == 0
    assert run.files()["rel.csv"] == b"x" + stamp().encode() + b"\r\n"
    assert not (data / "rel.csv").exists()


# Windows takes a forward slash as a separator in any path: the output's name is what follows the
# last one, so a run typed with forward slashes never writes over its input.
@pytest.mark.parametrize("typed,cwd", [("../local/loc.csv", "prog"), ("sub/loc.csv", "data"),
                                       ("WIN_PATH_WITH_SLASHES", "data")])
def test_forward_slashes_name_the_file_and_the_output_goes_to_the_program_folder(harness, setup, work, typed, cwd):
    program, data = setup
    source = work / "local" / "loc.csv" if typed.startswith("..") else data / "sub" / "loc.csv"
    source.parent.mkdir(parents=True, exist_ok=True)
    source.write_bytes(b"a,b\n")
    if typed == "WIN_PATH_WITH_SLASHES":
        typed = win_path(source).replace("\\", "/")
    run = harness.run(program, command_line='"%s" %s' % (win_path(program), typed),
                      cwd=program.parent if cwd == "prog" else data)
    assert run.exit_code == 0
    assert run.boxes == []
    assert run.files() == {"loc.csv": b"a,b" + stamp().encode() + b"\r\n"}
    assert source.read_bytes() == b"a,b\n", "the input is unchanged"


def test_quoted_path_with_spaces_and_an_empty_pair_before_it(harness, setup):
    program, data = setup
    folder = data / "My Data"
    folder.mkdir()
    (folder / "in put.csv").write_bytes(b"x")
    run = harness.run(program, command_line='"%s" "" "%s"' % (win_path(program), win_path(folder / "in put.csv")))
    assert run.files()["in put.csv"] == b"x" + stamp().encode() + b"\r\n"


def test_program_in_a_drive_root_writes_into_the_root(harness, work):
    """The program at M:\\zarn.exe: the output folder is M:\\ and the output path M:\\\\name."""
    root = work / "root"
    root.mkdir()
    (root / "zarn.exe").write_bytes(harness.zarn_exe.read_bytes())
    (work / "in.csv").write_bytes(b"r")
    drive = harness.prefix / "dosdevices" / "m:"
    if drive.is_symlink():
        drive.unlink()
    drive.symlink_to(root)
    try:
        run = harness.run(root / "zarn.exe", [win_path(work / "in.csv")],
                          command_line='"M:\\zarn.exe" "%s"' % win_path(work / "in.csv"))
        assert run.exit_code == 0
        assert (root / "in.csv").read_bytes() == b"r" + stamp().encode() + b"\r\n"
        assert any('L"M:\\\\\\\\in.csv"' in c for c in run.called("GetFileAttributesW")), \
            "the output path holds two backslashes after the drive"
    finally:
        drive.unlink()


def test_input_in_the_program_folder_is_replaced_and_stamped_again(harness, setup):
    program, data = setup
    target = program.parent / "same.csv"
    target.write_bytes(b"a\n")
    for _ in range(2):
        assert harness.run(program, [win_path(target)], trace=False).exit_code == 0
    assert target.read_bytes() == ("a" + stamp() + stamp() + "\r\n").encode()
    assert set(run_files(program)) == {"same.csv"}


def run_files(program):
    return [p.name for p in program.parent.iterdir() if p.suffix != ".exe"]


ENCODED_CASES = [
    # Shift-JIS with a quoted line break under a Japanese locale (code page 932).
    ("ja_JP.UTF-8", "/", '名前,"住所\n東京"\r\nカナ,ｶﾅ'.encode("cp932"),
     lambda s: ('名前,"住所\r\n東京"%s\r\nカナ,ｶﾅ%s\r\n' % (s, s)).encode("cp932")),
    # UTF-16LE with its mark, written back in code page 932 without the mark.
    ("ja_JP.UTF-8", "/", b"\xff\xfe" + "a\r\n日本".encode("utf-16-le"),
     lambda s: ("a%s\r\n日本%s\r\n" % (s, s)).encode("cp932")),
    # UTF-16BE with its mark under a German locale (code page 1252, separator full stop).
    ("de_DE.UTF-8", ".", b"\xfe\xff" + "Größe\n€".encode("utf-16-be"),
     lambda s: ("Größe%s\r\n€%s\r\n" % (s, s)).encode("cp1252")),
    # UTF-8 with its mark under a Dutch locale (separator hyphen).
    ("nl_NL.UTF-8", "-", b"\xef\xbb\xbf" + "café,\"x\"\"y\"".encode("utf-8"),
     lambda s: ('café,"x""y"%s\r\n' % s).encode("cp1252")),
    # A locale whose separator is longer than one character falls back to the slash.
    ("ko_KR.UTF-8", "/", "가\n".encode("cp949"), lambda s: ("가%s\r\n" % s).encode("cp949")),
    # Cyrillic code page 1251.
    ("ru_RU.UTF-8", ".", "Имя\rФамилия".encode("cp1251"), lambda s: ("Имя%s\r\nФамилия%s\r\n" % (s, s)).encode("cp1251")),
    # A zero character is a character of its line in every encoding: nothing after it is dropped.
    ("en_US.UTF-8", "/", b"a,1\r\nb,2\0junk\r\nc,3\r\n",
     lambda s: ("a,1%s\r\nb,2\0junk%s\r\nc,3%s\r\n" % (s, s, s)).encode()),
    ("ja_JP.UTF-8", "/", b"\xff\xfe" + 'a,"1\r\n\0"\0\r\n日本'.encode("utf-16-le"),
     lambda s: ('a,"1\r\n\0"\0%s\r\n日本%s\r\n' % (s, s)).encode("cp932")),
    ("en_US.UTF-8", "/", b"\xef\xbb\xbf" + "é\0,\"x\0\n\"".encode("utf-8"),
     lambda s: ('é\0,"x\0\r\n"%s\r\n' % s).encode("cp1252")),
    # UTF-8 without a mark is read as ANSI (code page 1252 here): its bytes pass through unchanged.
    ("de_DE.UTF-8", ".", "ä".encode("utf-8"), lambda s: "ä".encode("utf-8") + s.encode() + b"\r\n"),
]


@pytest.mark.parametrize("locale,separator,data_bytes,expected", ENCODED_CASES,
                         ids=["sjis-quoted-break", "utf16le-bom", "utf16be-bom-de", "utf8-bom-nl", "ko-fallback",
                              "ru-cp1251", "nul-ansi", "nul-utf16le", "nul-utf8", "utf8-without-bom"])
def test_encodings_and_date_separators(harness, setup, locale, separator, data_bytes, expected):
    program, data = setup
    (data / "in.csv").write_bytes(data_bytes)
    before = stamp(separator)
    run = harness.run(program, [win_path(data / "in.csv")], locale=locale, trace=False)
    assert run.exit_code == 0
    assert run.answered == []
    assert run.files()["in.csv"] in (expected(before), expected(stamp(separator)))


# Failures. Each is reported in one message box with the failure's text; nothing is lost.


def test_input_held_open_for_writing_elsewhere_fails_with_the_open_message(harness, setup):
    program, data = setup
    source = data / "held.csv"
    source.write_bytes(b"a")
    run = harness.run(program, [win_path(source)], locale="ja_JP.UTF-8",
                      hold=(source, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE))
    assert run.exit_code == 0
    assert len(run.boxes) == 1
    assert run.boxes[0].text == shown("ファイル %s は開けません。 %s " % (win_path(source), SYSTEM_TEXTS[32]))
    assert run.files() == {}


@pytest.mark.parametrize("kind", ["read-only", "hidden", "held open elsewhere"])
def test_destination_that_cannot_be_replaced_fails_with_the_create_message_and_keeps_its_content(
        harness, setup, kind):
    program, data = setup
    name = ".dot.csv" if kind == "hidden" else "in.csv"  # Wine shows dot files as hidden
    (data / name).write_bytes(b"new")
    destination = program.parent / name
    destination.write_bytes(b"old")
    hold = None
    if kind == "read-only":
        destination.chmod(0o444)
    if kind == "held open elsewhere":
        hold = (destination, GENERIC_READ, 0)
    run = harness.run(program, [win_path(data / name)], locale="ja_JP.UTF-8", hold=hold)
    assert run.exit_code == 0
    assert len(run.boxes) == 1
    code = 32 if kind == "held open elsewhere" else 5
    assert run.boxes[0].text == shown('ファイル "%s" を作成できません。%s' % (win_path(destination), SYSTEM_TEXTS[code]))
    assert destination.read_bytes() == b"old"
    assert sorted(run.files()) == [name]


def test_unwritable_program_folder_fails_with_the_create_message(harness, work):
    (work / "in.csv").write_bytes(b"a")
    with program_on_tmpfs(harness, work / "ro", "4m", read_only=True) as program:
        run = harness.run(program, [win_path(work / "in.csv")], locale="ja_JP.UTF-8", cwd=work)
        assert run.exit_code == 0
        assert len(run.boxes) == 1
        prefix = 'ファイル "%s" を作成できません。' % win_path(program.parent / "in.csv")
        assert run.boxes[0].text.startswith(prefix) and len(run.boxes[0].text) > len(prefix), run.boxes[0].text
        assert sorted(p.name for p in program.parent.iterdir()) == ["zarn.exe"]


def test_full_disk_fails_with_the_write_message_and_keeps_the_destination(harness, work):
    (work / "big.csv").write_bytes(b"0123456789\n" * 200000)  # 2.2 MB, more than is free
    with program_on_tmpfs(harness, work / "full", "1200k", files={"big.csv": b"old content"}) as program:
        run = harness.run(program, [win_path(work / "big.csv")], locale="ja_JP.UTF-8", cwd=work)
        assert run.exit_code == 0
        assert [b.text for b in run.boxes] == [shown("ストリームへの書き込みエラー")]
        assert (program.parent / "big.csv").read_bytes() == b"old content"
        assert sorted(p.name for p in program.parent.iterdir()) == ["big.csv", "zarn.exe"], "temporary file removed"


# The disk fills in an output's last piece, for outputs of one, two, three and five pieces of 1 MiB:
# the last pieces are written behind, so only putting the output in place can see that they
# failed. Each run shows the write message and keeps the old file, and leaves no temporary file.
@pytest.mark.parametrize("pieces", [1, 2, 3, 5])
def test_full_disk_in_the_last_piece_keeps_the_destination(harness, work, pieces):
    line = b"0123456789\n"
    output_line = len(b"0123456789" + stamp().encode() + b"\r\n")
    lines = int((pieces - 0.25) * 2 ** 20) // output_line
    (work / "big.csv").write_bytes(line * lines)
    program_kib = (harness.zarn_exe.stat().st_size + 4095) // 4096 * 4
    free_kib = (lines * output_line - 250 * 1024) // 1024  # the disk is full 250 KiB before the end
    assert (pieces - 1) * 1024 < free_kib < pieces * 1024
    size = "%dk" % (program_kib + 4 + free_kib)
    with program_on_tmpfs(harness, work / "full", size, files={"big.csv": b"old content"}) as program:
        run = harness.run(program, [win_path(work / "big.csv")], locale="ja_JP.UTF-8", cwd=work, trace=False)
        assert run.exit_code == 0
        assert run.answered == [shown("ストリームへの書き込みエラー")]
        assert (program.parent / "big.csv").read_bytes() == b"old content"
        assert sorted(p.name for p in program.parent.iterdir()) == ["big.csv", "zarn.exe"], "temporary file removed"


def test_malformed_utf8_after_its_mark_fails_and_writes_nothing(harness, setup):
    program, data = setup
    (data / "bad.csv").write_bytes(b"\xef\xbb\xbfgood\r\nbad \xff\r\n")
    (program.parent / "bad.csv").write_bytes(b"old")
    run = harness.run(program, [win_path(data / "bad.csv")], locale="ja_JP.UTF-8")
    assert [b.text for b in run.boxes] == [shown("ファイル %s は正しい UTF-8 ではありません" % win_path(data / "bad.csv"))]
    assert run.files() == {"bad.csv": b"old"}


def test_program_is_a_gui_program_importing_only_system_libraries(harness):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(harness.zarn_exe)],
                          capture_output=True, text=True, check=True).stdout
    assert "Subsystem\t\t00000002\t(Windows GUI)" in dump
    dlls = {line.split("DLL Name:")[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}
    assert dlls and dlls <= {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll",
                             "shell32.dll", "comctl32.dll", "ole32.dll"}, dlls


def test_file_over_two_gibibytes_is_stamped_whole(harness, setup):
    """No 32-bit size, count or offset on the way: a 2.1 GiB file comes out whole."""
    program, data = setup
    # A block of records ending at a record end, one of them with a quoted line break.
    block = b"".join(b'%07d,"name %d",value\r\n' % (i, i) for i in range(30000)) + b'x,"a\r\nb"\r\n'
    tail = b"last,record"
    repeats = (2 * 1024 ** 3 + 100 * 1024 ** 2) // len(block)
    with open(data / "big.csv", "wb") as f:
        for _ in range(repeats):
            f.write(block)
        f.write(tail)
    try:
        def expected_for(s):
            s = s.encode()
            stamped = block.replace(b"\r\n", s + b"\r\n").replace(b'"a' + s + b"\r\n", b'"a\r\n')
            digest = hashlib.sha256()
            for _ in range(repeats):
                digest.update(stamped)
            digest.update(tail + s + b"\r\n")
            return digest.hexdigest(), len(stamped) * repeats + len(tail) + len(s) + 2

        before = stamp()
        run = harness.run(program, [win_path(data / "big.csv")], trace=False)
        assert run.exit_code == 0
        output = program.parent / "big.csv"
        digest = hashlib.sha256()
        with open(output, "rb") as f:
            while chunk := f.read(1 << 24):
                digest.update(chunk)
        assert (digest.hexdigest(), output.stat().st_size) in (expected_for(before), expected_for(stamp()))
    finally:
        (data / "big.csv").unlink(missing_ok=True)
        (program.parent / "big.csv").unlink(missing_ok=True)


# Paths as Windows users give them.


def test_input_past_max_path_is_opened_in_the_long_form(harness, setup, work):
    """An input whose full path has 300 characters: on a Windows whose long-path policy is off,
    only the long form reaches it, so that is what the program hands to the system."""
    program, data = setup
    folder = data
    while len(win_path(folder)) < 290:
        folder = folder / ("d" * 60)
    folder.mkdir(parents=True)
    source = folder / "deep.csv"
    source.write_bytes(b"a,b\n")
    assert len(win_path(source)) >= 300
    run = harness.run(program, [win_path(source)])
    assert run.exit_code == 0
    assert run.boxes == []
    assert run.files() == {"deep.csv": b"a,b" + stamp().encode() + b"\r\n"}
    long_form = 'L"\\\\\\\\?\\\\' + win_path(data).replace("\\", "\\\\")
    assert any(long_form in c for c in run.called("GetFileAttributesW")), run.called("GetFileAttributesW")
    assert any(long_form in c for c in run.called("CreateFileW")), run.called("CreateFileW")


def test_names_that_differ_only_in_case_are_files_of_their_own(harness, setup):
    """A case-sensitive folder (as Linux tools make them on Windows, and as Wine's drive on a
    Linux folder is) holds data.csv and DATA.csv: stamping DATA.csv in place leaves data.csv alone."""
    program, data = setup
    folder = program.parent
    (folder / "data.csv").write_bytes(b"lower\r\n")
    (folder / "DATA.csv").write_bytes(b"upper\r\n")
    run = harness.run(program, [win_path(folder / "DATA.csv")], locale="ja_JP.UTF-8")
    assert run.exit_code == 0
    assert run.boxes == []
    assert run.files() == {"data.csv": b"lower\r\n", "DATA.csv": b"upper" + stamp().encode() + b"\r\n"}


def test_input_on_a_share_is_stamped_into_the_program_folder(harness, setup, work):
    """\\\\srv\\share\\in.csv, served by Wine from dosdevices/unc/srv/share."""
    program, data = setup
    shared = work / "shared"
    shared.mkdir()
    (shared / "in.csv").write_bytes(b'x,"1\n2"\n')
    server = harness.prefix / "dosdevices" / "unc" / "srv"
    server.mkdir(parents=True, exist_ok=True)
    link = server / "share"
    if link.is_symlink():
        link.unlink()
    link.symlink_to(shared)
    try:
        run = harness.run(program, [r"\\srv\share\in.csv"])
        assert run.exit_code == 0
        assert run.boxes == []
        s = stamp().encode()
        assert run.files() == {"in.csv": b'x,"1\r\n2"' + s + b"\r\n"}
        assert (shared / "in.csv").read_bytes() == b'x,"1\n2"\n'
    finally:
        link.unlink()


def test_temporary_past_max_path_is_made_in_the_long_form(harness, work):
    """The output's path stays below 260 characters but its temporary's, about 40 longer, does not:
    the temporary is made, swept for and renamed in the long form."""
    folder = work
    while len(win_path(folder)) < 200:
        folder = folder / ("p" * 40)
    folder = folder / ("q" * (240 - len(win_path(folder)) - len("\\in.csv") - 1))
    folder.mkdir(parents=True)
    program = folder / "zarn.exe"
    program.write_bytes(harness.zarn_exe.read_bytes())
    (work / "in.csv").write_bytes(b"a\n")  # a new output: its path is handed on as it is
    assert len(win_path(folder / "in.csv")) < 260 <= len(win_path(folder / "in.csv")) + 40
    run = harness.run(program, [win_path(work / "in.csv")], cwd=work)
    assert run.exit_code == 0
    assert run.boxes == []
    assert (folder / "in.csv").read_bytes() == b"a" + stamp().encode() + b"\r\n"
    assert [p.name for p in folder.iterdir() if p.name.startswith("~zarn")] == []
    long_form = 'L"\\\\\\\\?\\\\' + win_path(folder).replace("\\", "\\\\")
    assert any(long_form in c and "~zarn" in c for c in run.called("CreateFileW")), run.called("CreateFileW")
