#!/usr/bin/python3
"""End-to-end check of the published site in a real browser.

Publishes a sample photo library with the real helper into a throw-away home folder, serves that
home's Sites folder with a private nginx on 127.0.0.1, and walks through the site in headless
Chromium the way a visitor would: the frameset shows the album menu, a click on an album shows its
page in the picture frame, and every thumbnail and download link on that page is served and
decodes. What the site should hold is read from the library index itself, so the checks follow
whatever the sample generator writes.

Before publishing, one album is given texts and file names a careless page would get wrong: a
name and a caption with "&" and "<" that must show as exactly that text, a caption that would run
script if it were written as markup, and a picture whose files are named with "#", "?", "%" and a
quotation mark, which must still load.

Run it with Debian's interpreter, which has selenium:

    /usr/bin/python3 tests/browser/site_in_browser.py \
        --helper BUILD/LumibayHelper.app/LumibayHelper \
        --sample-tool BUILD/tools/tessaly-sample-library --build-dir BUILD

It needs nginx, chromium, chromedriver, dbus-run-session and python3-selenium, and fails (never
skips) when one of them is missing. A screenshot of the first album is left in
BUILD/browser-test.png for a person to look at.
"""

import argparse
import contextlib
import dataclasses
import grp
import os
import plistlib
import pwd
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

CHROMIUM = Path("/usr/bin/chromium")
CHROMEDRIVER = Path("/usr/bin/chromedriver")
SITE_FOLDER = "iPhotoPictureSite"
TOP_PAGE = "Tessaly.html"
LIBRARY_FOLDER = "iPhoto Library"

# Generous bounds: a loaded CI machine may be slow, but nothing here should take this long.
SITE_TIMEOUT = 60.0
SERVER_TIMEOUT = 30.0
BROWSER_TIMEOUT = 30.0
STOP_TIMEOUT = 30.0


class TestFailure(Exception):
    """A check failed or the test could not be set up; the message says which."""


@dataclasses.dataclass
class Picture:
    thumb: Path
    image: Path
    caption: str


@dataclasses.dataclass
class Album:
    name: str
    pictures: list


# --- small helpers --------------------------------------------------------------------------------

def wait_for(what, probe, timeout, interval=0.2):
    """Polls probe() until it answers something true and returns that; fails after timeout s."""
    deadline = time.monotonic() + timeout
    while True:
        result = probe()
        if result:
            return result
        if time.monotonic() > deadline:
            raise TestFailure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def tail(path, lines=30):
    try:
        text = Path(path).read_text(errors="replace").splitlines()
    except OSError:
        return "(no log)"
    return "\n".join(text[-lines:]) or "(empty)"


def find_nginx():
    # nginx lives in /usr/sbin, which is not on every user's PATH.
    found = shutil.which("nginx") or shutil.which("nginx", path="/usr/sbin:/usr/local/sbin")
    return Path(found) if found else None


def require_tools(args):
    """Fails with one message naming everything that is missing; a missing tool is a failure."""
    missing = []
    for label, path in (("the helper (--helper)", args.helper),
                        ("the sample-library tool (--sample-tool)", args.sample_tool),
                        ("chromium (Debian package chromium)", CHROMIUM),
                        ("chromedriver (Debian package chromium-driver)", CHROMEDRIVER)):
        if not (path.is_file() and os.access(path, os.X_OK)):
            missing.append(f"{label}: no program at {path}")
    if find_nginx() is None:
        missing.append("nginx (Debian package nginx-light): not on PATH nor in /usr/sbin")
    if shutil.which("dbus-run-session") is None:
        missing.append("dbus-run-session (Debian package dbus-daemon): not on PATH")
    try:
        import selenium  # noqa: F401
    except ImportError:
        missing.append(f"selenium (Debian package python3-selenium): {sys.executable} cannot "
                       "import it; run this test with /usr/bin/python3")
    if missing:
        raise TestFailure("cannot run the browser test, missing:\n  " + "\n  ".join(missing))


def stop_process_group(process, name):
    """SIGTERM to the group the process leads, then SIGKILL if it does not end in time."""
    if process.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, sig)
        try:
            process.wait(timeout=STOP_TIMEOUT)
            return
        except subprocess.TimeoutExpired:
            print(f"{name} did not stop on {sig.name}", file=sys.stderr)


# --- the library and the helper -------------------------------------------------------------------

# Texts and a file name that are markup, entities or URL syntax when written carelessly.
HOSTILE_ALBUM_NAME = 'Summer <2006> & "friends"'
MARKUP_CAPTION = "Café & <Friends>"
# Would run as a script element in the cell's text, and would end the alt attribute and add an
# onload handler to the thumbnail.
SCRIPT_CAPTION = ('<script>window.tessalyInjected = 1</script>'
                  'x" onload="window.tessalyInjected = 2')
ODD_FILE_STEM = 'odd #1 ?x %41 "q"'


def add_hostile_entries(index):
    """Gives the first published album with three pictures the texts and file names above."""
    master = index["Master Image List"]
    for position, album in enumerate(index["List of Albums"]):
        keys = album.get("KeyList", [])
        if position >= 3 and album.get("Album Type") == "Regular" and len(keys) >= 3:
            break
    else:
        raise TestFailure("the sample library has no published album with three pictures")
    album["AlbumName"] = HOSTILE_ALBUM_NAME
    master[keys[0]]["Caption"] = MARKUP_CAPTION
    master[keys[1]]["Caption"] = SCRIPT_CAPTION
    picture = master[keys[2]]
    for key in ("ThumbPath", "ImagePath"):
        old = Path(picture[key])
        new = old.with_name(ODD_FILE_STEM + old.suffix)
        old.rename(new)
        picture[key] = str(new)

def make_library(tool, home, seed):
    """Writes a sample library into home and returns the albums the site should publish."""
    result = subprocess.run([str(tool), "--home", str(home), "--albums", "4", "--pictures", "14",
                             "--seed", str(seed)], capture_output=True, text=True, timeout=120)
    check(result.returncode == 0,
          f"the sample-library tool failed ({result.returncode}):\n{result.stderr}")
    index_path = home / "Sites" / LIBRARY_FOLDER / "AlbumData.xml"
    with open(index_path, "rb") as index_file:
        index = plistlib.load(index_file)
    add_hostile_entries(index)
    with open(index_path, "wb") as index_file:
        plistlib.dump(index, index_file)
    master = index["Master Image List"]
    albums = []
    # The first three entries are the library and its automatic albums; only regular albums after
    # them get a page.
    for position, album in enumerate(index["List of Albums"]):
        if position < 3 or album.get("Album Type") != "Regular":
            continue
        pictures = [Picture(Path(master[key]["ThumbPath"]), Path(master[key]["ImagePath"]),
                            master[key].get("Caption", ""))
                    for key in album.get("KeyList", [])]
        albums.append(Album(album["AlbumName"], pictures))
    check(albums and any(a.pictures for a in albums),
          "the sample library has no published album with pictures; nothing to look at")
    return albums


def write_settings(home):
    preferences = home / "Library" / "Preferences"
    preferences.mkdir(parents=True)
    with open(preferences / "Tessaly.plist", "wb") as settings:
        plistlib.dump({"Active_Flag_Key": True, "Check_Interval_Key": 0.0}, settings)


def site_is_complete(site, album_count):
    """The top page, the menu and one page per album, each written to its end."""
    contents = site / "Contents"
    pages = [site / TOP_PAGE, contents / "menu.html"]
    if contents.is_dir():
        pages += sorted(p for p in contents.iterdir() if re.fullmatch(r"\d+\.html", p.name))
    if len(pages) < album_count + 2:
        return False
    try:
        return all(p.read_bytes().rstrip().endswith(b"</html>") for p in pages)
    except OSError:
        return False


def publish_site(helper, home, album_count, work):
    """Runs the helper until it has written the whole site, then stops it with SIGTERM."""
    site = home / "Sites" / SITE_FOLDER
    runtime = work / "runtime"
    runtime.mkdir(mode=0o700)
    env = dict(os.environ, HOME=str(home), XDG_RUNTIME_DIR=str(runtime))
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    log = work / "helper.log"
    with open(log, "wb") as out:
        # Its own process group, so stopping it reaches the helper and its private bus alike.
        helper_process = subprocess.Popen(["dbus-run-session", "--", str(helper)], cwd=work,
                                          env=env, stdin=subprocess.DEVNULL, stdout=out,
                                          stderr=subprocess.STDOUT, start_new_session=True)
    try:
        def written():
            if helper_process.poll() is not None:
                raise TestFailure(f"the helper ended early with status {helper_process.returncode}")
            return site_is_complete(site, album_count)
        try:
            wait_for(f"the helper to write {site}", written, SITE_TIMEOUT)
        except TestFailure as failure:
            raise TestFailure(f"{failure}\nhelper log:\n{tail(log)}") from None
    finally:
        stop_process_group(helper_process, "the helper")
    check(site_is_complete(site, album_count),
          f"the site under {site} was no longer complete after the helper was stopped")
    return site


# --- the web server -------------------------------------------------------------------------------

def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def nginx_config(work, root, port):
    """A configuration that keeps every file nginx touches inside work."""
    lines = ["daemon off;", "worker_processes 1;", f'pid "{work}/nginx.pid";',
             f'error_log "{work}/error.log" info;']
    if os.geteuid() == 0:
        # Workers would otherwise drop to an account that cannot read the private temp folder.
        lines.append(f"user {pwd.getpwuid(0).pw_name} {grp.getgrgid(0).gr_name};")
    lines += ["events { worker_connections 64; }", "http {",
              f'  access_log "{work}/access.log";',
              "  types { text/html html; image/jpeg jpg jpeg; image/png png; "
              "video/quicktime mov; }",
              "  default_type application/octet-stream;"]
    for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"):
        lines.append(f'  {kind}_temp_path "{work}/temp-{kind}";')
    lines += ["  server {", f"    listen 127.0.0.1:{port};", f'    root "{root}";', "  }", "}"]
    return "\n".join(lines) + "\n"


def answers(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


@contextlib.contextmanager
def nginx_serving(root, work):
    """Serves root on 127.0.0.1 and yields the base URL; stops nginx whatever happens."""
    nginx = find_nginx()
    work.mkdir()
    for attempt in range(5):
        port = free_port()
        conf = work / "nginx.conf"
        conf.write_text(nginx_config(work, root, port))
        error_log = work / "error.log"
        with open(work / "stderr.log", "ab") as stderr:
            process = subprocess.Popen([str(nginx), "-c", str(conf), "-p", f"{work}/",
                                        "-e", str(error_log)],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=stderr, start_new_session=True)
        try:
            wait_for(f"nginx on port {port}",
                     lambda: process.poll() is not None or answers(port), SERVER_TIMEOUT)
            if process.poll() is None:
                yield f"http://127.0.0.1:{port}"
                return
            # Another program may have taken the port between the probe and nginx; try anew.
            if "Address already in use" not in tail(error_log) or attempt == 4:
                raise TestFailure(f"nginx did not start ({process.returncode}):\n"
                                  f"{tail(error_log)}\n{tail(work / 'stderr.log')}")
        finally:
            stop_process_group(process, "nginx")


# --- the browser ----------------------------------------------------------------------------------

@contextlib.contextmanager
def chromium(work):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = str(CHROMIUM)
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--no-proxy-server", "--window-size=1280,900",
                 f"--user-data-dir={work / 'chromium-profile'}"):
        options.add_argument(flag)
    # Chromium keeps caches and settings under HOME besides its profile; keep them in work too.
    browser_home = work / "browser-home"
    browser_home.mkdir()
    env = dict(os.environ, HOME=str(browser_home), XDG_CONFIG_HOME=str(browser_home / ".config"),
               XDG_CACHE_HOME=str(browser_home / ".cache"))
    service = Service(executable_path=str(CHROMEDRIVER), log_path=str(work / "chromedriver.log"),
                      env=env)
    try:
        driver = webdriver.Chrome(service=service, options=options)
    except Exception as error:
        raise TestFailure(f"chromium did not start through chromedriver: {error}\n"
                          f"{tail(work / 'chromedriver.log')}") from None
    try:
        driver.set_page_load_timeout(BROWSER_TIMEOUT)
        yield driver
    finally:
        driver.quit()


def fetch(url):
    """The body of url, fetched past any proxy set in the environment; fails unless 200."""
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open(url, timeout=BROWSER_TIMEOUT) as response:
            check(response.status == 200, f"{url} answered HTTP {response.status}")
            return response.read()
    except urllib.error.HTTPError as error:
        raise TestFailure(f"{url} answered HTTP {error.code}") from None


def enter_frame(driver, name):
    from selenium.webdriver.support import expected_conditions
    from selenium.webdriver.support.ui import WebDriverWait

    driver.switch_to.default_content()
    WebDriverWait(driver, BROWSER_TIMEOUT).until(
        expected_conditions.frame_to_be_available_and_switch_to_it(name),
        f'no frame named "{name}" in the top page')


def frame_url(driver):
    # The driver's current_url is the top page's; the frame's own document knows its address.
    return driver.execute_script("return document.URL")


def read_menu(driver, albums):
    """Checks the menu frame lists the published albums in order; returns their links' hrefs."""
    from selenium.webdriver.common.by import By

    enter_frame(driver, "menu")
    shown = frame_url(driver)
    check(urllib.parse.urldefrag(shown).url.endswith(f"/{SITE_FOLDER}/Contents/menu.html"),
          f"the menu frame shows {shown}, not Contents/menu.html")
    links = wait_for("the album links in the menu frame",
                     lambda: driver.find_elements(By.TAG_NAME, "a"), BROWSER_TIMEOUT)
    names = [link.text for link in links]
    check(names == [album.name for album in albums],
          f"the menu lists {names}, the library's published albums are "
          f"{[album.name for album in albums]}")
    hrefs = [link.get_attribute("href") for link in links]
    for link, href in zip(links, hrefs):
        check(re.search(rf"/{SITE_FOLDER}/Contents/\d+\.html$", href),
              f'menu link "{link.text}" points at {href}, not at an album page')
        check(link.get_attribute("target") == "picture",
              f'menu link "{link.text}" opens in "{link.get_attribute("target")}", '
              'not in the picture frame')
    check(len(set(hrefs)) == len(hrefs), f"two menu links share a page: {hrefs}")
    return hrefs


def open_album(driver, index, href):
    """Clicks the index-th menu link and waits until the picture frame shows its page."""
    from selenium.webdriver.common.by import By

    enter_frame(driver, "menu")
    driver.find_elements(By.TAG_NAME, "a")[index].click()

    def shown():
        enter_frame(driver, "picture")
        return frame_url(driver) == href and driver.execute_script(
            "return document.readyState") == "complete"
    wait_for(f"the picture frame to show {href}", shown, BROWSER_TIMEOUT)


def local_file(url, sites):
    """The file under the served Sites folder that url names."""
    return sites / urllib.parse.unquote(urllib.parse.urlsplit(url).path).lstrip("/")


def check_served_as(url, expected, sites, what):
    """url must answer 200 with exactly the bytes of the library file expected."""
    check(local_file(url, sites) == expected,
          f"{what} {url} names {local_file(url, sites)}, the library has {expected}")
    check(fetch(url) == expected.read_bytes(),
          f"{what} {url} does not serve the bytes of {expected}")


def check_album_page(driver, album, sites):
    """The page in the picture frame shows the album's title, thumbnails and download links."""
    from selenium.webdriver.common.by import By

    heading = driver.find_element(By.TAG_NAME, "h2").text
    check(album.name in heading, f'the album page heading "{heading}" lacks "{album.name}"')
    images = driver.find_elements(By.CSS_SELECTOR, "table img")
    downloads = [a for a in driver.find_elements(By.CSS_SELECTOR, "table a")
                 if a.text.strip() == "Download"]
    check(len(images) == len(album.pictures) and len(downloads) == len(album.pictures),
          f'album "{album.name}" has {len(album.pictures)} pictures, its page shows '
          f"{len(images)} thumbnails and {len(downloads)} download links")
    cells = driver.find_elements(By.CSS_SELECTOR, "table td")
    check(len(cells) == len(album.pictures),
          f'album "{album.name}" has {len(album.pictures)} pictures, its page {len(cells)} cells')
    for image, cell, picture in zip(images, cells, album.pictures):
        src = image.get_attribute("src")
        check_served_as(src, picture.thumb, sites, "thumbnail")
        wait_for(f"the browser to load {src}",
                 lambda: driver.execute_script("return arguments[0].complete", image),
                 BROWSER_TIMEOUT)
        check(driver.execute_script("return arguments[0].naturalWidth", image) > 0,
              f"the browser could not decode the thumbnail {src}")
        # The caption reads as exactly its text, in the cell and to a screen reader alike.
        alt = image.get_attribute("alt")
        check(alt == picture.caption, f"the thumbnail {src} has the alt text {alt!r}, "
              f"its caption is {picture.caption!r}")
        shown = driver.execute_script("return arguments[0].textContent", cell)
        check(picture.caption in shown,
              f"the cell of {src} shows {shown!r}, not the caption {picture.caption!r}")
    for link, picture in zip(downloads, album.pictures):
        check_served_as(link.get_attribute("href"), picture.image, sites, "download link")
    # Nothing a caption holds may run: no script element and no handler it could have added.
    check(not driver.find_elements(By.CSS_SELECTOR, "table script, table [onload], table [onerror]"),
          f'a caption of album "{album.name}" became markup on its page')
    injected = driver.execute_script("return window.tessalyInjected")
    check(injected is None, f'script from a caption of album "{album.name}" ran ({injected})')


def check_hostile_entries_shown(albums):
    """The album with the hostile texts was among the pages browsed, with all three pictures."""
    hostile = [album for album in albums if album.name == HOSTILE_ALBUM_NAME]
    check(len(hostile) == 1, f"the album {HOSTILE_ALBUM_NAME!r} is not published once")
    captions = [picture.caption for picture in hostile[0].pictures]
    check(MARKUP_CAPTION in captions and SCRIPT_CAPTION in captions,
          f"the hostile captions are not in the album: {captions}")
    check(any(picture.thumb.stem == ODD_FILE_STEM for picture in hostile[0].pictures),
          "the picture with the odd file name is not in the album")


def browse_site(driver, base_url, albums, sites, screenshot):
    check_hostile_entries_shown(albums)
    top_url = f"{base_url}/{SITE_FOLDER}/{TOP_PAGE}"
    driver.get(top_url)
    hrefs = read_menu(driver, albums)
    for index, (album, href) in enumerate(zip(albums, hrefs)):
        open_album(driver, index, href)
        check_album_page(driver, album, sites)
        print(f'  album "{album.name}": {href.rsplit("/", 1)[-1]}, '
              f"{len(album.pictures)} thumbnails and downloads served and decoded")
        if index == 0:
            driver.switch_to.default_content()
            check(driver.save_screenshot(str(screenshot)), f"could not save {screenshot}")
    print(f"  screenshot of the first album: {screenshot}")


# --- the whole run --------------------------------------------------------------------------------

def run(args):
    require_tools(args)
    with contextlib.ExitStack() as stack:
        work = Path(tempfile.mkdtemp(prefix="tessaly-browser-"))
        if args.keep:
            print(f"keeping {work}")
        else:
            stack.callback(shutil.rmtree, work, ignore_errors=True)
        home = work / "home"
        home.mkdir()
        albums = make_library(args.sample_tool, home, args.seed)
        write_settings(home)
        publish_site(args.helper, home, len(albums), work)
        print(f"helper published {len(albums)} albums")
        sites = home / "Sites"
        base_url = stack.enter_context(nginx_serving(sites, work / "nginx"))
        driver = stack.enter_context(chromium(work))
        browse_site(driver, base_url, albums, sites, args.build_dir / "browser-test.png")


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--helper", type=Path, required=True, help="the LumibayHelper program")
    parser.add_argument("--sample-tool", type=Path, required=True,
                        help="the tessaly-sample-library program")
    parser.add_argument("--build-dir", type=Path, required=True,
                        help="where to leave the screenshot browser-test.png")
    parser.add_argument("--seed", type=int, default=2006, help="sample library seed")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    # The helper runs in the temporary folder, so relative paths would no longer lead anywhere.
    for name in ("helper", "sample_tool", "build_dir"):
        setattr(args, name, getattr(args, name).resolve())
    return args


def run_test(name, body, args):
    """Runs body(args) and reports it as the test `name`; answers the exit status."""
    started = time.monotonic()
    try:
        body(args)
    except TestFailure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    print(f"{name}: passed in {time.monotonic() - started:.1f} s")
    return 0


def main():
    return run_test("site_in_browser", run, parse_arguments())


if __name__ == "__main__":
    sys.exit(main())
