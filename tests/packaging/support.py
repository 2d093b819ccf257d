"""What the packaging tests share: a private X server, waiting with a
deadline, reading the X properties of a window, checking PNG files. What
they share with the tools and the bench is in tools/testsupport.py."""

import contextlib
import struct
import subprocess
import sys
import time
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import testsupport  # noqa: E402


def wait_for(what, probe, timeout):
    """Calls probe() until it returns something true; fails at the deadline."""
    deadline = time.monotonic() + timeout
    delay = 0.05
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(delay)
        delay = min(delay * 2, 0.5)


@contextlib.contextmanager
def private_x_server(timeout=30):
    """Xvfb on a display it picks itself; yields the DISPLAY value."""
    with testsupport.XServer(timeout=timeout) as server:
        yield server.display


def x_windows_with_class(display, wm_class):
    """Mapped windows whose WM_CLASS is exactly wm_class (a tuple)."""
    found = []
    tree = subprocess.run(["xwininfo", "-root", "-tree", "-display", display],
                          capture_output=True, text=True, timeout=30).stdout
    for line in tree.splitlines():
        parts = line.split()
        if not parts or not parts[0].startswith("0x"):
            continue
        if wm_class_of(display, parts[0]) == wm_class and \
                map_state_of(display, parts[0]) == "IsViewable":
            found.append(parts[0])
    return found


def wm_class_of(display, window):
    out = subprocess.run(["xprop", "-display", display, "-id", window,
                          "WM_CLASS"], capture_output=True, text=True,
                         timeout=30).stdout
    if "=" not in out:
        return None
    return tuple(part.strip().strip('"')
                 for part in out.split("=", 1)[1].split(","))


def map_state_of(display, window):
    out = subprocess.run(["xwininfo", "-display", display, "-id", window],
                         capture_output=True, text=True, timeout=30).stdout
    for line in out.splitlines():
        if "Map State:" in line:
            return line.split(":", 1)[1].strip()
    return None


def icon_sizes_of(display, window):
    """The sizes in the window's _NET_WM_ICON, checked to be well formed."""
    out = subprocess.run(
        ["xprop", "-display", display, "-id", window, "-notype",
         "-len", "100000000", "-f", "_NET_WM_ICON", "32c", " = $0+\n",
         "_NET_WM_ICON"], capture_output=True, text=True, timeout=30).stdout
    if "=" not in out:
        return []
    values = [int(v) for v in out.split("=", 1)[1].split(",")]
    sizes = []
    at = 0
    while at < len(values):
        width, height = values[at], values[at + 1]
        assert width > 0 and height > 0 and at + 2 + width * height <= len(values), \
            f"malformed _NET_WM_ICON at value {at}"
        sizes.append((width, height))
        at += 2 + width * height
    return sizes


def png_size(path):
    """(width, height) of a well-formed PNG; raises on a damaged one."""
    data = open(path, "rb").read()
    assert data.startswith(b"\x89PNG\r\n\x1a\n"), f"{path}: not a PNG"
    at = 8
    idat = b""
    size = None
    kinds = []
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        payload = data[at + 8:at + 8 + length]
        crc, = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert zlib.crc32(kind + payload) == crc, f"{path}: bad CRC in {kind}"
        kinds.append(kind)
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", payload[:10])
            size = (width, height)
            channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
        elif kind == b"IDAT":
            idat += payload
        at += 12 + length
    assert kinds[0] == b"IHDR" and kinds[-1] == b"IEND", f"{path}: chunk order"
    raw = zlib.decompress(idat)
    row = 1 + size[0] * channels * depth // 8
    assert len(raw) == row * size[1], f"{path}: pixel data of the wrong size"
    return size
