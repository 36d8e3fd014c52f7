"""Request lines as the session reads them, and how long each may take."""
from __future__ import annotations

import os
import unicodedata
from typing import Dict, List, Optional, Sequence, Union

Word = Union[int, str]
PathLike = Union[str, "os.PathLike[str]"]

# Seconds a request may take besides any wait it asks for. The link gives up on a write after
# 1 s, so this leaves room for a search, a probe and several writes that time out.
DEFAULT_TIMEOUT = 10.0

# Requests that send many reports to the board get 1 s more for each, as each one may run into
# the link's write time-out: the preparation's 27, and the trains' and follow modes' register
# copies (a train of three pulses is the longest).
_REPORTS = {"prepare": 27, "train": 16, "follow": 6, "change-current": 4}

# Requests that never reach the board: ending the program in one of them harms nothing.
NO_BOARD = frozenset({"wait", "settings", "load-setup", "save-setup", "export"})


def check_text(text: str, what: str = "an argument") -> str:
    """``text`` unchanged; ValueError when it holds a control character (NUL, CR, LF, ...),
    which would cut a request line short, end it early or start another."""
    for c in text:
        if unicodedata.category(c) == "Cc" or c in "\u2028\u2029":
            raise ValueError("qd7310: %s holds the control character %r: %r" % (what, c, text))
    return text


def word(value: Word) -> str:
    text = check_text(str(value))
    # One request is one line of blank-separated words; anything else would smuggle in more.
    if not text or any(c.isspace() for c in text):
        raise ValueError("qd7310: an argument must be one word, not %r" % (value,))
    return text


def quoted_path(path: PathLike) -> str:
    """A FILE word: the absolute path (so a later chdir does not move it) in double quotes, in
    which \\" stands for a quote and \\\\ for a backslash."""
    text = check_text(os.path.abspath(os.fspath(path)), "a path")
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def request_line(command: str, args: Sequence[Word], settings: Dict[str, Word]) -> str:
    words = [word(command)] + [word(a) for a in args]
    for name, value in settings.items():
        words += ["--" + word(name), word(value)]
    return " ".join(words)


def positional(words: List[str]) -> List[str]:
    """The words of a request line that are not settings (--name VALUE or --name=VALUE)."""
    found: List[str] = []
    skip = False
    for w in words:
        if skip:
            skip = False
        elif w.startswith("--"):
            skip = "=" not in w
        else:
            found.append(w)
    return found


def _milliseconds(text: str) -> int:
    try:
        return int(text[2:], 16) if text.lower().startswith("0x") else int(text, 10)
    except ValueError:
        return 0  # the tool refuses it at once


def budget(words: List[str], timeout: Optional[float]) -> Optional[float]:
    """Seconds the request may take: ``timeout`` plus 1 s per report for those that send many,
    plus the milliseconds of a wait; None (no limit) when ``timeout`` is None."""
    if timeout is None:
        return None
    seconds = timeout + _REPORTS.get(words[0], 0)
    args = positional(words[1:])
    if words[0] == "wait" and args:
        seconds += max(_milliseconds(args[0]), 0) / 1000.0
    return seconds
