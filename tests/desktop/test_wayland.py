"""The demo on a headless Weston with Qt's Wayland plugin: it comes up as a Wayland client, draws,
prepares the simulated board exactly as on X11, and ends with 0 when closed by File > Close.
   test_wayland.py QD7310-EVAL-DEMO"""
import os
import re
import sys
import unittest

import desktop


class Wayland(unittest.TestCase):
    def test_start(self):
        x11 = desktop.Demo(sys.argv[1], QT_QPA_PLATFORM="xcb")
        x11.find("label", "connected")
        x11.close()

        os.environ.pop("DISPLAY")
        wayland = desktop.Demo(sys.argv[1], QT_QPA_PLATFORM="wayland", WAYLAND_DEBUG="1")
        wayland.find("label", "connected")
        # The protocol log: the window is a Wayland toplevel, and a buffer reached its surface.
        log = wayland.log
        self.assertRegex(log(), r'xdg_toplevel@\d+\.set_title\("%s"\)' % re.escape(desktop.TITLE))
        desktop.wait_for("a drawn buffer", lambda: re.search(
            r"wl_surface@(\d+)\.attach\(wl_buffer@.*\n(.*\n)*?.*wl_surface@\1\.commit\(\)", log()))
        wayland.close()

        # The same preparation; a run left open longer has only repeated the 2-second probe.
        short, long = sorted((x11.log("trace").splitlines(), wayland.log("trace").splitlines()),
                             key=len)
        self.assertEqual(long[:len(short)], short)
        extra = long[len(short):]
        self.assertEqual(extra, extra[:5] * (len(extra) // 5))
        self.assertEqual(extra[:2], ["spi_read", "addr =  0000001e"][:len(extra)])


if __name__ == "__main__":
    desktop.run("Xvfb", "weston")
