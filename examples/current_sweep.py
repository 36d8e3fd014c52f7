#!/usr/bin/env python3
"""The current sweep: one single pulse, then each of the eight LED currents in turn, running the
chip once at each, leaving half a second for the scope and releasing Run Once 1 before the next
current, as the window needs. Each answer is read before the next command goes; one CSV row per
current.

    python3 examples/current_sweep.py [--simulated] [--board LOCATION] FILE.csv

It exits as qd7310-ctl would: 1 when the board is not found, 2 when it failed, 64 for bad usage,
and 73 when the CSV file cannot be written.
"""
from __future__ import annotations

import argparse
import csv
import sys
import time
from pathlib import Path
from typing import Any, NoReturn

try:
    import qd7310
except ImportError:  # run from the source tree
    sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "python"))
    import qd7310

EXIT_USAGE = 64
EXIT_CANNOT_CREATE = 73

COLUMNS = ["current", "label", "change_current_sent", "run_once_sent", "released_sent",
           "seconds"]


def sweep(session: qd7310.Session, rows: Any, settle_ms: int = 500) -> None:
    """Runs the sweep on an open session; ``rows`` is a csv.writer."""
    rows.writerow(COLUMNS)
    session.prepare()
    session.train(1, on1=3, off1=3)
    start = time.monotonic()
    for current in range(8):
        change = session.change_current(current=current)
        once = session.run_once(1)
        session.wait(settle_ms)
        released = session.run_once(1, "off")
        rows.writerow([current, change["current"], change["sent"], once["sent"],
                       released["sent"], "%.3f" % (time.monotonic() - start)])


class Parser(argparse.ArgumentParser):
    """Bad usage exits 64, as with qd7310-ctl."""

    def error(self, message: str) -> NoReturn:
        self.print_usage(sys.stderr)
        self.exit(EXIT_USAGE, "%s: error: %s\n" % (self.prog, message))


def exit_code(error: Exception) -> int:
    """The exit status for a failure: qd7310-ctl's own where it gave one, else 2 (failed), or
    73 when a file could not be written."""
    if isinstance(error, qd7310.Error):
        return error.exit_code if error.exit_code in (1, 2, EXIT_USAGE) else 2
    return EXIT_CANNOT_CREATE if isinstance(error, OSError) else 2


def main() -> int:
    parser = Parser(description=__doc__.splitlines()[0])
    parser.add_argument("--simulated", action="store_true", help="use the simulated board")
    parser.add_argument("--board", metavar="LOCATION", help="the board at LOCATION only")
    parser.add_argument("csv", metavar="FILE.csv", help="where the results go")
    args = parser.parse_args()
    try:
        with qd7310.Session(args.board, simulated=args.simulated) as session, \
                open(args.csv, "w", newline="") as out:
            sweep(session, csv.writer(out))
    except (qd7310.Error, OSError) as e:
        print("current_sweep: %s" % e, file=sys.stderr)
        return exit_code(e)
    return 0


if __name__ == "__main__":
    sys.exit(main())
