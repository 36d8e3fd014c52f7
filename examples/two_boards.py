#!/usr/bin/env python3
"""The current sweep on two boards side by side: one session per board, each in a thread of its
own, each board's results in sweep-LOCATION.csv in the current folder.

    python3 examples/two_boards.py [--simulated] LOCATION LOCATION

`qd7310-ctl list` names the locations. With --simulated each location stands for a simulated
board of its own, and only names the file. A location's characters that a file name cannot
hold (a Windows device path's backslashes, say) are written as "_" in it. It exits non-zero
when either board's sweep failed, with the higher of the two statuses of current_sweep.py.
"""
from __future__ import annotations

import csv
import re
import sys
import threading
from pathlib import Path
from typing import Dict

from current_sweep import Parser, exit_code, sweep  # beside this file

try:
    import qd7310
except ImportError:  # run from the source tree
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))
    import qd7310


def file_name(location: str) -> str:
    """sweep-LOCATION.csv, with every character outside letters, digits, "." and "-" as "_"."""
    return "sweep-%s.csv" % re.sub(r"[^A-Za-z0-9.-]", "_", location)


def sweep_board(location: str, simulated: bool, errors: Dict[str, Exception]) -> None:
    try:
        # A simulated board is reached without --board: each session has one of its own.
        board = None if simulated else location
        with qd7310.Session(board, simulated=simulated) as session, \
                open(file_name(location), "w", newline="") as out:
            sweep(session, csv.writer(out))
    except Exception as e:  # noqa: BLE001 (reported by main, with the exit status it gives)
        errors[location] = e


def main() -> int:
    parser = Parser(description=__doc__.splitlines()[0])
    parser.add_argument("--simulated", action="store_true", help="use simulated boards")
    parser.add_argument("locations", nargs=2, metavar="LOCATION")
    args = parser.parse_args()
    if file_name(args.locations[0]) == file_name(args.locations[1]):
        parser.error("give two locations that make different file names")

    errors: Dict[str, Exception] = {}
    threads = [threading.Thread(target=sweep_board, args=(location, args.simulated, errors))
               for location in args.locations]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for location, error in sorted(errors.items()):
        print("two_boards: %s: %s" % (location, error), file=sys.stderr)
    return max((exit_code(e) for e in errors.values()), default=0)


if __name__ == "__main__":
    sys.exit(main())
