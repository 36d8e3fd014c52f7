from __future__ import annotations

from typing import Any, Dict, Optional

Reply = Dict[str, Any]


class Error(Exception):
    """A request failed, or qd7310-ctl ended, timed out or did not speak the protocol.

    ``reply`` is the failed request's reply (with ``error`` and ``exit``), or an empty dict
    when there was no reply. ``request`` is the request line, when there was one.
    """

    def __init__(self, message: str, reply: Optional[Reply] = None,
                 request: Optional[str] = None) -> None:
        super().__init__(message)
        self.reply: Reply = reply if reply is not None else {}
        self.request = request


class BoardNotFound(Error):
    """No board was found, or it is present but cannot be opened (exit 1)."""


class BoardFailed(Error):
    """The board did not answer, refused, or did not take the command (exit 2)."""


class UsageError(Error):
    """Bad usage, or a command locked by the window's locks; nothing was sent (exit 64)."""


# The exception that a failed reply raises, by its exit code; any other code raises Error.
BY_EXIT_CODE = {1: BoardNotFound, 2: BoardFailed, 64: UsageError}
