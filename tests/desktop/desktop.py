"""The demo window on a private display, with a D-Bus session and an AT-SPI bus of its own, read
and driven through AT-SPI as a screen reader does. Exits 77 (a CTest skip) naming what is
missing."""
import atexit
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

SKIPPED = 77
TITLE = "QD7310 Evaluation Software (demo)"


def run(*servers):
    """Runs the calling script's tests in a D-Bus session of its own, on the display servers that
    servers name (each start sets its variables in the environment, so the AT-SPI bus sees them
    too), or exits 77 saying what is missing."""
    if os.environ.get("QD7310_DESKTOP_SESSION"):
        return unittest.main(module="__main__", argv=sys.argv[:1], verbosity=2)
    missing = [p for p in ("dbus-run-session",) + servers if not shutil.which(p)]
    if not importlib.util.find_spec("pyatspi"):
        missing.append("pyatspi (python3-pyatspi)")
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        missing.append("the AT-SPI bus (at-spi2-core)")
    if missing:
        print("skipped: missing " + ", ".join(missing))
        sys.exit(SKIPPED)
    started = []
    try:
        for server in servers:
            started.append(START[server]())
        os.environ["QD7310_DESKTOP_SESSION"] = "1"
        status = subprocess.call(["dbus-run-session", "--", sys.executable] + sys.argv)
    finally:
        for process in started:
            process.terminate()
            process.wait()
    sys.exit(status)


def start_xvfb():
    """A display of its own; returns the process, with DISPLAY set for what starts after."""
    with tempfile.TemporaryFile("w+") as number:
        # Without -noreset, the server resets whenever its last client leaves, and refuses the
        # next one for a moment.
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(number.fileno()), "-screen", "0",
                                 "1280x1024x24", "-nolisten", "tcp", "-noreset"],
                                pass_fds=(number.fileno(),), stderr=subprocess.DEVNULL)
        written = lambda: os.pread(number.fileno(), 64, 0)  # noqa: E731
        os.environ["DISPLAY"] = ":" + wait_for(
            "Xvfb", lambda: written().endswith(b"\n") and written()).decode().strip()
    return xvfb


def start_weston():
    """A headless Weston that draws with pixman on an output tall enough for the window, in a
    private runtime directory; sets WAYLAND_DISPLAY and XDG_RUNTIME_DIR for what starts after."""
    runtime = tempfile.mkdtemp(prefix="qd7310-wayland.")  # mode 0700, as Wayland wants
    atexit.register(shutil.rmtree, runtime, True)
    os.environ.update(XDG_RUNTIME_DIR=runtime, WAYLAND_DISPLAY="wayland-qd7310")
    weston = subprocess.Popen(["weston", "--backend=headless-backend.so", "--use-pixman",
                               "--width=1280", "--height=1024", "--socket=wayland-qd7310",
                               "--idle-time=0"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    wait_for("Weston", lambda: weston.poll() is not None
             or os.path.exists(os.path.join(runtime, "wayland-qd7310")))
    assert weston.poll() is None, "Weston did not start"
    return weston


START = {"Xvfb": start_xvfb, "weston": start_weston}


def wait_for(what, check, seconds=5):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if result := check():
            return result
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


class Demo:
    """qd7310-eval-demo with its trace in a file, found on the AT-SPI bus by its window."""

    def __init__(self, program, **env):
        import pyatspi
        self.pyatspi = pyatspi
        self.files = tempfile.TemporaryDirectory()
        with open(self._path("trace"), "w") as trace, open(self._path("log"), "w") as log:
            self.process = subprocess.Popen(
                [program], stdout=trace, stderr=log,
                env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **env))
        self.window = wait_for("the window on the AT-SPI bus", self._window)

    def _window(self):
        for app in self.pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == os.path.basename(self.process.args[0]):
                return next((w for w in app if w.name == TITLE), None)
        assert self.process.poll() is None, "the demo ended: " + self.log()

    def find(self, role, name=None):
        return wait_for("a %s named %r" % (role, name), lambda: self.pyatspi.findDescendant(
            self.window, lambda a: a.getRoleName() == role and name in (None, a.name)))

    def close(self):
        """File > Close through its menu item; the program must end with 0."""
        self.find("menu item", "Close").queryAction().doAction(0)
        status = self.process.wait(30)
        assert status == 0, "ended with %d: %s" % (status, self.log()[-3000:])

    def _path(self, name):
        return os.path.join(self.files.name, name)

    def log(self, name="log"):
        """The program's standard error, or with "trace" its output."""
        with open(self._path(name)) as f:
            return f.read()

    def __del__(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.files.cleanup()
