"""Runs the Windows quorvane-code.exe under Wine and the host's quorvane-code with the same arguments: the same bytes must come out.

Under each double-byte locale quorvane-code.exe and Crypt (a case of the program
driver) must give the same code, whose script, decoded as a browser does, writes the link.

Usage: compare_code.py --host TOOL --bench BENCH --state STATE --exe TOOL.exe [--driver DRIVER.exe]
       compare_code.py --host TOOL --guest-cases DIR    (before a run in the emulated PC)
       compare_code.py --host TOOL --guest-results DIR  (after it)

With --site (and --bench, --state, --exe), both run --protect on a copy each of a small site in a folder
with a non-ASCII name, and --check on the result: the same files, listing and
exit codes must come out. Then the exe's --protect over 300 pages is stopped
with Ctrl+C: it must list the pages it changed, and those only, and leave no
temporary file.

In the emulated PC the exe runs from guest-run.sh: for each case N it reads
the arguments from N.address and N.link and leaves N.out and N.status; on the
small site in site/ it runs --protect and --check, and leaves what they printed
(site.COMMAND.out, .err, .status), the pages after them (site-after/) and
whether the untouched page kept its time (site.mtime).
"""
import argparse
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time

# Seconds a run under Wine may take before it counts as a hang, stretched for a slow machine as the drivers' waits are.
GUARD = 120 * max(1, min(100, int(os.environ.get("QUORVANE_TIME_SCALE", "1") or "1")))

# (what the row shows, address, link text, exit code), as bytes in code page
# 1252, the ANSI code page of the bench's Wine prefix.
CASES = [
    ("plain address", b"someone@example.org", b"Write to us", 0),
    # 0xFC u-umlaut, 0x80 euro sign, 0xE9 e-acute, 0xDF sharp s.
    ("bytes above 127", b"j\xfcrgen\x80@caf\xe9.example", b"\x80 caf\xe9 M\xfcller \xdf", 0),
    # Quotes and backslashes have to survive the command line's own quoting as well.
    ("quotes, backslashes and an end tag", b'o"ne\\il@example.org', b'say "hi" \\ to</script>me\\', 0),
    # A C runtime that expanded wildcards would put file names here.
    ("a lone wildcard", b"info@example.org", b"*", 0),
    # Crypt makes no code then: nothing is printed.
    ("empty link text, no @", b"nobody", b"", 3),
]

# (code page, its locale, the encoding's name for a browser, rows of address and link text).
# Trail bytes 0x40 ("@") and 0x5C (backslash): 932 機 8B40 能 945C 表 955C ソ 835C,
# 936 園 8840 籠 BB5C, 950 一 A440 功 A55C 許 B35C.
DOUBLE_BYTE = [
    (932, "ja_JP.UTF-8", "shift_jis", [("a@b.example", "機能"), ("機能ソ@表.example", '表 "機能" \\ ソ</a>')]),
    (936, "zh_CN.UTF-8", "gbk", [("園籠@籠園.example", '籠 "園" \\ 籠')]),
    (950, "zh_TW.UTF-8", "big5", [("一功@許一.example", '功 "一" \\ 許')]),
]

# Decodes the code from stdin as a browser does, runs its script with a stand-in for document.write
# and prints what it wrote.
RUN_SCRIPT = """let written = '', code = new TextDecoder(process.argv[1]).decode(require('fs').readFileSync(0));
require('vm').runInNewContext(code.split('<SCRIPT LANGUAGE=JAVASCRIPT>')[1].split('</SCRIPT>')[0],
                              {document: {write: (s) => { written += s; }}});
process.stdout.write(written);"""


# Wine turns the Unix arguments into Unicode by the locale's character set,
# and then into the ANSI code page for a narrow main(): in a UTF-8 locale,
# the UTF-8 form of each character arrives as its code page byte.
def wine_argument(arg):
    return arg.decode("cp1252").encode("utf-8")


def compare(label, expected, exit_code, returncode, stdout, stderr):
    if returncode == exit_code and stdout == expected:
        print(f"ok   {label}: {len(expected)} bytes")
        return True
    print(f"FAIL {label}: exit code {returncode}, {len(stdout)} bytes, expected {exit_code} and {len(expected)}")
    at = next((i for i, (a, b) in enumerate(zip(stdout, expected)) if a != b), min(len(stdout), len(expected)))
    print(f"     first difference at byte {at}: got {stdout[at:at + 40]!r}, expected {expected[at:at + 40]!r}")
    if stderr:
        print(f"     stderr: {stderr.decode('utf-8', 'replace').strip()}")
    return False


# Each code page's rows, under its locale: quorvane-code.exe with them as arguments, Crypt with them in files.
def compare_double_byte(args):
    failures = 0
    for codepage, locale, encoding, rows in DOUBLE_BYTE:
        with tempfile.TemporaryDirectory() as folder:
            for number, texts in enumerate(rows):
                for suffix, text in zip(("address", "link"), texts):
                    pathlib.Path(folder, f"{number}.{suffix}").write_bytes(text.encode(f"cp{codepage}"))
            env = dict(os.environ, LC_ALL=locale, QUORVANE_CODE_PAGE=str(codepage),
                       QUORVANE_CODE_CASES="Z:" + folder.replace("/", "\\"))
            bench = [args.bench, "run", args.state, "120"]
            crypt = subprocess.run([*bench, args.driver, "crypt", "code_for_the_code_comparison"], capture_output=True, env=env)
            print(crypt.stdout.decode("utf-8", "replace"), end="")
            failures += crypt.returncode != 0
            for number, (address, link_text) in enumerate(rows):
                tool = subprocess.run([*bench, args.exe, address.encode(), link_text.encode()], capture_output=True, env=env)
                out = pathlib.Path(folder, f"{number}.out")
                codes = {"quorvane-code.exe": tool.stdout, "Crypt": out.read_bytes() if out.exists() else b""}
                problems = [f"quorvane-code.exe ended with {tool.returncode}"] if tool.returncode else []
                problems += ["Crypt and quorvane-code.exe differ"] if codes["Crypt"] != tool.stdout else []
                for who, code in codes.items():
                    run = subprocess.run(["node", "-e", RUN_SCRIPT, encoding], input=code, capture_output=True)
                    if run.returncode or run.stdout.decode() != f"<a href=mailto:{address}>{link_text}</a>":
                        error = [line for line in run.stderr.decode().splitlines() if "Error" in line][:1]
                        problems.append(f"{who}'s script wrote {run.stdout.decode()!r} {' '.join(error)}")
                print(f"{'FAIL' if problems else 'ok  '} {codepage} {address} {link_text}: {'; '.join(problems) or 'the script writes the link'}")
                failures += bool(problems)
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--site", action="store_true")
    parser.add_argument("--host", required=True)
    for name in ("--bench", "--state", "--exe", "--driver", "--guest-cases", "--guest-results"):
        parser.add_argument(name)
    args = parser.parse_args()

    if args.guest_cases:
        folder = pathlib.Path(args.guest_cases)
        folder.mkdir(parents=True, exist_ok=True)
        for number, (_, address, link_text, _) in enumerate(CASES):
            (folder / f"{number}.address").write_bytes(wine_argument(address))
            (folder / f"{number}.link").write_bytes(wine_argument(link_text))
        make_site(folder / "site")
        return 0

    if not args.guest_results and not (args.bench and args.state and args.exe):
        parser.error("give --bench, --state and --exe, or --guest-cases or --guest-results")
    wine_env = dict(os.environ, LC_ALL="C.UTF-8")
    if args.site:
        return compare_site(args, wine_env) | ctrl_c(args, wine_env)
    failures = 0
    for number, (label, address, link_text, exit_code) in enumerate(CASES):
        host = subprocess.run([args.host, address, link_text], capture_output=True)
        expected = host.stdout
        if host.returncode != exit_code or (exit_code and expected):
            print(f"FAIL {label}: the host tool ended with {host.returncode} after {len(expected)} bytes, expected {exit_code}")
            failures += 1
            continue
        if args.guest_results:
            folder = pathlib.Path(args.guest_results)
            out, status = folder / f"{number}.out", folder / f"{number}.status"
            if not status.exists():
                print(f"FAIL {label}: the emulated PC did not run it")
                failures += 1
                continue
            run = (int(status.read_text()), out.read_bytes(), b"")
        else:
            done = subprocess.run([args.bench, "run", args.state, "60", args.exe, *map(wine_argument, (address, link_text))],
                                  capture_output=True, env=wine_env)
            run = (done.returncode, done.stdout, done.stderr)
        failures += not compare(label, expected, exit_code, *run)
    print(f"{len(CASES) - failures} of {len(CASES)} rows give the same bytes")
    if args.driver and not args.guest_results:
        failures += compare_double_byte(args)
    if args.guest_results:
        failures += compare_site(args, wine_env)
    return 1 if failures else 0


# The small site: LF and CR LF pages, an anchor with an attribute, a page with
# nothing to rewrite, a hard link (listed, not replaced), a non-ASCII file
# name, an *.xhtml file that is never rewritten, and the other files a site
# publishes.
SITE = {
    "index.html": b'<!DOCTYPE html><meta charset="utf-8">\n<p>Write to <a href="mailto:me@example.org">me</a>.\n',
    "Unterseite/caf\u00e9.htm": b'<meta charset="utf-8">\r\n<p><a href=mailto:x@example.org>x@example.org</a>\r\n'
                                  b'<p><a class=m href="mailto:y@example.org">y</a>\r\n',
    "Unterseite/plain.html": b'<meta charset="utf-8"><p>No link here, only pkg@1.2.3.\n',
    "Unterseite/true.xhtml": b'<p><a href="mailto:z@example.org">z</a></p>\n',
    "twice.html": b'<meta charset="utf-8"><a href="mailto:two@example.org">two</a>\n',
    # What generators publish beside the pages: a feed, a search index, a source copy and an image.
    "feed.xml": b'<rss><channel><item><description>&lt;a href="mailto:me@example.org"&gt;me&lt;/a&gt;'
                b'</description></item></channel></rss>\n',
    "search/search_index.json": b'{"docs": [{"text": "Write to me@example.org"}]}\n',
    "_sources/index.rst.txt": b"Write to `me <mailto:me@example.org>`_\n",
    "logo.png": b"\x89PNG\r\n\x1a\n\0\0me@example.org",
}


SITE_TOP = "Seiten-\u00fc-\u30b5\u30a4\u30c8"


def make_site(parent):
    top = pathlib.Path(parent, SITE_TOP)
    for name, data in SITE.items():
        (top / name).parent.mkdir(parents=True, exist_ok=True)
        (top / name).write_bytes(data)
    os.link(top / "twice.html", top / "Unterseite" / "twice.html")
    os.utime(top / "Unterseite" / "plain.html", (1e9, 1e9))
    return top


def site_files(top, kept_time):
    return {name: (top / name).read_bytes() for name in SITE}, kept_time


# The run of the exe: under Wine here, or read back from what the emulated PC left.
def exe_site_runs(args, wine_env, temp):
    if args.guest_results:
        folder = pathlib.Path(args.guest_results)
        if not (folder / "site.check.status").exists():
            return None
        runs = {command: (int((folder / f"site.{command[2:]}.status").read_text()),
                          (folder / f"site.{command[2:]}.out").read_bytes().replace(b"\\", b"/"),
                          (folder / f"site.{command[2:]}.err").read_bytes())
                for command in ("--protect", "--check")}
        runs["files"] = site_files(folder / "site-after" / SITE_TOP, (folder / "site.mtime").read_text().strip() == "1000000000")
        return runs
    return site_runs([args.bench, "run", args.state, "60", args.exe], make_site(pathlib.Path(temp, "exe")), wine_env)


def site_runs(tool, top, env):
    runs = {}
    for command in ("--protect", "--check"):
        done = subprocess.run(tool + [command, top.name], cwd=top.parent, capture_output=True, env=env)
        runs[command] = (done.returncode, done.stdout.replace(b"\\", b"/"), done.stderr)
    runs["files"] = site_files(top, (top / "Unterseite" / "plain.html").stat().st_mtime == 1e9)
    return runs


def compare_site(args, wine_env):
    failures = 0
    with tempfile.TemporaryDirectory() as temp:
        host_runs = site_runs([args.host], make_site(pathlib.Path(temp, "host")), wine_env)
        exe_runs = exe_site_runs(args, wine_env, temp)
        if exe_runs is None:
            print("FAIL site: the emulated PC did not run the site commands")
            return 1
        for what in ("--protect", "--check", "files"):
            host, exe = host_runs[what], exe_runs[what]
            # The host's run has to have done something for the comparison to mean anything.
            ok = host == exe and (host[0] == 1 if what == "--check" else host[0]["index.html"] != SITE["index.html"]
                                  if what == "files" else True)
            print(f"{'ok  ' if ok else 'FAIL'} site {what}: {'the same' if host == exe else 'differ'}; "
                  f"host {host if what != 'files' else host[1]}")
            if not ok:
                print(f"     exe {exe}")
            failures += not ok
    return 1 if failures else 0


def descendants(pid):
    parents = {}
    for stat in pathlib.Path("/proc").glob("[0-9]*/stat"):
        try:
            parents[int(stat.parent.name)] = int(stat.read_text().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            pass
    found = {pid}
    while True:
        more = {child for child, parent in parents.items() if parent in found} - found
        if not more:
            return found - {pid}
        found |= more


def ctrl_c_run(args, wine_env, count):
    """One --protect over `count` pages, stopped with Ctrl+C once it has printed a page: 0 or 1 as main's, or None
    when it was done with every page before Ctrl+C could reach it."""
    page = b'<meta charset="utf-8"><p>' + b"lorem ipsum " * 20000 + b'<a href="mailto:me@example.org">me</a>\n'
    with tempfile.TemporaryDirectory() as temp:
        top, out = pathlib.Path(temp, "many"), pathlib.Path(temp, "out")
        for n in range(count):
            (top / f"s{n % 10}").mkdir(parents=True, exist_ok=True)
            (top / f"s{n % 10}/p{n:04}.html").write_bytes(page)
        sent = False
        with open(out, "wb") as stdout:
            run = subprocess.Popen([args.bench, "run", args.state, str(GUARD), args.exe, "--protect", "--jobs", "2", top.name],
                                   cwd=temp, stdout=stdout, stderr=subprocess.PIPE, env=wine_env)
            # No deadline of its own: bench.sh ends the run after GUARD seconds.
            while out.stat().st_size == 0 and run.poll() is None:
                time.sleep(0.01)
            # Wine hands SIGINT to the program's console handlers as Ctrl+C.
            for pid in descendants(run.pid):
                try:
                    if pathlib.Path(f"/proc/{pid}/comm").read_text().startswith("quorvane-code"):
                        os.kill(pid, signal.SIGINT)
                        sent = True
                except OSError:
                    pass  # ended meanwhile
            try:
                stderr = run.communicate(timeout=GUARD + 60)[1].decode("utf-8", "replace")
            except subprocess.TimeoutExpired:
                run.kill()
                run.communicate()
                print(f"FAIL Ctrl+C during --protect: bench.sh did not end {GUARD + 60} s after it began: hang guard")
                return 1
        changed = sorted(p.relative_to(temp).as_posix() for p in top.rglob("*.html") if p.read_bytes() != page)
        listed = sorted(line.split(":")[0].replace("\\", "/") for line in out.read_text().splitlines())
        left = list(top.rglob(".quorvane-*"))
        if run.returncode == 0 and len(changed) == count and (not sent or "stopped by Ctrl+C" not in stderr):
            return None
        if run.returncode == 124:
            print(f"FAIL Ctrl+C during --protect: still running after {GUARD} s: hang guard (bench.sh ended it)")
            return 1
        # Wine's server now and then ends a process by SIGKILL while its threads exit on a busy machine: no status
        # of the program's own, and no page replaced after Ctrl+C. Told apart, and tried again.
        if run.returncode == 137 and not left and listed == changed:
            return "killed"
        # The status of a process that Ctrl+C ended, 0xC000013A, as Wine's exit code gives its low byte.
        ok = run.returncode == 0x3A and "stopped by Ctrl+C after" in stderr and listed == changed and changed and not left
        # Going on to the last page after Ctrl+C is what no scheduling explains.
        ok = ok and len(changed) < count
        print(f"{'ok  ' if ok else 'FAIL'} Ctrl+C during --protect: exit {run.returncode}, {len(changed)} of {count} pages "
              f"changed, {len(listed)} listed, {len(left)} temporary files left; {stderr.strip().splitlines()[-1:]}")
        return 0 if ok else 1


def ctrl_c(args, wine_env):
    """--protect stopped with Ctrl+C lists the pages it changed, those only, and leaves no temporary file. A machine
    fast enough to do every page before Ctrl+C reaches the program gets twice as many, a few times."""
    for attempt in range(3):
        count = 300 << attempt
        result = ctrl_c_run(args, wine_env, count)
        if result == "killed" and attempt < 2:
            print("note Ctrl+C: Wine ended quorvane-code.exe by SIGKILL as it exited (status 137), every page it "
                  "changed listed; again")
            continue
        if result == "killed":
            print("FAIL Ctrl+C during --protect: Wine ended quorvane-code.exe by SIGKILL 3 times")
            return 1
        if result is not None:
            return result
        print(f"note Ctrl+C: quorvane-code.exe did all {count} pages before Ctrl+C reached it; again with more")
    print(f"skip Ctrl+C during --protect: quorvane-code.exe did all the pages before Ctrl+C reached it, 3 times, "
          f"up to {count} pages")
    return 0


if __name__ == "__main__":
    sys.exit(main())
