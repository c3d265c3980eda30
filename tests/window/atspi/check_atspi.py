"""Reads Finderly's window through AT-SPI, as a screen reader does, and checks
what a screen reader user needs: a table named "Devices" with a row per
device, its cells named row by row as the window shows them, the address a
link whose action opens it; the status line as named text; the footer; and
a Rescan button whose action searches.

    check_atspi.py OBSERVED-LOG ROWS

OBSERVED-LOG is the standard output of the observed program
(tests/window/network/windowobserver.cpp), one JSON object per line.
Exits 0 when all holds, 1 with the reasons otherwise.
"""

import json
import sys
import time

import pyatspi

log_path, expected_rows = sys.argv[1], int(sys.argv[2])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def observed():
    with open(log_path, encoding="utf-8") as log:
        return [json.loads(line) for line in log if line.startswith("{")]


def wait_for(predicate, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = predicate()
        if result:
            return result
        time.sleep(0.2)
    return None


def descendants(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        if child.getRoleName() != "table":
            yield from descendants(child)


def find_frame():
    for app in pyatspi.Registry.getDesktop(0):
        for i in range(app.childCount if app else 0):
            frame = app.getChildAtIndex(i)
            if frame is not None and frame.name == "Finderly":
                return frame
    return None


def find(frame, role, name=None):
    for node in descendants(frame):
        if node.getRoleName() == role and (name is None or node.name == name):
            return node
    return None


def action(node, name):
    actions = node.queryAction()
    for i in range(actions.nActions):
        if actions.getName(i) == name:
            return lambda: actions.doAction(i)
    return None


frame = wait_for(find_frame)
if not frame:
    sys.exit("check_atspi: no frame 'Finderly' on the AT-SPI bus")
table = wait_for(lambda: find(frame, "table", "Devices"))
if not table:
    sys.exit("check_atspi: no table 'Devices'")
rows = wait_for(lambda: table.queryTable().nRows >= expected_rows and table.queryTable().nRows)
check(rows == expected_rows, f"the table has {rows} rows, not {expected_rows}")

# The cells row by row, as the window's rows came (it is not sorted).
shown = [line["row"] for line in observed() if "row" in line]
cells = [table.getChildAtIndex(i) for i in range(table.childCount)]
check([cell.name for cell in cells] == [text for row in shown for text in row],
      f"the cells {[cell.name for cell in cells]} are not the rows {shown}")
check(table.queryTable().getColumnDescription(1) == "Address", "column 1 is not 'Address'")
links = [cell for cell in cells if cell.getRoleName() == "link"]
check(len(links) == expected_rows, f"{len(links)} of {expected_rows} addresses are links")
if links and check(action(links[0], "Press"), "an address has no Press action"):
    action(links[0], "Press")()
    check(wait_for(lambda: any(line.get("opened") == links[0].name for line in observed()), 5),
          "the address's Press action opened nothing")

status = wait_for(lambda: find(frame, "label") if find(frame, "label") else None)
check(status and "devices on 2 networks" in status.name or "Searching" in (status.name if status else ""),
      f"no status line, or it says {status.name if status else None!r}")
check(find(frame, "link", "Finderly 1.0.0, https://www.morvessa.example/"), "no footer")

# AT-SPI 2.46 (Debian 12) calls the role "push button", 2.56 (Debian 13) "button".
rescan = find(frame, "push button", "Rescan") or find(frame, "button", "Rescan")
if check(rescan and action(rescan, "Press"), "no Rescan button with a Press action"):
    # The button is enabled 2.5 s after the window, which Qt 6.4 does not tell.
    shown = next(line["t"] for line in observed() if line.get("event") == "window")
    time.sleep(max(0, (shown + 3000) / 1000 - time.time()))
    action(rescan, "Press")()
    check(wait_for(lambda: any(line.get("event") == "cleared" for line in observed()), 5),
          "Rescan's Press action started no search")

for failure in failures:
    print("check_atspi:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
