#!/usr/bin/python3
"""The published site for its visitors: accessibility, phones and desktops, in every look.

Publishes one sample library with the real helper once for the default look and once for each
look the settings window ships (its ViewSettings presets), serves them all with a private nginx on
127.0.0.1, and hands them to site_audit.mjs, which audits every page with axe-core in Debian's
Chromium, at a phone's and a desktop's width. Screenshots of the default look are left in the
folder given by --screenshots.

    /usr/bin/python3 tests/browser/site_for_visitors.py \\
        --helper BUILD/.../LumibayHelper --sample-tool BUILD/tools/tessaly-sample-library \\
        --presets pane/presets/ViewSettings --screenshots BUILD/site-screenshots

It needs node with the packages of tests/browser/package.json installed (scripts/install-deps.sh
runs npm ci there), nginx, chromium and dbus-run-session, and fails when one is missing.
"""

import argparse
import contextlib
import plistlib
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import site_in_browser as site  # noqa: E402  (the same helper, library and server handling)

AUDIT = HERE / "site_audit.mjs"
AUDIT_TIMEOUT = 600


def look_settings(preset):
    """The settings file entries of a shipped look: its integers, and its colours as text."""
    with open(preset, "rb") as preset_file:
        look = plistlib.load(preset_file)
    return {key: value.hex().upper() if isinstance(value, bytes) else value
            for key, value in look.items()}


def write_settings(home, look):
    preferences = home / "Library" / "Preferences"
    preferences.mkdir(parents=True, exist_ok=True)
    with open(preferences / "Tessaly.plist", "wb") as settings:
        plistlib.dump({"Active_Flag_Key": True, "Check_Interval_Key": 0.0, **look}, settings)


def published_albums(home):
    index_path = home / "Sites" / site.LIBRARY_FOLDER / "AlbumData.xml"
    with open(index_path, "rb") as index_file:
        index = plistlib.load(index_file)
    return sum(1 for position, album in enumerate(index["List of Albums"])
               if position >= 3 and album.get("Album Type") == "Regular")


def slug(name):
    return re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-")


def publish_looks(args, home, work):
    """Publishes the library in every look; answers (look name, folder under Sites) pairs."""
    looks = [("default", {})] + [(preset.stem, look_settings(preset))
                                 for preset in sorted(args.presets.glob("*.plist"))]
    site.check(len(looks) > 1, f"no shipped look in {args.presets}")
    album_count = published_albums(home)
    sites = home / "Sites"
    published = []
    for number, (name, look) in enumerate(looks):
        write_settings(home, look)
        shutil.rmtree(sites / site.SITE_FOLDER, ignore_errors=True)
        run = work / f"publish-{number}"
        run.mkdir()
        built = site.publish_site(args.helper, home, album_count, run)
        # A sibling of the library, so the pages' relative links still reach its pictures.
        folder = slug(name)
        shutil.copytree(built, sites / folder, symlinks=True)
        published.append((name, folder))
    return published


def run(args):
    missing = [tool for tool in ("node", "dbus-run-session") if shutil.which(tool) is None]
    if site.find_nginx() is None:
        missing.append("nginx")
    if not site.CHROMIUM.is_file():
        missing.append(str(site.CHROMIUM))
    if not (HERE / "node_modules" / "axe-core").is_dir() or \
            not (HERE / "node_modules" / "puppeteer-core").is_dir():
        missing.append(f"axe-core and puppeteer-core in {HERE / 'node_modules'} "
                       "(bash scripts/install-deps.sh installs them)")
    site.check(not missing, "cannot run the site audit, missing: " + ", ".join(missing))
    with contextlib.ExitStack() as stack:
        work = Path(tempfile.mkdtemp(prefix="tessaly-visitors-"))
        stack.callback(shutil.rmtree, work, ignore_errors=True)
        home = work / "home"
        home.mkdir()
        result = subprocess.run([str(args.sample_tool), "--home", str(home), "--albums", "3",
                                 "--pictures", "9", "--seed", "2006"],
                                capture_output=True, text=True, timeout=120)
        site.check(result.returncode == 0, f"the sample-library tool failed:\n{result.stderr}")
        published = publish_looks(args, home, work)
        print(f"published {len(published)} looks: {', '.join(name for name, _ in published)}")
        base = stack.enter_context(site.nginx_serving(home / "Sites", work / "nginx"))
        args.screenshots.mkdir(parents=True, exist_ok=True)
        command = ["node", str(AUDIT), "--chromium", str(site.CHROMIUM),
                   "--screenshots", str(args.screenshots)]
        for name, folder in published:
            command += ["--look", f"{name}={base}/{folder}/{site.TOP_PAGE}"]
        audit = subprocess.run(command, timeout=AUDIT_TIMEOUT, stdin=subprocess.DEVNULL)
        site.check(audit.returncode == 0, "the site audit found problems (listed above)")
        print(f"screenshots of the default look in {args.screenshots}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--helper", type=Path, required=True)
    parser.add_argument("--sample-tool", type=Path, required=True)
    parser.add_argument("--presets", type=Path, required=True,
                        help="the folder of the shipped looks")
    parser.add_argument("--screenshots", type=Path, required=True)
    args = parser.parse_args()
    for name in ("helper", "sample_tool", "presets", "screenshots"):
        setattr(args, name, getattr(args, name).resolve())
    return site.run_test("site_for_visitors", run, args)


if __name__ == "__main__":
    sys.exit(main())
