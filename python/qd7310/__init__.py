"""Drive the QD7310 evaluation board from Python.

A :class:`Session` runs ``qd7310-ctl session``, which keeps one link to the board open and
answers each request with one JSON reply once the board has finished it. Each command of
``qd7310-ctl`` is a method (``spi-read`` is :meth:`Session.spi_read`); positional arguments are
the command's arguments, keyword arguments its settings, which last like slider positions.
A method returns the reply as a dict, and raises :class:`BoardNotFound` (exit 1),
:class:`BoardFailed` (exit 2) or :class:`UsageError` (exit 64) when the request failed, and
:class:`Timeout` or :class:`ProgramEnded` when the session ended; every error is an
:class:`Error`. Closing the session sends nothing to the board: the chip keeps its state, as
when the window is closed.

The current sweep, on the simulated board::

    import qd7310

    with qd7310.Session(simulated=True) as s:
        s.prepare()
        s.train(1, on1=3, off1=3)
        for current in range(8):
            print(s.change_current(current=current)["current"])
            s.run_once(1)
            s.wait(500)
            s.run_once(1, "off")
        print(s.spi_read(3)["value"])

``qd7310-ctl`` is found as ``program=``, else ``$QD7310_CTL``, else on ``PATH``, else where
the tool's package installed it. Standard library only; Python 3.9 or later.
"""

from ._errors import BoardFailed, BoardNotFound, Error, ProgramEnded, Reply, Timeout, UsageError
from ._session import Session, list_boards

try:
    from ._version import __version__
except ImportError:  # the source tree, neither built nor installed
    __version__ = "0+unknown"

__all__ = [
    "BoardFailed",
    "BoardNotFound",
    "Error",
    "ProgramEnded",
    "Reply",
    "Session",
    "Timeout",
    "UsageError",
    "__version__",
    "list_boards",
]

# help() and tracebacks name them as users import them.
for _public in (BoardFailed, BoardNotFound, Error, ProgramEnded, Session, Timeout, UsageError,
                list_boards):
    _public.__module__ = __name__
del _public
