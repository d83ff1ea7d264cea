"""How the cost of quorvane-code --protect --dry-run and --check grows with pathological pages, each at sizes that double.

Usage: bench-pathological.py TOOL [--only NAME] [--guard SECONDS] [--runs N]

Each kind of page comes at three or four sizes, each twice the one before;
for each size the table gives the page's bytes, the wall and processor
seconds, MB/s, the peak resident memory and the ratios of the wall and the
processor time to those of the size before: near 2 the cost grows with the
page, near 4 with its square. The processor time's ratio is the one to read
on a busy machine. A size runs N times (3 unless given) while a run takes
under 5 s, and the run with the shortest wall time counts.
A run still going after SECONDS (120 unless given) is ended and shown as
"over SECONDS s"; the larger sizes of that kind are then not run for that
command. This reports figures only and always ends with 0; an exit code of
the tool other than the one expected is printed as a warning line.
"""
import argparse
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import threading
import time

LINK = b'<p>Write to <a href="mailto:me@example.org">me</a>.</p>\n'


def attributes(count):
    # One start tag; the link after it is what makes the tool read the page.
    tag = b"<p " + b" ".join(b"a%d=x" % i for i in range(count)) + b">text</p>\n"
    return b"<!DOCTYPE html>\n" + tag + LINK


def href_addresses(size):
    # Half the bytes in the href's list of addresses, half in the text that repeats them.
    addresses, length, i = [], 0, 0
    while length < size // 2:
        address = b"a%d@example.org" % i
        addresses.append(address)
        length += len(address) + 1
        i += 1
    return (b'<!DOCTYPE html>\n<p><a href="mailto:' + b",".join(addresses) + b'">' + b" ".join(addresses) +
            b"</a></p>\n")


def links(count):
    return b"<!DOCTYPE html>\n" + b"<a href=mailto:a@b.cd>x</a>\n" * count


def misnested(count):
    return b"<!DOCTYPE html>\n" + b"<b><i><a href=mailto:a@b.cd>x</b></i></a>\n" * count


def nested(depth):
    return b"<!DOCTYPE html>\n" + b"<div>" * depth + LINK + b"</div>" * depth + b"\n"


# (name, what a size counts, the sizes, the page of a size)
KINDS = [
    ("attributes", "one start tag with many attributes", "attributes", [25_000, 50_000, 100_000, 200_000], attributes),
    ("href", "one mailto href with many addresses, and its text", "about", [250_000, 500_000, 1_000_000, 2_000_000],
     href_addresses),
    ("links", "many short mailto links", "links", [100_000, 200_000, 400_000], links),
    ("misnested", "<b><i><a href=mailto:a@b.cd>x</b></i></a> repeated", "times", [12_500, 25_000, 50_000, 100_000],
     misnested),
    ("nested", "<div> nested deep around one link", "levels", [12_500, 25_000, 50_000, 100_000], nested),
]

# The command's arguments before the page, and the exit codes it may end with on a page with a link.
COMMANDS = [("--protect --dry-run", ["--protect", "--dry-run"], (0,)),
            ("--protect --form strong --dry-run", ["--protect", "--form", "strong", "--dry-run"], (0,)),
            ("--check", ["--check"], (1,))]


def run_once(command, cwd, guard):
    """Wall seconds, processor seconds, peak resident MB, exit code and standard error of one run; the wall time is
    None when the run was ended after `guard` seconds."""
    # The peak comes from GNU time, which starts the tool from its own small
    # process, so that this script's memory does not count in it. At the
    # guard only the tool is ended, so that GNU time still reports its peak
    # and processor time.
    with tempfile.TemporaryFile() as err, tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name, *command], cwd=cwd,
                                   stdout=subprocess.DEVNULL, stderr=err, start_new_session=True)
        over = threading.Event()

        def end():
            over.set()
            try:
                children = pathlib.Path(f"/proc/{process.pid}/task/{process.pid}/children").read_text().split()
                for child in children:
                    os.kill(int(child), signal.SIGKILL)
            except (OSError, ValueError):
                children = []
            if not children:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        timer = threading.Timer(guard, end)
        timer.start()
        _, status, used = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
        timer.cancel()
        process.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        words = peak.read().split()
        megabytes = int(words[-1]) / 1024 if words and words[-1].isdigit() else float("nan")
        return (None if over.is_set() else wall, used.ru_utime + used.ru_stime, megabytes, process.returncode,
                err.read().decode("utf-8", "replace"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool")
    parser.add_argument("--only", action="append", choices=[k[0] for k in KINDS])
    parser.add_argument("--guard", type=float, default=120)
    parser.add_argument("--runs", type=int, default=3, help="runs of each command and size while they are short")
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)

    print(f"pathological pages: x wall and x cpu are the wall and processor time over those of the size before, "
          f"which is half as large (near 2: grows with the page; near 4: with its square); runs are ended after "
          f"{args.guard:.0f} s")
    with tempfile.TemporaryDirectory(prefix="quorvane-bench-") as temp:
        for name, what, unit, sizes, make in KINDS:
            if args.only and name not in args.only:
                continue
            print(f"\n{name}: {what}")
            pages = []
            for size in sizes:
                path = pathlib.Path(temp, f"{name}-{size}.html")
                path.write_bytes(make(size))
                pages.append((size, path))
            for label, flags, codes in COMMANDS:
                print(f"  {label}")
                print(f"    {unit:>10} {'bytes':>11} {'seconds':>9} {'cpu s':>8} {'MB/s':>8} {'peak MB':>8} "
                      f"{'x wall':>6} {'x cpu':>6}")
                previous = None
                for number, (size, path) in enumerate(pages):
                    if previous == "over":
                        print(f"    {size:>10,} {path.stat().st_size:>11,}   not run: the size before went over "
                              f"{args.guard:.0f} s")
                        continue
                    results = [run_once([tool, *flags, path.name], temp, args.guard)]
                    while len(results) < args.runs and results[-1][0] is not None and results[-1][0] < 5:
                        results.append(run_once([tool, *flags, path.name], temp, args.guard))
                    finished = [r for r in results if r[0] is not None]
                    length = path.stat().st_size
                    if not finished:
                        _, cpu, peak, code, stderr = results[-1]
                        print(f"    {size:>10,} {length:>11,} {'over ' + format(args.guard, '.0f') + ' s':>9} "
                              f"{cpu:>8.2f} {'':>8} {peak:>8.1f}")
                        previous = "over"
                        continue
                    wall, cpu, peak, code, stderr = min(finished, key=lambda r: r[0])
                    ratios = f"{wall / previous[0]:6.2f} {cpu / previous[1]:6.2f}" if previous else ""
                    print(f"    {size:>10,} {length:>11,} {wall:>9.3f} {cpu:>8.3f} {length / 1e6 / wall:>8.2f} "
                          f"{peak:>8.1f} {ratios}")
                    previous = (wall, max(cpu, 1e-3))
                    if code not in codes:
                        last = stderr.strip().splitlines()[-1:] or ["(nothing on standard error)"]
                        print(f"    warning: exit {code}, expected {' or '.join(map(str, codes))}: {last[0]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
