# SPDX-License-Identifier: MIT
"""The pace of a countdown as a front end drew it, for the end-to-end tests of
lintara-term and lintara alike: each records the title every time it changed,
with the wall-clock time, and the fake VPN tool's log gives the disconnect.

A title that counts down evenly stays one second on every value. A query's
answer drawn late in a second used to cut one value short and hold the next
for up to two, and the disconnect came almost a second after the deadline.
"""

# A value stays this long, give or take what a busy machine adds to a tick.
SHORTEST, LONGEST = 0.7, 1.3
# The disconnect starts this soon after the deadline at the latest.
LATEST_DISCONNECT = 0.5


def pace_problems(changes, disconnect_at, deadline_floor):
    """What went wrong, or "" when nothing did.

    changes: (time, seconds left, or None for any other title) at each change
    of the title, oldest first, from soon after the countdown began until
    after it ended. disconnect_at: when the tool's disconnect started.
    deadline_floor: a time the deadline cannot come before (the start of the
    query whose answer began the countdown, plus the countdown's length).
    """
    problems = []
    counting = [index for index, (_, left) in enumerate(changes) if left is not None]
    if not counting or counting[-1] + 1 >= len(changes):
        return "the countdown never ended in the titles recorded: %r" % changes
    values = [changes[index][1] for index in counting]
    if values != list(range(values[0], values[0] - len(values), -1)) or values[-1] != 1:
        problems.append("the title did not go down one by one to 1: %r" % values)
    # The first value was already showing when the recording began.
    for index in counting[1:]:
        shown = changes[index + 1][0] - changes[index][0]
        if not SHORTEST <= shown <= LONGEST:
            problems.append("%d s left showed for %.2f s" % (changes[index][1], shown))
    late = disconnect_at - deadline_floor
    if not 0 < late < LATEST_DISCONNECT:
        problems.append("the disconnect started %.3f s after the earliest possible deadline" % late)
    return "; ".join(problems)
