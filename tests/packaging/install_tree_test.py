#!/usr/bin/env python3
"""`cmake --install` into a staging directory whose path has spaces, twice
(the second over the first): every file where desktops and tools look for
it (the freedesktop.org layout), icons of their nominal sizes, a desktop entry
whose Icon and Exec resolve inside the tree, a manual page that renders
without a warning."""

import argparse
import configparser
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import support  # noqa: E402

APP_ID = "org.omenglobe.Omenglobe"
SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
PREFIX = "/opt/omen globe"  # spaces in the prefix and in DESTDIR


def expected_files():
    files = {"bin/omenglobe",
             f"share/applications/{APP_ID}.desktop",
             f"share/metainfo/{APP_ID}.metainfo.xml",
             f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
             "share/man/man6/omenglobe.6"}
    files |= {f"share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in SIZES}
    return files


def install(build_dir, destdir):
    subprocess.run(["cmake", "--install", str(build_dir), "--prefix", PREFIX],
                   env=dict(os.environ, DESTDIR=str(destdir)), check=True,
                   stdout=subprocess.DEVNULL, timeout=120)
    root = Path(str(destdir) + PREFIX)
    return root, {str(p.relative_to(root)) for p in root.rglob("*") if p.is_file()}


def check_desktop_entry(root):
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(root / "share" / "applications" / f"{APP_ID}.desktop")
    group = entry["Desktop Entry"]
    # Icon by name: the theme lookup finds it under share/icons/hicolor.
    icon = group["Icon"]
    assert "/" not in icon and list((root / "share" / "icons" / "hicolor")
                                    .glob(f"*/apps/{icon}.*")), f"Icon={icon}"
    # Exec by name: found on PATH, which holds the installed bin/.
    program = group["Exec"].split()[0]
    assert shutil.which(program, path=str(root / "bin")) == str(root / "bin" / program), \
        f"Exec={group['Exec']} is not the installed program"
    assert group["StartupWMClass"] == "Omenglobe", "the window's class is Omenglobe"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True, type=Path)
    parser.add_argument("--workdir", required=True, type=Path)
    args = parser.parse_args()
    args.workdir.mkdir(parents=True, exist_ok=True)
    destdir = Path(tempfile.mkdtemp(prefix="dest dir ", dir=args.workdir))
    try:
        root, first = install(args.build_dir, destdir)
        missing = expected_files() - first
        extra = first - expected_files()
        assert not missing and not extra, f"missing {missing}, unexpected {extra}"
        assert os.access(root / "bin" / "omenglobe", os.X_OK)

        for size in SIZES:
            path = root / f"share/icons/hicolor/{size}x{size}/apps/{APP_ID}.png"
            assert support.png_size(path) == (size, size), f"{path} is not {size} px"
        svg = ET.parse(root / f"share/icons/hicolor/scalable/apps/{APP_ID}.svg").getroot()
        assert svg.tag == "{http://www.w3.org/2000/svg}svg" and svg.get("viewBox"), \
            "the scalable icon is not an SVG with a view box"
        check_desktop_entry(root)

        plain_env = {k: v for k, v in os.environ.items() if k != "MAN_KEEP_FORMATTING"}
        man = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l",
                              str(root / "share/man/man6/omenglobe.6")],
                             capture_output=True, text=True, timeout=60,
                             env=dict(plain_env, MANWIDTH="80"))
        assert man.returncode == 0 and not man.stderr.strip(), f"man: {man.stderr}"
        assert "EXIT STATUS" in man.stdout and "XDG_RUNTIME_DIR" in man.stdout

        # Again over the first: the same tree, the program replaced in place.
        (root / "bin" / "omenglobe").write_bytes(b"an older program")
        _, second = install(args.build_dir, destdir)
        assert second == first, "a second install changed the file list"
        built = (args.build_dir / "omenglobe").read_bytes()
        assert (root / "bin" / "omenglobe").read_bytes() == built, \
            "installing again did not replace the program"
    finally:
        shutil.rmtree(destdir, ignore_errors=True)
    print("installed tree: files, icons, desktop entry, manual page, reinstall: ok")


if __name__ == "__main__":
    main()
