#!/usr/bin/python3
"""Web sharing at /~user/: Debian's Apache with the configuration scripts/web-sharing.sh installs.

Runs /usr/sbin/apache2 with a private configuration on a free port of 127.0.0.1: the base a
Debian installation has (everything denied at /, listings available), plus exactly what
`web-sharing.sh --print-config` prints, its homes pointed at the test's own folder. A small home
holds a published site and a library that is a link into the home's Pictures, as a person's would.
Checks that the site and the pictures answer, that a link out of the home and folder listings are
refused (also when a .htaccess asks for listings), and that `web-sharing.sh --check` tells an
answering site from a missing one. As root (CI) Apache's workers run as www-data, so the home's
permissions matter as they do for a person, and the test checks that --check names them.

    /usr/bin/python3 tests/sharing/web_sharing_test.py --script scripts/web-sharing.sh
"""

import argparse
import contextlib
import os
import pwd
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

APACHE = Path("/usr/sbin/apache2")
MODULES = Path("/usr/lib/apache2/modules")
USER = "ann"  # not the real user: root's ~ is never shared, and no real home is touched
TIMEOUT = 30.0
PICTURE = bytes(range(256)) * 4  # any bytes will do: Apache serves them as they are
TOP_PAGE = b"<html>top page</html>\n"


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def status_and_body(url):
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        with opener.open(url, timeout=TIMEOUT) as response:
            return response.status, response.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


def make_home(homes):
    """A home with a published site and its library as a link to ~/Pictures/iPhoto Library."""
    home = homes / USER
    library = home / "Pictures" / "iPhoto Library"
    (library / "2006" / "05" / "12" / "Thumbs").mkdir(parents=True)
    (library / "2006" / "05" / "12" / "3.jpg").write_bytes(PICTURE)
    (library / "2006" / "05" / "12" / "Thumbs" / "3.jpg").write_bytes(PICTURE[:100])
    (library / "AlbumData.xml").write_text("<plist/>\n")
    sites = home / "Sites"
    contents = sites / "iPhotoPictureSite" / "Contents"
    contents.mkdir(parents=True)
    (sites / "iPhotoPictureSite" / "Tessaly.html").write_bytes(TOP_PAGE)
    (contents / "menu.html").write_text("<html>menu</html>\n")
    (contents / "3.html").write_text('<img src="../../iPhoto Library/2006/05/12/Thumbs/3.jpg">\n')
    (sites / "iPhoto Library").symlink_to(library)
    # A .htaccess that would list its folder if Apache read it.
    (sites / "listed").mkdir()
    (sites / "listed" / "a.txt").write_text("a\n")
    (sites / "listed" / ".htaccess").write_text("Options +Indexes\n")
    # A link to a file someone else owns, outside the home.
    if os.geteuid() == 0:
        outside = homes.parent / "outside.txt"
        outside.write_text("not the person's\n")
        nobody = pwd.getpwnam("nobody")
        os.chown(outside, nobody.pw_uid, nobody.pw_gid)
    else:
        outside = Path("/etc/passwd")
    (sites / "outside.txt").symlink_to(outside)
    return home


def apache_config(work, port, sharing):
    modules = ["mpm_event", "authz_core", "dir", "mime", "autoindex", "userdir"]
    lines = [f'ServerRoot "{work}"', "ServerName 127.0.0.1", f"Listen 127.0.0.1:{port}",
             f'PidFile "{work}/apache.pid"', f'DefaultRuntimeDir "{work}/run"',
             f'Mutex file:{work}/run default', f'ErrorLog "{work}/error.log"', "LogLevel info"]
    lines += [f"LoadModule {name}_module {MODULES}/mod_{name}.so" for name in modules]
    if os.geteuid() == 0:
        # Apache will not serve as root; the workers read the homes as any other user would.
        lines += ["User www-data", "Group www-data"]
    lines += ["TypesConfig /etc/mime.types",
              # Debian's apache2.conf starts from this: nothing outside the shared folders.
              "<Directory />", "    Options FollowSymLinks", "    AllowOverride None",
              "    Require all denied", "</Directory>",
              f'Include "{sharing}"']
    return "\n".join(lines) + "\n"


def tail(path, lines=20):
    try:
        return "\n".join(Path(path).read_text(errors="replace").splitlines()[-lines:])
    except OSError:
        return "(no log)"


@contextlib.contextmanager
def apache_serving(work, sharing):
    (work / "run").mkdir()
    for attempt in range(5):
        port = free_port()
        conf = work / "apache.conf"
        conf.write_text(apache_config(work, port, sharing))
        with open(work / "stderr.log", "ab") as stderr:
            process = subprocess.Popen([str(APACHE), "-f", str(conf), "-DFOREGROUND"],
                                       stdin=subprocess.DEVNULL, stdout=stderr, stderr=stderr,
                                       start_new_session=True)
        try:
            deadline = time.monotonic() + TIMEOUT
            while process.poll() is None:
                with contextlib.suppress(OSError):
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                check(time.monotonic() < deadline, "Apache did not answer in time")
                time.sleep(0.1)
            if process.poll() is None:
                yield f"http://127.0.0.1:{port}"
                return
            log = tail(work / "error.log") + "\n" + tail(work / "stderr.log")
            if "Address already in use" not in log or attempt == 4:
                raise TestFailure(f"Apache did not start ({process.returncode}):\n{log}")
        finally:
            if process.poll() is None:
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(timeout=TIMEOUT)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()


def run_check(script, home, base):
    env = dict(os.environ, HOME=str(home))
    result = subprocess.run(["bash", str(script), "--check", "--base", base, "--user", USER],
                            env=env, capture_output=True, text=True, timeout=TIMEOUT)
    return result.returncode, result.stdout + result.stderr


def run(args):
    check(APACHE.is_file(), f"no {APACHE}: Debian's apache2 package is needed")
    work = Path(tempfile.mkdtemp(prefix="tessaly-sharing-"))
    try:
        # Apache's workers must pass through to the homes, as through /home.
        work.chmod(0o755)
        homes = work / "homes"
        homes.mkdir()
        home = make_home(homes)
        printed = subprocess.run(["bash", str(args.script), "--print-config", "--homes",
                                  f"{homes}/*"], capture_output=True, text=True, timeout=TIMEOUT)
        check(printed.returncode == 0, f"--print-config failed:\n{printed.stderr}")
        sharing = work / "sharing.conf"
        sharing.write_text(printed.stdout)
        with apache_serving(work, sharing) as base:
            user = f"{base}/~{USER}"
            quoted = urllib.parse.quote
            answers = [
                # What a visitor must get.
                ("the top page", "/iPhotoPictureSite/Tessaly.html", 200, TOP_PAGE),
                ("the site's folder shows the top page", "/iPhotoPictureSite/", 200, TOP_PAGE),
                ("an album page", "/iPhotoPictureSite/Contents/3.html", 200, None),
                ("a picture through the library's link",
                 quoted("/iPhoto Library/2006/05/12/3.jpg"), 200, PICTURE),
                ("a thumbnail through the library's link",
                 quoted("/iPhoto Library/2006/05/12/Thumbs/3.jpg"), 200, PICTURE[:100]),
                # What nobody may get.
                ("a link to someone else's file outside the home", "/outside.txt", 403, None),
                ("the Sites folder, which has no index page", "/", 403, None),
                ("a library folder, which has no index page", quoted("/iPhoto Library/2006/"),
                 403, None),
                ("a folder whose .htaccess asks for a listing", "/listed/", 403, None),
                ("the library index's folder listing", quoted("/iPhoto Library/"), 403, None),
            ]
            failures = []
            for what, path, expected, body in answers:
                status, got = status_and_body(user + path)
                shown = f"{what}: {path} answered {status}"
                print(f"  {shown}")
                if status != expected:
                    failures.append(f"{shown}, not {expected}")
                elif body is not None and got != body:
                    failures.append(f"{shown} with other content")
            check(not failures, "Apache with the printed configuration:\n  " +
                  "\n  ".join(failures) + f"\nerror log:\n{tail(work / 'error.log')}")

            code, said = run_check(args.script, home, base)
            check(code == 0 and f"answers at {user}/iPhotoPictureSite/Tessaly.html" in said,
                  f"--check on an answering site said ({code}):\n{said}")
            print(f"  --check: {said.strip()}")

            if os.geteuid() == 0:
                # www-data cannot pass through a home without o+x; --check must say so.
                home.chmod(0o750)
                status, _ = status_and_body(f"{user}/iPhotoPictureSite/Tessaly.html")
                code, said = run_check(args.script, home, base)
                home.chmod(0o755)
                check(status == 403, f"a home without o+x still served the site ({status})")
                check(code == 1 and "o+x" in said,
                      f"--check on a home without o+x said ({code}):\n{said}")
                print(f"  --check, home without o+x: {' '.join(said.split())}")
            else:
                print("  (not root: Apache runs as this user, so the home's permissions "
                      "cannot be shown to matter; CI runs this part as root)")

            shutil.rmtree(home / "Sites" / "iPhotoPictureSite")
            code, said = run_check(args.script, home, base)
            check(code == 1 and "not published" in said,
                  f"--check on a site that is not published said ({code}):\n{said}")
        code, said = run_check(args.script, home, base)
        check(code == 1 and "nothing answers" in said,
              f"--check with no server said ({code}):\n{said}")
        print(f"  --check, no server: {' '.join(said.split())}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--script", type=Path, required=True, help="scripts/web-sharing.sh")
    args = parser.parse_args()
    args.script = args.script.resolve()
    try:
        run(args)
    except TestFailure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        return 1
    print("web_sharing: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
