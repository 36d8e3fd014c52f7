from __future__ import annotations

from typing import Any, Dict, Optional

Reply = Dict[str, Any]


class Error(Exception):
    """A request failed, or qd7310-ctl ended, timed out or did not speak the protocol.

    ``reply`` is the failed request's reply (with ``error`` and ``exit``), or an empty dict
    when there was no reply. ``request`` is the request line, when there was one.
    ``exit_code`` is the status that says what happened: the reply's ``exit`` (1, 2 or 64),
    for :class:`ProgramEnded` the program's own exit status, or None when there is none.
    ``status`` is the board's status when the board refused the command, else None.
    """

    def __init__(self, message: str, reply: Optional[Reply] = None,
                 request: Optional[str] = None, exit_code: Optional[int] = None) -> None:
        super().__init__(message)
        self.reply: Reply = reply if reply is not None else {}
        self.request = request
        code = self.reply.get("exit", exit_code)
        self.exit_code: Optional[int] = code if isinstance(code, int) else None
        status = self.reply.get("status")
        self.status: Optional[int] = status if isinstance(status, int) else None


class BoardNotFound(Error):
    """No board was found, or it is present but cannot be opened (exit 1)."""


class BoardFailed(Error):
    """The board did not answer, refused, or did not take the command (exit 2)."""


class UsageError(Error):
    """Bad usage, or a command locked by the window's locks; nothing was sent (exit 64)."""


class Timeout(Error):
    """qd7310-ctl gave no reply in time, so it was stopped; the session has ended."""


class ProgramEnded(Error):
    """qd7310-ctl could not be started, or it ended (or the session was closed) before the
    reply; the session has ended."""


# The exception that a failed reply raises, by its exit code; any other code raises Error.
BY_EXIT_CODE = {1: BoardNotFound, 2: BoardFailed, 64: UsageError}


def failure(reply: Reply, request: str) -> Error:
    """The exception for a reply that says the request failed."""
    code = reply.get("exit")
    error = BY_EXIT_CODE.get(code, Error) if isinstance(code, int) else Error
    return error(str(reply.get("error", "failed")), reply, request)
