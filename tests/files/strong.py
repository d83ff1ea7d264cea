"""quorvane-code --protect --form strong, the command's side: where the decoder goes, how pages name it, and what a second run, a dry run or a user's own file of its name do.

Usage: strong.py TOOL
"""
import base64
import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

from hostile import PAGE, temporary_name, write

DECODER = "quorvane-mail.js"
HASH_LINE = r"quorvane-code: (.*): where scripts are pinned by hash, allow '(sha256-[A-Za-z0-9+/=]+)' \(integrity=\"\2\"\)"


def snapshot(top):
    """Every file under `top` with its bytes and modification time."""
    return {str(p.relative_to(top)): (p.read_bytes(), p.stat().st_mtime_ns) for p in sorted(top.rglob("*")) if p.is_file()}


def site(top):
    for name in ("site/index.html", "site/a/p.html", "site/a/b/q.html"):
        write(top / name)


def pages_name(*wanted):
    """Each (page, URL): the page refers to the decoder at that URL."""
    def check(top, runs):
        return [f"{page} has no <script src=\"{url}\"" for page, url in wanted
                if f'<script src="{url}"'.encode() not in (top / page).read_bytes()]
    return check


def hashes_match(top, runs):
    """Each hash line names a decoder file whose SHA-256 is the one given."""
    lines = [re.fullmatch(HASH_LINE, line) for line in runs[-1][1].splitlines()]
    found = [m for m in lines if m]
    problems = [] if found else ["no hash line"]
    for m in found:
        digest = "sha256-" + base64.b64encode(hashlib.sha256((top / m[1]).read_bytes()).digest()).decode()
        problems += [] if m[2] == digest else [f"{m[1]}: hash line {m[2]}, the file's {digest}"]
    return problems


def second_run_changes_nothing(top, runs):
    before, after = runs[0][3], runs[1][3]
    problems = [f"{name} changed by the second run" for name in before if after.get(name) != before[name]]
    return problems + [f"second run said: {line}" for line in runs[1][0].splitlines() if "decoder" in line]


def unchanged(top, runs):
    return [f"{name} touched" for name in runs[0][2] if runs[0][3].get(name) != runs[0][2][name]]


def own_decoder(top):
    site(top)
    write(top / f"site/{DECODER}", b"console.log('the user\\'s own');\n")
    write(top / f"site/a/{temporary_name('abcd1234')}", b"left by a killed run")  # not removed either


# (case, setup, arguments of each run, exit code of the last, patterns of its lines on standard output and on standard
# error, a check of the files and runs).
ROWS = [
    ("folder PATH: the decoder at its top, named at depth 0, 1 and 2", site, [["site"]], 0,
     [f"site/{DECODER}: the decoder written, with a new key", r"site/a/b/q\.html: .* rewritten"], [HASH_LINE],
     pages_name(("site/index.html", DECODER), ("site/a/p.html", "../" + DECODER), ("site/a/b/q.html", "../../" + DECODER))),
    ("file PATH: the decoder beside it", site, [["site/a/b/q.html"]], 0,
     [f"site/a/b/{DECODER}: the decoder written, with a new key"], [HASH_LINE],
     lambda top, runs: pages_name(("site/a/b/q.html", DECODER))(top, runs) +
     [f"{name} written" for name in (f"site/{DECODER}", f"site/a/{DECODER}") if (top / name).exists()]),
    ("two PATHs in one folder: one decoder", site, [["site/a/p.html", "site/a/"]], 0,
     [f"site/a/{DECODER}: the decoder written, with a new key"], [HASH_LINE], pages_name(("site/a/b/q.html", "../" + DECODER))),
    ("the hash line is the decoder file's", site, [["site"], ["site"]], 0, [], [HASH_LINE], hashes_match),
    ("a second run changes no byte and writes no decoder", site, [["site"], ["site"]], 0, [], [HASH_LINE],
     second_run_changes_nothing),
    ("--dry-run writes nothing", site, [["--dry-run", "site"]], 0,
     [f"site/{DECODER}: the decoder to write, with a new key", r"site/a/p\.html: .* to rewrite"], [],
     lambda top, runs: unchanged(top, runs) + [line for line in runs[0][1].splitlines() if re.fullmatch(HASH_LINE, line)]),
    ("a user's own file of the decoder's name stops the run, nothing touched", own_decoder, [["site"]], 1, [],
     [f"quorvane-code: site/{DECODER}: a file of the decoder's name that is not one of this tool's .*; nothing done"],
     unchanged),
]

# Options out of place: (arguments, the error).
USAGE = [
    (["--protect", "--fallback-text", "write to us", "site"], "--fallback-text and --fallback-url go with --form strong only"),
    (["--protect", "--form", "script", "--fallback-url", "/contact/", "site"],
     "--fallback-text and --fallback-url go with --form strong only"),
    (["--check", "--fallback-url", "/contact/", "site"], "--fallback-text and --fallback-url go with --form strong only"),
    (["--protect", "--form", "strong", "--fallback-text"], "--fallback-text wants its operand"),
    (["--protect", "--form", "strong", "--fallback-text", "write to me@example.org", "site"],
     '--fallback-text holds an address or "mailto", which the strong form keeps out of pages'),
    (["--protect", "--form", "strong", "--fallback-url", "MailTo:?subject=hi", "site"],
     '--fallback-url holds an address or "mailto", which the strong form keeps out of pages'),
]


def check_row(tool, case, setup, runs, code, out, err, check, top):
    setup(top)
    done = []
    for args in runs:
        before = snapshot(top)
        ran = subprocess.run([tool, "--protect", "--form", "strong", *args], cwd=top, capture_output=True, timeout=120)
        done.append((ran.stdout.decode(), ran.stderr.decode(), before, snapshot(top)))
    stdout, stderr = done[-1][:2]
    problems = [f"exit {ran.returncode}, expected {code}"] if ran.returncode != code else []
    problems += [f"no line {want!r} on standard output" for want in out
                 if not any(re.fullmatch(want, line) for line in stdout.splitlines())]
    problems += [f"no line {want!r} on standard error" for want in err
                 if not any(re.fullmatch(want, line) for line in stderr.splitlines())]
    problems += check(top, done)
    problems += [f"temporary file left: {p}" for p in top.rglob(".quorvane-*") if "abcd1234" not in p.name]
    print(f"{'FAIL' if problems else 'ok  '} {case}" + "".join(f"\n     {p}" for p in problems))
    if problems:
        print(f"     stdout: {stdout!r}\n     stderr: {stderr!r}")
    return not problems


def check_usage(tool, args, error, top):
    ran = subprocess.run([tool, *args], cwd=top, capture_output=True, timeout=120)
    ok = ran.returncode == 2 and ran.stderr.decode().splitlines()[:1] == [f"quorvane-code: {error}"]
    print(f"{'ok  ' if ok else 'FAIL'} {' '.join(args)}: {error}" + ("" if ok else f"\n     {ran!r}"))
    return ok


def main():
    tool = os.path.abspath(sys.argv[1])
    checks = [lambda top, row=row: check_row(tool, *row, top) for row in ROWS]
    checks += [lambda top, u=u: check_usage(tool, *u, top) for u in USAGE]
    passed = 0
    for check in checks:
        top = pathlib.Path(tempfile.mkdtemp(prefix="quorvane-strong-"))
        try:
            passed += check(top)
        finally:
            shutil.rmtree(top)
    print(f"{passed} of {len(checks)} rows hold")
    return 0 if passed == len(checks) else 1


if __name__ == "__main__":
    sys.exit(main())
