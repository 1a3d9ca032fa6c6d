"""What a person does at the screen: find windows, read them, press keys, click, take screenshots.

Windows are read through WindowText.exe (run in the scenario's prefix), since Wine draws its
message boxes itself; keys, clicks and screenshots go through the X display.
"""

import json
import os
import re
import subprocess
import time
from dataclasses import dataclass
from typing import Callable, List, Optional

from wine import WinePrefix


@dataclass
class Control:
    id: int
    cls: str
    text: str
    visible: bool
    rect: List[int]  # screen coordinates: left, top, right, bottom

    @property
    def center(self):
        return (self.rect[0] + self.rect[2]) // 2, (self.rect[1] + self.rect[3]) // 2


@dataclass
class Window:
    hwnd: int
    pid: int
    cls: str
    title: str
    visible: bool
    rect: List[int]
    controls: List[Control]

    def controls_of(self, cls: str) -> List[Control]:
        return [control for control in self.controls if control.cls.lower() == cls.lower()]

    def button(self, text: str) -> Optional[Control]:
        """The button whose caption, without its & accelerator mark, is text."""
        for control in self.controls_of("Button"):
            if control.text.replace("&", "") == text:
                return control
        return None

    @property
    def static_texts(self) -> List[str]:
        return [control.text for control in self.controls_of("Static") if control.text]

    @property
    def is_message_box(self) -> bool:
        """A dialog with text and buttons but no progress bars (the installer's dialog has four)."""
        return self.cls == "#32770" and not self.controls_of("msctls_progress32") and bool(self.static_texts)

    @property
    def message_text(self) -> str:
        return "\n".join(self.static_texts)


class DesktopError(AssertionError):
    pass


class Desktop:
    def __init__(self, prefix: WinePrefix, window_text_exe: str):
        self.prefix = prefix
        self.window_text_exe = window_text_exe

    @property
    def _x_env(self):
        return dict(os.environ, DISPLAY=self.prefix.display)

    # --- reading ------------------------------------------------------------------------------

    def windows(self, include_hidden: bool = False) -> List[Window]:
        """Top-level windows (visible ones unless include_hidden), each with all its controls."""
        args = [self.window_text_exe] + (["--all"] if include_hidden else [])
        result = self.prefix.run(args, timeout=60)
        if result.returncode != 0:
            raise DesktopError(f"WindowText.exe failed ({result.returncode}): {result.stderr}")
        windows = []
        for line in result.stdout.splitlines():
            if line.strip():
                data = json.loads(line)
                controls = [Control(c["id"], c["class"], c["text"], c["visible"], c["rect"]) for c in data["controls"]]
                windows.append(Window(data["hwnd"], data["pid"], data["class"], data["text"], data["visible"],
                                      data["rect"], controls))
        return windows

    def wait_for_window(self, condition: Callable[[Window], bool], timeout: float, what: str = "window",
                        poll: float = 0.3) -> Window:
        deadline = time.monotonic() + timeout
        while True:
            for window in self.windows():
                if condition(window):
                    return window
            if time.monotonic() >= deadline:
                titles = [(w.title, w.cls) for w in self.windows()]
                raise DesktopError(f"no {what} within {timeout} s; windows: {titles}")
            time.sleep(poll)

    def wait_for_title(self, title: str, timeout: float) -> str:
        """Waits for an X window with exactly this title; returns its X window id."""
        try:
            result = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", f"^{re.escape(title)}$"],
                                    env=self._x_env, capture_output=True, text=True, timeout=timeout, check=False)
        except subprocess.TimeoutExpired:
            raise DesktopError(f"no window titled {title!r} within {timeout} s") from None
        ids = result.stdout.split()
        if not ids:
            raise DesktopError(f"xdotool found no window titled {title!r}: {result.stderr}")
        return ids[0]

    # --- acting -------------------------------------------------------------------------------

    def click(self, x: int, y: int) -> None:
        # Windows screen coordinates are X root coordinates (no window manager).
        self._xdotool("mousemove", str(x), str(y), "click", "1")

    def click_button(self, window: Window, text: str) -> None:
        button = window.button(text)
        if button is None:
            raise DesktopError(f"no button {text!r} in {window.title!r}: {[c.text for c in window.controls]}")
        self.click(*button.center)

    def key(self, x_window_id: str, keysym: str) -> None:
        self._xdotool("key", "--window", x_window_id, keysym)

    def press_key(self, window: Window, keysym: str) -> None:
        """A key sent to this very window, even when others share its title (a message box
        has the title of the dialog that owns it)."""
        self.key(self.x_window_id(window), keysym)

    def x_window_id(self, window: Window) -> str:
        """The X window of a Windows window: same title and, with no window manager, same rectangle."""
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(window.title)}$"],
                                env=self._x_env, capture_output=True, text=True, timeout=30, check=False)
        for x_id in result.stdout.split():
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", x_id], env=self._x_env,
                                      capture_output=True, text=True, timeout=30, check=False).stdout
            values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
            left, top = int(values.get("X", -1)), int(values.get("Y", -1))
            width, height = int(values.get("WIDTH", -1)), int(values.get("HEIGHT", -1))
            if [left, top, left + width, top + height] == window.rect:
                return x_id
        raise DesktopError(f"no X window for {window.title!r} at {window.rect}")

    def screenshot(self, path: str) -> None:
        subprocess.run(["import", "-window", "root", path], env=self._x_env, capture_output=True, timeout=60,
                       check=True)

    def _xdotool(self, *args: str) -> None:
        result = subprocess.run(["xdotool", *args], env=self._x_env, capture_output=True, text=True, timeout=30,
                                check=False)
        if result.returncode != 0:
            raise DesktopError(f"xdotool {' '.join(args)} failed: {result.stderr}")
