#!/usr/bin/env python3
"""Every message the programs can show has its row in the manual's table of messages.

The ids are read from the sources (the names in src/common/MessageIds.h and the string table
in src/common/MessageTexts.cpp), so that a message added there and not to the manual fails
here. Rows for ids the sources no longer have fail too.

    check_manual_messages.py SOURCE_DIR
"""
import re
import sys
from pathlib import Path

# Entries of the string table that are not messages: button captions, labels, column titles,
# list entries, progress-line pieces and the CPU mode texts appended to a message.
NOT_MESSAGES = {
    *range(450, 454),  # program list column titles
    *range(470, 476),  # connection type names
    *range(480, 483),  # connection display labels
    503, 504, 505, 506, 507, 509, 510, 511, 512, 513,  # main window buttons and labels
    551, 552, 553,     # device memory window titles and its Download button
    691, 692,          # device memory windows: Upload and Close buttons
    695, 696,          # download item names
    697,               # main window: the History... button
    *range(570, 574),  # progress-line pieces of device memory transfers
    *range(580, 585),  # viewer column titles
    587,               # "Verify after restore" check box
    590, 591, 592,     # viewer buttons
    598,               # "Cancel"
    *range(644, 651),  # program kind names
    *range(667, 673),  # CPU mode texts appended to a message
    698,               # "ST Program", a program kind name
}
ENGLISH_OFFSET = 300


def fail(text):
    print("FAIL: " + text, file=sys.stderr)
    sys.exit(1)


def main():
    root = Path(sys.argv[1])
    ids_header = (root / "src/common/MessageIds.h").read_text(encoding="utf-8")
    texts = (root / "src/common/MessageTexts.cpp").read_text(encoding="utf-8")
    manual = (root / "docs/manual.html").read_text(encoding="utf-8")

    table = set()
    for number in re.findall(r"StringEntry\{\s*(\d+)", texts):
        n = int(number)
        table.add(n - ENGLISH_OFFSET if n >= 400 + ENGLISH_OFFSET else n)
    if not table:
        fail("no StringEntry found in MessageTexts.cpp")

    named = set()
    for name, number in re.findall(r"^\s*(\w+)\s*=\s*(\d+)\s*,", ids_header, re.M):
        # A base is added to a code; its messages are the table's entries above it.
        if not name.endswith("Base"):
            named.add(int(number))
    if not named:
        fail("no message ids found in MessageIds.h")

    stale = sorted(NOT_MESSAGES - table)
    if stale:
        fail("ids listed as not messages that the string table lacks: %s" % stale)

    start = manual.find('id="message-table"')
    if start < 0:
        fail("the manual has no table with id message-table")
    end = manual.find("</table>", start)
    rows = [int(n) for n in re.findall(r'<tr id="msg-(\d+)"', manual[start:end])]
    doubled = sorted({n for n in rows if rows.count(n) > 1})
    if doubled:
        fail("the manual's table has more than one row for %s" % doubled)

    messages = (table | named) - NOT_MESSAGES
    missing = sorted(messages - set(rows))
    unknown = sorted(set(rows) - messages)
    if missing:
        fail("messages without a row in the manual: %s" % missing)
    if unknown:
        fail("rows in the manual for ids that are no message: %s" % unknown)
    print("manual: %d messages, each with its row" % len(messages))


if __name__ == "__main__":
    main()
