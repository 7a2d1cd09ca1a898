"""The real zarn.exe as a windowless desktop program on a real (Xvfb) display: no window ever
shows, and a failure is one message box that ends the program when dismissed."""

import subprocess
import time

import pytest

from harness import program_on_tmpfs, win_path

WS_VISIBLE = 0x10000000
SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED = 2, 3


def created_styles(run):
    """The style argument of every CreateWindowExW call the program made."""
    return [int(call.split("(", 1)[1].split(",")[3], 16) for call in run.called("CreateWindowExW")]


def running_processes(word):
    """Processes whose command line holds word, leaving out exited ones not yet reaped."""
    listing = subprocess.run(["ps", "-eo", "stat=,args="], capture_output=True, text=True).stdout
    return [line for line in listing.splitlines() if word in line and not line.lstrip().startswith("Z")]


def watch_windows(display, process, seen, owner):
    """Samples the visible windows of owner's process until the process ends."""
    while process.poll() is None:
        seen.update(display.visible_windows(owner))
        time.sleep(0.02)


@pytest.mark.parametrize("show", [None, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED], ids=["normal", "minimised", "maximised"])
@pytest.mark.parametrize("case", ["file", "no-argument", "missing-file"])
def test_no_window_ever_shows(harness, work, display, show, case):
    program = harness.program_folder(work)
    (work / "in.csv").write_bytes(b"a,b\r\n")
    args = {"file": [win_path(work / "in.csv")], "no-argument": [], "missing-file": [win_path(work / "none.csv")]}[case]
    seen = set()
    # Only zarn's own windows: Wine's desktop process may map one of its own as it starts.
    run = harness.run(program, args, display=display, show=show,
                      on_start=lambda process: watch_windows(display, process, seen, win_path(program)))
    assert run.exit_code == 0
    assert run.boxes == []
    assert seen == set(), "a window showed"
    assert run.called("ShowWindow") == []
    styles = created_styles(run)
    assert len(styles) == 2, "the application window and the main window"
    assert all(style & WS_VISIBLE == 0 for style in styles)
    if case == "file":
        assert set(run.files()) == {"in.csv"}


def test_failure_shows_one_box_titled_after_the_program_and_ends_on_ok(harness, work, display):
    """The program folder cannot be written: one box, caption from the program's file name,
    the create message with the full-stop rule, stop icon; OK ends the process with code 0."""
    (work / "in.csv").write_bytes(b"a")
    with program_on_tmpfs(harness, work / "ro", "4m", name="STAMP-TOOL.OLD.EXE", read_only=True) as program:
        found = {}

        def press_ok(process):
            found["window"] = display.find_window("Stamp-tool")
            if found["window"] is None:
                return
            found["visible"] = display.visible_windows()
            found["its own"] = display.visible_windows(win_path(program))
            time.sleep(0.5)
            found["still running"] = process.poll() is None  # the box waits for the user
            display.press_ok(found["window"])

        run = harness.run(program, [win_path(work / "in.csv")], locale="ja_JP.UTF-8", display=display,
                          on_start=press_ok, timeout=60)
        assert found.get("window"), "no message box titled Stamp-tool"
        assert found["still running"]
        assert found["visible"].count("Stamp-tool") == 1
        assert found["its own"] == ["Stamp-tool"], "the box is told apart as the program's own window"
        assert run.exit_code == 0
        assert len(run.boxes) == 1
        box = run.boxes[0]
        assert box.caption == "Stamp-tool"
        assert box.style == 0x10
        prefix = 'ファイル "%s" を作成できません。' % win_path(program.parent / "in.csv")
        assert box.text.startswith(prefix) and box.text.endswith(".") and box.text[-2] > ".", box.text
        assert running_processes("STAMP-TOOL") == [], "no process is left running"


@pytest.mark.parametrize("name,caption", [("MyTool.exe", "Mytool"), ("x", "x"), ("zarn.exe", "zarn")])
def test_caption_follows_the_program_file_name(harness, work, name, caption):
    program = harness.program_folder(work, name)
    (work / "in.csv").write_bytes(b"\xef\xbb\xbf\xff")  # malformed UTF-8: a failure to report
    run = harness.run(program, [win_path(work / "in.csv")], command_line='"%s" "%s"' % (
        win_path(program), win_path(work / "in.csv")))
    assert [b.caption for b in run.boxes] == [caption]
