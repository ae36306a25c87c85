#!/usr/bin/env python3
"""Times each change on screen against the updates a VNC client received.

    update_latency.py CONTENT RFB

CONTENT is zkcontent's output ("change N at=T box=L,T,R,B" lines, the box in
the shared area's pixels, right and bottom exclusive); RFB is the byte
counter's output ("update at=T rects=X,Y,W,H;..." lines). Both times are
wall-clock Unix seconds on the same machine. The server sends only the
pixels that changed, which seldom fill the box around them; so a change's
latency is the time from the change to the last update before the next
change that carries part of its box: the update that completes it (the
content stays still between changes). Prints the figures in the form
zkcontent prints its own viewer's latency.
"""
import sys


def values_of(path, keyword, count):
    """The values of the "name=value" words of each line that starts with
    `keyword` and has `count` words in all."""
    with open(path, errors="replace") as f:
        for line in f:
            words = line.split()
            if len(words) == count and words[0] == keyword:
                yield [word.split("=", 1)[1] for word in words[count - 2:]]


def numbers(text):
    return [int(v) for v in text.split(",")]


def read_changes(path):
    return [(float(at), numbers(box)) for at, box in values_of(path, "change", 4)]


def read_updates(path):
    return [(float(at), [numbers(r) for r in rects.split(";") if r])
            for at, rects in values_of(path, "update", 3)]


def intersects(rect, box):
    x, y, w, h = rect
    left, top, right, bottom = box
    return x < right and x + w > left and y < bottom and y + h > top


def completed_at(change, until, updates):
    """Arrival time of the last update before `until` that carries part of
    the change, or None when none does."""
    at, box = change
    touching = [arrived for arrived, rects in updates
                if at <= arrived < until and any(intersects(r, box) for r in rects)]
    return touching[-1] if touching else None


def main():
    changes, updates = read_changes(sys.argv[1]), read_updates(sys.argv[2])
    seconds, missed = [], 0
    for i, change in enumerate(changes):
        until = changes[i + 1][0] if i + 1 < len(changes) else float("inf")
        arrived = completed_at(change, until, updates)
        if arrived is None:
            missed += 1
        else:
            seconds.append(arrived - change[0])
    if not seconds:
        print("figures latency_changes_shown=0 changes_missed=%d" % missed)
        return 1
    seconds.sort()
    median = seconds[len(seconds) // 2]
    print("figures latency_median_ms=%.0f latency_min_ms=%.0f latency_max_ms=%.0f "
          "changes_shown=%d changes_missed=%d"
          % (median * 1000, seconds[0] * 1000, seconds[-1] * 1000, len(seconds), missed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
