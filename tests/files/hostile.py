"""quorvane-code --protect and --check against a hostile file system: one row per case, each expecting its lines and exit code, and no temporary file left.

Usage: hostile.py TOOL

A change during a run is made certain without a hook in the program: the
run goes with --jobs 1 and a large first page; as soon as the tool holds that
page read whole (its descriptor, seen in /proc, stands at the page's end), it
is stopped with SIGSTOP, and once every thread of it has stopped, the change is
made and it goes on with SIGCONT. The edit keeps the page's size, so that
whether the tool had made its last read, the one that finds the end, does not
matter. A machine fast enough to be done with the page between two looks
loses that race: the row is run again, a few times, and skipped only if it
never could be set up.

No row asserts a time: each wait is on a condition, with a generous hang
guard (GUARD seconds) whose failure says so.
"""
import fcntl
import gzip
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

PAGE = b'<!DOCTYPE html><meta charset="utf-8">\n<p>Write to <a href="mailto:me@example.org">me</a>.\n'
# About 12 MB of text behind the link: the parse takes a few tenths of a second.
BIG = PAGE + b"<p>" + b"lorem ipsum " * (1 << 20) + b"</p>\n"
# The edit made during a run: the same number of bytes, in the middle of BIG.
EDIT_AT, EDIT = len(PAGE) + len(b"<p>") + 12 * (1 << 19), b"edited ipsum"
EDITED = BIG[:EDIT_AT] + EDIT + BIG[EDIT_AT + len(EDIT):]
# Seconds a wait on the tool may take before it counts as a hang; no figure here is near it.
GUARD = 120
# How often a setup that the machine was too fast to catch is tried.
TRIES = 4


def write(path, data=PAGE):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data)


class Skip(Exception):
    """A case this system cannot show, and why."""


def holds(pid, fd, page, size):
    """True when the process's descriptor fd is open on `page` and stands at its end, `size`."""
    try:
        return (os.readlink(f"/proc/{pid}/fd/{fd}") == str(page) and
                int(pathlib.Path(f"/proc/{pid}/fdinfo/{fd}").read_text().split()[1]) >= size)
    except OSError:
        return False


def stopped(pid):
    """True when every thread of the process is stopped (SIGSTOP takes effect a moment after it is sent)."""
    try:
        return all(pathlib.Path(task, "stat").read_text().rsplit(")", 1)[1].split()[0] in "tT"
                   for task in pathlib.Path(f"/proc/{pid}/task").iterdir())
    except OSError:
        return False


def stop(process):
    """SIGSTOP, then waits until it has taken; False when the process had ended first."""
    process.send_signal(signal.SIGSTOP)
    deadline = time.monotonic() + GUARD
    while not stopped(process.pid):
        if process.poll() is not None:
            return False
        if time.monotonic() > deadline:
            raise AssertionError(f"the tool did not stop within {GUARD} s of SIGSTOP: hang guard")
        time.sleep(0.001)
    return True


def when_read(page, change):
    """During the run: once the tool holds `page` read whole, stops it, makes `change`, and lets it go on.

    False when the tool was done with the page before it could be stopped: the row is then run again."""
    def during(process):
        size, deadline = page.stat().st_size, time.monotonic() + GUARD
        while process.poll() is None:
            if time.monotonic() > deadline:
                raise AssertionError(f"the tool did not hold {page.name} read whole within {GUARD} s: hang guard")
            try:
                fds = os.listdir(f"/proc/{process.pid}/fd")
            except OSError:
                continue  # ended meanwhile: poll() says so
            for fd in fds:
                if not holds(process.pid, fd, page, size):
                    continue
                held = stop(process) and holds(process.pid, fd, page, size)  # still in hand once stopped
                if held:
                    change()
                process.send_signal(signal.SIGCONT)
                return held
        return False
    return during


def fifo(top):
    os.mkfifo(top / "x.html")
    write(top / "a.html")
    return ["--protect", "x.html", "a.html"]


def links_in_folder(top):
    write(top / "site/a.html")
    write(top / "outside/secret.html", b'<a href="mailto:secret@example.org">s</a>')
    os.symlink("a.html", top / "site/alias.html")
    os.symlink("../outside", top / "site/elsewhere")
    return ["--check", "site"]


def twins(top):
    write(top / "site/index.html")
    (top / "site/index.html.gz").write_bytes(gzip.compress(PAGE))
    (top / "site/broken.html.gz").write_bytes(b"\x1f\x8b not gzip")
    def check(stdout):
        unpacked = gzip.decompress((top / "site/index.html.gz").read_bytes())
        return [] if b"me@example.org" not in unpacked and b"&#64;" in unpacked else ["the twin still shows the address"]
    return ["--protect", "site"], None, check


def fifo_in_folder(top):
    write(top / "site/b.html")
    os.mkfifo(top / "site/y.html")
    return ["--protect", "site"]


def sparse(command):
    def setup(top):
        with open(top / "big.html", "wb") as f:
            f.truncate(1 << 40)
        return [command, "big.html"]
    return setup


def names(top):
    for name in ("a" * 245 + ".html", "new\nline.html", "bad\udcff.html", "x.html:1: forged.html", 'q"uote\\.html',
                 "rlo\u202egpj.html"):
        write(top / "site" / name)
    return ["--protect", "site"]


def temporary_name(random):
    """The name the tool gives its new file for eight random letters: four check letters follow them (FNV-1a)."""
    h = 0xcbf29ce484222325
    for c in b"quorvane-temporary:" + random.encode():
        h = ((h ^ c) * 0x100000001b3) % (1 << 64)
    check = ""
    for _ in range(4):
        check += "0123456789abcdefghijklmnopqrstuvwxyz"[h % 36]
        h //= 36
    return f".quorvane-{random}{check}.tmp"


LEFT, IN_USE = temporary_name("abcd1234"), temporary_name("inuse000")


def leftovers(top):
    write(top / f"site/{LEFT}", b"left by a killed run")
    write(top / f"site/{IN_USE}", b"being written now")
    # A file of the user's that only looks like one of the tool's: never removed.
    write(top / "site/.quorvane-abcd1234.tmp", b"the user's")
    holder = open(top / f"site/{IN_USE}", "rb")  # closed with the row's folder
    fcntl.flock(holder, fcntl.LOCK_EX)
    return ["--protect", "site"], None, lambda stdout: holder.close() or []


def attributes(top):
    write(top / "a.html")
    # An access ACL that names user 12345 (system.posix_acl_access, version 2), and an attribute of the user's own.
    acl = bytes.fromhex("02000000" "0100060000000000" "0200040039300000" "0400040000000000" "1000060000000000" "2000040000000000")
    try:
        os.setxattr(top / "a.html", "system.posix_acl_access", acl)
        os.setxattr(top / "a.html", "user.note", b"kept")
    except OSError as error:
        raise Skip(f"the file system here takes no ACL or user attribute ({error.strerror})")
    before = {name: os.getxattr(top / "a.html", name) for name in os.listxattr(top / "a.html")}

    def check(stdout):
        after = {name: os.getxattr(top / "a.html", name) for name in os.listxattr(top / "a.html")}
        problems = [f"a.html lost {name}" for name, value in before.items() if after.get(name) != value]
        return problems + (["a.html done twice"] if stdout.count("a.html") != 1 else [])
    return ["--protect", "a.html", "."], None, check


def changes_during_run(top):
    write(top / "site/a.html", BIG)
    for name in ("site/c.html", "site/sub/page.html", "elsewhere/page.html"):
        write(top / name)

    def change():
        with open(top / "site/a.html", "r+b") as page:
            page.seek(EDIT_AT)
            page.write(EDIT)
        os.rename(top / "site/sub", top / "site/sub-moved")
        os.symlink(top / "elsewhere", top / "site/sub")  # a folder swapped for a link to outside the PATH
        os.unlink(top / "site/c.html")
        os.mkfifo(top / "site/c.html")  # a page swapped for a FIFO
    return ["--protect", "--jobs", "1", "site"], when_read(top / "site/a.html", change), None


def published(top):
    """What a generator publishes beside its pages: a feed, a search index, a source copy, a cache and an image."""
    write(top / "site/index.html", PAGE)
    write(top / "site/feed.xml", b'<?xml version="1.0"?><rss><channel><item><description>&lt;a href="mailto:me@example.org"'
                                 b'&gt;me&lt;/a&gt;</description><author>me@example.org</author></item></channel></rss>')
    write(top / "site/search/search_index.json", b'{"docs": [{"text": "Write to me@example.org"}]}')
    write(top / "site/_sources/index.rst.txt", b"Write to\n`me <mailto:me@example.org>`_\n")
    write(top / "site/.doctrees/index.doctree", b"\x80\x04\x95\0me@example.org")
    write(top / "site/.well-known/security.txt", b"Contact: mailto:abuse@example.org\n")
    write(top / "site/logo.png", b"\x89PNG\r\n\x1a\n\0\0me@example.org")
    write(top / "site/.git/description", b"Mirror kept by git@example.org\n")
    (top / "known").write_text("# public on purpose\nABUSE@example.org\n")


def published_protect(top):
    published(top)
    return ["--protect", "site"]


def published_check(top):
    published(top)
    return ["--check", "--accept-file", "known", "site"]


MOVED = re.escape("it was moved, removed or replaced during the run (its folder or the file); not done")

# (case, setup, exit code, lines expected on standard output and patterns of those on standard error, files and
# their bytes after).
# A setup gives the arguments, or them, what to do during the run, and a check of its own.
ROWS = [
    ("FIFO named", fifo, 1, ["a.html: 1 anchor rewritten"],
     ["x.html: neither a regular file nor a folder but a FIFO; not read"], {}),
    ("symbolic links in a folder: a line each, not followed", links_in_folder, 1,
     ["site/alias.html: a symbolic link, not followed, so that nothing outside the PATHs given is read; name its "
      "target to take it", "site/elsewhere: a symbolic link, not followed, so that nothing outside the PATHs given "
      "is read; name its target to take it", "site/a.html:2: attribute href: me@example.org"],
     [r"1 file \(\d+ bytes\) read, 2 symbolic links not followed; 1 readable address in 1 file; 0 errors"], {}),
    ("a page's precompressed twin: read as what it packs, written packed again", twins, 0,
     ["site/index.html: 1 anchor rewritten", "site/index.html.gz: 1 anchor rewritten",
      "site/broken.html.gz:1: not read as gzip (not whole gzip data): left as it is"], [], {}),
    ("FIFO in a folder", fifo_in_folder, 1, ["site/b.html: 1 anchor rewritten"],
     ["site/y.html: not a regular file but a FIFO; not read"], {}),
    ("1 TiB sparse page, --protect", sparse("--protect"), 0,
     ["big.html:1: the page is larger than the parser's limit of 64 MiB (1099511627776 bytes): left whole, not read"], [], {}),
    ("1 TiB sparse page, --check", sparse("--check"), 2, [],
     ["big.html: not read: 1099511627776 bytes, more than the parser's limit of 64 MiB for a page"], {}),
    ("long and odd names", names, 0,
     ["site/" + "a" * 245 + ".html: 1 anchor rewritten", '"site/bad\\377.html": 1 anchor rewritten',
      '"site/new\\nline.html": 1 anchor rewritten', '"site/q\\"uote\\\\.html": 1 anchor rewritten',
      '"site/x.html:1: forged.html": 1 anchor rewritten', '"site/rlo\\342\\200\\256gpj.html": 1 anchor rewritten'], [], {}),
    ("a killed run's leftovers", leftovers, 0, [f"site/{LEFT}: removed, a temporary file left by a stopped run"],
     [], {f"site/{IN_USE}": b"being written now", "site/.quorvane-abcd1234.tmp": b"the user's"}),
    ("named twice, ACL and extended attributes", attributes, 0, ["a.html: 1 anchor rewritten"], [], {}),
    ("a site's other files, --protect", published_protect, 0,
     ["site/feed.xml: 2 values with addresses rewritten", "site/index.html: 1 anchor rewritten",
      "site/.doctrees/index.doctree:1: a generator's cache, which a server publishes with the pages: keep it out of the "
      "published folder",
      "site/.well-known/security.txt:1: 1 readable address in a published text file: only the program that wrote it can "
      "keep them out",
      "site/_sources/index.rst.txt:2: 1 readable address in a published text file: only the program that wrote it can "
      "keep them out", "site/search/search_index.json: 1 value with addresses rewritten",
      "site/logo.png:3: 1 readable address in a binary file (a PDF's links, an image's text): not rewritten; only the "
      "program that wrote it can keep them out"], [], {}),
    ("a site's other files, --check with an address accepted", published_check, 1,
     ["site/feed.xml:1: feed: me@example.org", "site/feed.xml:1: feed: me@example.org", "site/index.html:2: attribute href: "
      "me@example.org", "site/_sources/index.rst.txt:2: text: me@example.org",
      "site/search/search_index.json:1: json: me@example.org", "site/.git/description:1: text: git@example.org",
      "site/logo.png:3: binary file; not rewritten: me@example.org",
      "site/.doctrees/index.doctree:1: a generator's cache: me@example.org"],
     [r"8 files \(\d+ bytes\) read, 1 binary read as bytes; 8 readable addresses in 7 files \(2 in hidden folders or "
      r"files\); 1 accepted; 0 errors"], {}),
    ("edit, folder and page swapped during the run", changes_during_run, 1, [],
     ["site/a.html: it changed during the run: kept as it is now, not rewritten; run again",
      # The FIFO may take the inode number of the page it replaced: then it is told by its type.
      f"site/c.html: ({MOVED}|not a regular file but a FIFO; not read)", "site/sub/page.html: " + MOVED],
     {"site/a.html": EDITED, "elsewhere/page.html": PAGE}),
]


def run_row(tool, setup, top):
    """Runs the row's setup and the tool in `top`: its output, standard error, exit code and check; None when the
    change to be made during the run could not be made in time."""
    args, during, check = (lambda r: r if isinstance(r, tuple) else (r, None, None))(setup(top))
    process = subprocess.Popen([tool, *args], cwd=top, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        caught = during(process) if during else True
    except BaseException:
        process.kill()
        process.communicate()
        raise
    try:
        stdout, stderr = (s.decode("utf-8", "surrogateescape") for s in process.communicate(timeout=GUARD))
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        raise AssertionError(f"the tool did not end within {GUARD} s: hang guard")
    return (stdout, stderr, process.returncode, check) if caught else None


def check_row(tool, case, setup, code, out, err, after, top):
    for attempt in range(TRIES):
        work = top / f"try{attempt}"
        work.mkdir()
        ran = run_row(tool, setup, work)
        if ran:
            break
        print(f"note {case}: the tool was done with the page before it could be stopped; again")
    else:
        raise Skip(f"the tool was done with the page before it could be stopped, {TRIES} times")
    stdout, stderr, returncode, check = ran
    top = work
    problems = [f"exit {returncode}, expected {code}"] if returncode != code else []
    problems += [f"no line {want!r} on standard output" for want in out if want not in stdout.splitlines()]
    problems += [f"no line {want!r} on standard error" for want in err
                 if not any(re.fullmatch(f"quorvane-code: {want}", line) for line in stderr.splitlines())]
    problems += [f"{name} is not as expected" for name, data in after.items() if (top / name).read_bytes() != data]
    problems += check(stdout) if check else []
    problems += [f"temporary file left: {p}" for p in top.rglob(".quorvane-*") if str(p.relative_to(top)) not in after]
    print(f"{'FAIL' if problems else 'ok  '} {case}" + "".join(f"\n     {p}" for p in problems))
    if problems:
        print(f"     stdout: {stdout!r}\n     stderr: {stderr!r}")
    return not problems


def signal_run(tool, top, sig, count, protected):
    """One run over `count` pages, stopped by `sig` once it has printed a page; None when it was done with every page
    before it could be stopped. Otherwise its problems and what it did."""
    page = BIG[:200_000] + b"</p>\n"
    for n in range(count):
        write(top / f"site/s{n % 10}/p{n:04}.html", page)
    site = sorted((top / "site").rglob("*.html"))

    def changed():
        return sorted(str(p.relative_to(top)) for p in site if p.read_bytes() == protected)

    with open(top / "out", "wb") as out:
        process = subprocess.Popen([tool, "--protect", "--jobs", "2", "site"], cwd=top, stdout=out, stderr=subprocess.PIPE)
        try:
            deadline = time.monotonic() + GUARD
            while (top / "out").stat().st_size == 0 and process.poll() is None:
                if time.monotonic() > deadline:
                    raise AssertionError(f"no page done within {GUARD} s: hang guard")
                time.sleep(0.001)
            # Stopped while the signal is sent, so that the pages done before it can be counted.
            before = changed() if stop(process) else site
            if len(before) == len(site):
                process.send_signal(signal.SIGCONT)
                process.communicate(timeout=GUARD)
                return None
            process.send_signal(sig)
            process.send_signal(signal.SIGCONT)
            stderr = process.communicate(timeout=GUARD)[1].decode()
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the tool did not end within {GUARD} s of {sig.name}: hang guard")
        finally:
            if process.poll() is None:
                process.kill()
                process.communicate()
    after = changed()
    listed = sorted(line.split(":")[0] for line in (top / "out").read_text().splitlines())
    problems = [f"exit {process.returncode}, expected {-sig}"] if process.returncode != -sig else []
    # The pages being replaced when the signal came are finished; one that the tool only began afterwards shows that
    # it went on. Going on to the last page is what no scheduling explains.
    problems += [f"went on after {sig.name} to do all {count} pages"] if len(after) == count else []
    problems += ["no summary"] if not re.search(rf"stopped by {sig.name} after \d+ files? \(", stderr) else []
    problems += ["the pages listed are not the pages changed"] if listed != after or not after else []
    problems += [f"{p.relative_to(top)} half done" for p in site if p.read_bytes() not in (protected, page)]
    problems += [f"temporary file left: {p}" for p in top.rglob(".quorvane-*")]
    return problems, f"{len(before)} of {count} pages changed before it, {len(after) - len(before)} after it, all listed"


def check_signal(tool, top, sig):
    """A run stopped by a signal: ends without going on through the pages, lists every page it changed, leaves every
    other page whole. A machine fast enough to do every page before the signal lands gets twice as many, a few times."""
    write(top / "one.html", BIG[:200_000] + b"</p>\n")
    subprocess.run([tool, "--protect", "one.html"], cwd=top, capture_output=True, check=True)
    protected = (top / "one.html").read_bytes()
    for attempt in range(TRIES):
        count = 300 << attempt
        ran = signal_run(tool, top / f"try{attempt}", sig, count, protected)
        if ran:
            break
        print(f"note {sig.name}: the tool did all {count} pages before it could be stopped; again with more")
    else:
        raise Skip(f"the tool did all the pages before it could be stopped, {TRIES} times, up to {count} pages")
    problems, figures = ran
    print(f"{'FAIL' if problems else 'ok  '} {sig.name} during the run: {figures}" + "".join(f"\n     {p}" for p in problems))
    return not problems


def main():
    tool = os.path.abspath(sys.argv[1])
    checks = [(row[0], lambda top, row=row: check_row(tool, *row, top)) for row in ROWS]
    checks += [(sig.name, lambda top, sig=sig: check_signal(tool, top, sig)) for sig in (signal.SIGTERM, signal.SIGINT)]
    passed = 0
    for case, check in checks:
        top = pathlib.Path(tempfile.mkdtemp(prefix="quorvane-hostile-"))
        try:
            passed += check(top)
        except Skip as reason:
            print(f"skip {case}: {reason}")
            passed += 1
        except (AssertionError, OSError, subprocess.SubprocessError) as failure:
            print(f"FAIL {case}: {failure}")
        finally:
            shutil.rmtree(top)
    print(f"{passed} of {len(checks)} rows hold")
    return 0 if passed == len(checks) else 1


if __name__ == "__main__":
    sys.exit(main())
