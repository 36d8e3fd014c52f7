"""The window as a screen reader meets it on X11: each slider by its visible name with its value
text, read again after a keyboard move; Train 2 Pulses pressed through its action, then the
drawing's text alternative and the status bar read.
   test_atspi.py QD7310-EVAL-DEMO"""
import sys
import unittest

import desktop

# Each slider by its visible name: its text at start, a key, and its text after that key.
SLIDERS = [
    ("Calibration Pulse", "500 us", "Right", "600 us"),
    ("LED Current", "2.5 mA", "End", "20.0 mA"),
    ("Rise Time 1", "0 ms", "Right", "105.6 ms"),
    ("On Time 1", "13.2 ms", "Page_Up", "501.6 ms"),
    ("Fall Time 1", "0 ms", "Up", "105.6 ms"),
    ("Off Time 1", "26.4 ms", "End", "6019.2 ms"),
    ("Rise Time 2", "0 ms", "Page_Up", "1056 ms"),
    ("On Time 2", "13.2 ms", "Right", "26.4 ms"),
    ("Fall Time 2", "0 ms", "End", "1584 ms"),
    ("Off Time 2", "26.4 ms", "Up", "52.8 ms"),
    ("Rise Time 3", "0 ms", "Up", "105.6 ms"),
    ("On Time 3", "13.2 ms", "End", "3009.6 ms"),
    ("Fall Time 3", "0 ms", "Right", "105.6 ms"),
    ("Off Time 3", "26.4 ms", "Page_Up", "1003.2 ms"),
]
KEYSYMS = {"Right": 0xFF53, "Up": 0xFF52, "Page_Up": 0xFF55, "End": 0xFF57}


class ScreenReader(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.demo = desktop.Demo(sys.argv[1], QT_QPA_PLATFORM="xcb")
        cls.pyatspi = cls.demo.pyatspi
        # With no window manager, keys go to the window under the pointer.
        drawing = cls.demo.find("image", "Pulse train").queryComponent()
        x, y = drawing.getPosition(cls.pyatspi.DESKTOP_COORDS)
        cls.pyatspi.Registry.generateMouseEvent(x + 10, y + 10, cls.pyatspi.MOUSE_ABS)

    @classmethod
    def tearDownClass(cls):
        cls.demo.close()

    def test_sliders(self):
        for name, start, key, after in SLIDERS:
            with self.subTest(name):
                slider = self.demo.find("slider", name)
                self.assertEqual(slider.description, start)
                before = slider.queryValue().currentValue
                self.assertTrue(slider.queryComponent().grabFocus())
                self.pyatspi.Registry.generateKeyboardEvent(
                    KEYSYMS[key], None, self.pyatspi.KEY_SYM)
                desktop.wait_for(key, lambda: slider.queryValue().currentValue != before)
                self.assertEqual(slider.description, after)

    def test_drawing(self):
        drawing = self.demo.find("image", "Pulse train")
        self.assertEqual(drawing.description, "Nothing drawn yet")
        self.demo.find("push button", "Train 2 Pulses").queryAction().doAction(0)
        total = desktop.wait_for("a total", lambda: self.demo.find("status bar").name)
        self.assertRegex(total, r"^\d+ ms$")
        # The status bar's blank padding is not read out.
        self.assertNotIn("", [c.name.strip() for c in self.demo.find("status bar") if c.name])
        # Each pulse's times as its sliders' value texts read now.
        pulses = ["pulse %d: " % pulse + ", ".join(
            "%s %s" % (phase, self.demo.find("slider", "%s Time %d" % (phase, pulse)).description)
            for phase in ("Rise", "On", "Fall", "Off")) for pulse in (1, 2)]
        self.assertEqual(drawing.description.lower(),
                         "; ".join(["2 pulses, total " + total] + pulses).lower())


if __name__ == "__main__":
    desktop.run("Xvfb")
