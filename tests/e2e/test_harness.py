"""The harness's own rule for starting a run again: only a start that Wine failed before the program
ran is made again, and never one in which the program may have done work."""

import warnings

import pytest

from harness import START_FAILED, START_TRIES, Harness


@pytest.mark.parametrize("exit_code, out, attempt, again", [
    # The launcher could not start the program: started again while tries are left.
    (START_FAILED, b"start-failed=1359\r\n", 0, True),
    (START_FAILED, b"start-failed=1359\r\n", START_TRIES - 1, False),
    # Wine could not start the launcher itself: it printed nothing and ended with code 1.
    (1, b"", 0, True),
    (1, b"", START_TRIES - 1, False),
    # The program was started: whatever followed, it may have done work.
    (START_FAILED, b"pid=0104\r\n", 0, False),
    (1, b"pid=0104\r\n", 0, False),
    (0, b"pid=0104\r\nbox=text\r\n", 0, False),
    # An exit code that no failed start gives, or a launcher that said nothing of a failed start.
    (0, b"", 0, False),
    (200, b"", 0, False),
    (START_FAILED, b"", 0, False),
    (1, b"start-failed=2\r\n", 0, False),
    # Killed after the timeout.
    (None, b"", 0, False),
])
def test_only_a_start_that_wine_failed_is_made_again(exit_code, out, attempt, again):
    with warnings.catch_warnings(record=True) as said:
        warnings.simplefilter("always")
        assert Harness.start_failed(exit_code, out, attempt) == again
    # Every failed start is told in the test's output, also the last one, which is not made again.
    failed_start = (exit_code, out) in ((START_FAILED, b"start-failed=1359\r\n"), (1, b""))
    assert len(said) == (1 if failed_start else 0)
