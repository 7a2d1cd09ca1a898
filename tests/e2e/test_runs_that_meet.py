"""Runs of the real zarn.exe that meet one another, and programs that hold its files: many runs at
once into one folder, one input run many times at once, a program folder on a file system whose
clock is behind, a destination held for a moment or for long, a program folder renamed while a run
writes. Whatever meets, every run gives the complete stamped file or leaves everything as it was."""

import os
import time

import pytest

from harness import SYSTEM_TEXTS, shown, skewed_file_system, stamp, win_path

ROUNDS = 5


def temporaries(folder):
    return sorted(p.name for p in folder.iterdir() if p.name.startswith("~zarn"))


def content(i):
    """Input i: a few records, one with a quoted line break."""
    return b'id,name\r\n%d,"line\r\nbreak"\r\n%d,x\r\n' % (i, i)


def stamped(i, s):
    return content(i).replace(b"\r\n", s.encode() + b"\r\n").replace(b'"line' + s.encode(), b'"line')


def check_round(runs, destinations, expected_for, before):
    """Every run ended with code 0 and no box, every destination holds its new content."""
    assert [r.exit_code for r in runs] == [0] * len(runs), "a run failed or hung"
    assert [box for r in runs for box in r.answered] == [], "a run showed a box"
    for destination, expected in zip(destinations, expected_for):
        assert destination.read_bytes() in (expected(before), expected(stamp())), destination.name


def many_runs_into_old_outputs(harness, program, data, count):
    """count inputs stamped at once into a program folder that holds their old outputs, ROUNDS times."""
    folder = program.parent
    for i in range(count):
        (data / ("in%02d.csv" % i)).write_bytes(content(i))
    destinations = [folder / ("in%02d.csv" % i) for i in range(count)]
    for round_number in range(ROUNDS):
        for destination in destinations:
            destination.write_bytes(b"old output\r\n")
        before = stamp()
        runs = harness.run_many(program, [[win_path(data / d.name)] for d in destinations], cwd=data)
        check_round(runs, destinations, [lambda s, i=i: stamped(i, s) for i in range(count)], before)
        assert temporaries(folder) == [], "round %d" % round_number


def test_many_runs_at_once_into_a_folder_holding_their_old_outputs(harness, work):
    program = harness.program_folder(work)
    (work / "data").mkdir()
    many_runs_into_old_outputs(harness, program, work / "data", 24)


def test_one_input_run_many_times_at_once(harness, work):
    program = harness.program_folder(work)
    data = work / "data"
    data.mkdir()
    (data / "same.csv").write_bytes(content(7))
    destination = program.parent / "same.csv"
    for _ in range(ROUNDS):
        destination.write_bytes(b"old output\r\n")
        before = stamp()
        runs = harness.run_many(program, [[win_path(data / "same.csv")]] * 12, cwd=data)
        check_round(runs, [destination], [lambda s: stamped(7, s)], before)
        assert temporaries(program.parent) == []


def test_many_runs_at_once_on_a_share_whose_clock_is_behind(harness, work):
    with skewed_file_system(work, -30) as share:
        probe = share / "probe"
        probe.write_bytes(b"x")
        assert time.time() - probe.stat().st_mtime > 25, "the file system's times run behind"
        probe.unlink()
        program = harness.program_folder(share)
        (work / "data").mkdir()
        many_runs_into_old_outputs(harness, program, work / "data", 24)


# The output reaches the disk before it takes its name, whether it is new or replaces a file: the
# file system serves an fsync of the temporary file before the rename that puts it in place. So
# after a power cut the name holds the old content or the complete new one.
@pytest.mark.parametrize("existing", [False, True], ids=["new", "replacing"])
def test_the_output_reaches_the_disk_before_it_takes_the_name(harness, work, existing):
    log = work / "operations.log"
    with skewed_file_system(work, 0, log) as share:
        program = harness.program_folder(share)
        (work / "data").mkdir()
        source = work / "data" / "in.csv"
        source.write_bytes(content(3))
        if existing:
            (program.parent / "in.csv").write_bytes(b"old output\r\n")
        before = stamp()
        run = harness.run(program, [win_path(source)], trace=False)
        assert run.exit_code == 0
        assert run.answered == []
        assert (program.parent / "in.csv").read_bytes() in (stamped(3, before), stamped(3, stamp()))
        operations = log.read_text().splitlines()
        renames = [i for i, op in enumerate(operations) if op.startswith("rename /prog/~zarn") and op.endswith(" /prog/in.csv")]
        assert len(renames) == 1, operations
        temporary = operations[renames[0]].split()[1]
        assert "fsync " + temporary in operations[:renames[0]], operations


GENERIC_READ = 0x80000000


# A program that holds the destination for a moment (a scanner, an indexer, the preview) is waited
# for; one that holds it for long (open in a spreadsheet) gets the create message, and the old file
# stays as it was.
@pytest.mark.parametrize("hold_ms,succeeds", [(300, True), (10000, False)])
def test_destination_held_by_another_program(harness, work, hold_ms, succeeds):
    program = harness.program_folder(work)
    (work / "data").mkdir()
    source = work / "data" / "in.csv"
    source.write_bytes(content(1))
    destination = program.parent / "in.csv"
    destination.write_bytes(b"old output\r\n")
    before = stamp()
    run = harness.run(program, [win_path(source)], locale="ja_JP.UTF-8", trace=False,
                      hold=(destination, GENERIC_READ, 0, hold_ms))
    assert run.exit_code == 0
    if succeeds:
        assert run.answered == []
        assert destination.read_bytes() in (stamped(1, before), stamped(1, stamp()))
    else:
        assert run.answered == [shown('ファイル "%s" を作成できません。%s' % (win_path(destination), SYSTEM_TEXTS[32]))]
        assert destination.read_bytes() == b"old output\r\n"
    assert temporaries(program.parent) == []


def test_program_folder_renamed_while_a_run_writes(harness, work):
    """The folder is renamed part-way through a long run: one box, the old file as it was in the
    folder under its new name, and no temporary file left in it."""
    program = harness.program_folder(work)
    (work / "data").mkdir()
    source = work / "data" / "big.csv"
    block = b"".join(b'%07d,"name %d",value\r\n' % (i, i) for i in range(20000))
    with open(source, "wb") as f:
        for _ in range(150 * 1024 * 1024 // len(block)):
            f.write(block)
    (program.parent / "big.csv").write_bytes(b"old output\r\n")
    moved = work / "moved"

    def rename_soon(process):
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and not temporaries(program.parent):
            time.sleep(0.005)
        time.sleep(0.1)
        os.rename(program.parent, moved)

    try:
        run = harness.run(program, [win_path(source)], locale="ja_JP.UTF-8", trace=False, on_start=rename_soon)
        assert run.exit_code == 0
        assert len(run.answered) == 1 and run.answered[0].startswith('ファイル "%s" を作成できません。' % win_path(
            program.parent / "big.csv")), run.answered
        assert (moved / "big.csv").read_bytes() == b"old output\r\n"
        assert temporaries(moved) == []
    finally:
        source.unlink(missing_ok=True)
