#!/usr/bin/env python3
"""The current sweep on two boards side by side: one session per board, each in a thread of its
own, each board's results in sweep-LOCATION.csv in the current folder.

    python3 examples/two_boards.py [--simulated] LOCATION LOCATION

`qd7310-ctl list` names the locations. With --simulated each location stands for a simulated
board of its own, and only names the file.
"""
from __future__ import annotations

import argparse
import csv
import sys
import threading
from pathlib import Path
from typing import Dict

from current_sweep import sweep  # beside this file

try:
    import qd7310
except ImportError:  # run from the source tree
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))
    import qd7310


def sweep_board(location: str, simulated: bool, errors: Dict[str, qd7310.Error]) -> None:
    try:
        # A simulated board is reached without --board: each session has one of its own.
        board = None if simulated else location
        with qd7310.Session(board, simulated=simulated) as session, \
                open("sweep-%s.csv" % location, "w", newline="") as out:
            sweep(session, csv.writer(out))
    except qd7310.Error as e:
        errors[location] = e


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--simulated", action="store_true", help="use simulated boards")
    parser.add_argument("locations", nargs=2, metavar="LOCATION")
    args = parser.parse_args()
    if args.locations[0] == args.locations[1]:
        parser.error("give two different locations")

    errors: Dict[str, qd7310.Error] = {}
    threads = [threading.Thread(target=sweep_board, args=(location, args.simulated, errors))
               for location in args.locations]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for location, error in sorted(errors.items()):
        print("two_boards: %s: %s" % (location, error), file=sys.stderr)
    return max((int(e.reply.get("exit", 1)) for e in errors.values()), default=0)


if __name__ == "__main__":
    sys.exit(main())
