"""Speed and memory of quorvane-code's site commands over a site: MB/s, files/s and peak resident memory, the best of several runs each.

Usage: bench-site.py TOOL [FOLDER] [--pages N] [--runs N] [--from DIR] [--tool-args ARGS]

The site (FOLDER, by default a temporary folder, removed afterwards) has
pages of 20 to 60 KB; nearly every page holds "@" and character references
as real pages do (CSS at-rules, image names like hero@2x.png, package@1.2.3,
@handles, &amp; and &#8212;), and one page in ten a few mailto links of every
kind the tool meets. The files are read once before the timed runs, so that
they are in the page cache; each run starts from the site as generated
(--protect's changes are undone before the next run). With --from, the site
is the *.html pages of DIR instead (such as /usr/share/doc), each with three
mailto links added before its </body>. The peak is the largest resident set
of the tool over the runs of a command. It ends with 0 whatever the figures;
an exit code of the tool other than the one expected is a warning line.
"""
import argparse
import os
import pathlib
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

WORDS = ("lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt ut labore "
         "et dolore magna aliqua enim ad minim veniam quis nostrud exercitation ullamco laboris nisi").split()

# Every kind of link and address the tool meets; two to six of these go on each tenth page.
MAIL_PIECES = [
    'Write to <a href="mailto:info{n}@example.org">us</a>.',
    "<a href='mailto:jane.doe{n}@example.com'>jane.doe{n}@example.com</a>",
    "<a HREF=mailto:sales{n}@example.net><b>Sales</b> team</a>",
    '<a href="mailto:ops{n}@example.org" class="mail">ops</a>',
    '<a href="mailto:help{n}@example.org?subject=Hello">help desk</a>',
    '<!--email_off--><a href="mailto:off{n}@example.org">off</a><!--/email_off-->',
    '<a href="&#109;ailto:ref{n}@example.org">by reference</a>',
    '<b><a href="mailto:moved{n}@example.org">moved</b> here</a>',
    '<script>var contact = "webmaster{n}@example.org";</script>',
    '<script type="application/ld+json">{{"@type": "Person", "email": "person{n}@example.org"}}</script>',
    '<!-- old contact: old{n}@example.org -->',
    '<a href="mailto:&#97;&#64;&#101;&#120;&#97;&#109;&#112;&#108;&#101;&#46;&#111;&#114;&#103;">a</a>',
]


def paragraph(rng):
    words = [rng.choice(WORDS) for _ in range(rng.randint(40, 120))]
    for _ in range(rng.randint(1, 4)):
        words.insert(rng.randrange(len(words)), rng.choice(["&amp;", "&#8212;", "&copy;", "&nbsp;", "&lt;b&gt;"]))
    if rng.random() < 0.5:
        words.insert(rng.randrange(len(words)), rng.choice(["@handle", "pkg@1.2.3", "user@host", "retina@2x"]))
    return "<p>" + " ".join(words) + "</p>"


def page(rng, number, with_mail):
    size = rng.randint(20_000, 60_000)
    head = ('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n<title>Page %d</title>\n'
            '<style>@media (max-width: 600px) { body { margin: 0 } }</style>\n</head>\n<body>\n'
            '<img src="hero@2x.png" srcset="hero@2x.png 2x" alt="">\n' % number)
    parts, length = [head], len(head)
    mail = rng.sample(MAIL_PIECES, rng.randint(2, 6)) if with_mail else []
    while length < size - 200:
        piece = paragraph(rng)
        if mail and rng.random() < 0.2:
            piece = piece[:-4] + " " + mail.pop().format(n=number) + "</p>"
        parts.append(piece)
        length += len(piece) + 1
    parts.extend(m.format(n=number) for m in mail)
    parts.append("</body>\n</html>\n")
    newline = "\r\n" if number % 7 == 0 else "\n"
    return newline.join(parts).encode("utf-8")


def run_once(command):
    """Runs the command; its wall time, processor time, peak resident memory in MB, exit code and standard error."""
    # The peak comes from GNU time, which starts the tool from its own small
    # process: Linux counts in a program's peak the memory of the process it
    # was started from, and this one holds the site's pages.
    with tempfile.TemporaryFile() as err, tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name, *command],
                                   stdout=subprocess.DEVNULL, stderr=err)
        _, status, used = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
        err.seek(0)
        return (wall, used.ru_utime + used.ru_stime, int(peak.read().split()[-1]) / 1024,
                os.waitstatus_to_exitcode(status), err.read())


def best(runs, command, before=None):
    """The shortest wall time of `runs` runs, the processor time of that run, the highest peak, and the last run's exit code and standard error."""
    results = []
    for _ in range(runs):
        if before:
            before()
        # What the setup wrote goes to disk first: a contender that flushes its own files (quorvane-code does,
        # before each rename) would otherwise also wait for the setup's, which the journal writes ahead of them.
        os.sync()
        results.append(run_once(command))
    wall, cpu = min(r[:2] for r in results)
    return wall, cpu, max(r[2] for r in results), results[-1][3], results[-1][4]


def real_pages(source, links=3):
    """The *.html files of `source`, by their path below it, each with `links` mailto links before its </body>."""
    pages = {}
    for number, path in enumerate(sorted(pathlib.Path(source).rglob("*.html"))):
        if not path.is_file() or path.is_symlink():
            continue
        data = path.read_bytes()
        end = re.search(rb"</body", data, re.I)
        at = end.start() if end else len(data)
        added = b"".join(b'<p>Mail <a href="mailto:doc%d.%d@example.org">doc %d</a></p>\n' % (number, i, i) for i in range(links))
        pages[path.relative_to(source)] = data[:at] + added + data[at:]
    return pages


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool")
    parser.add_argument("folder", nargs="?")
    parser.add_argument("--pages", type=int, default=5000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--from", dest="source")
    parser.add_argument("--tool-args", default="")
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)

    root = pathlib.Path(args.folder or tempfile.mkdtemp(prefix="quorvane-bench-"))
    site = root / "site"
    shutil.rmtree(site, ignore_errors=True)
    rng = random.Random(14)
    pages = {}
    if args.source:
        pages = {site / path: data for path, data in real_pages(args.source).items()}
    for number in range(0 if args.source else args.pages):
        path = site / f"section{number % 50:02d}" / f"page{number:05d}.html"
        pages[path] = page(rng, number, number % 10 == 0)
    for path, data in pages.items():
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    with_mail = [p for p in pages if b"mailto" in pages[p].lower()]
    # --protect hides addresses in text too: every page with an "@" may change, and is put back before each run.
    changeable = [p for p in pages if b"@" in pages[p] or b"mailto" in pages[p].lower()]
    total = sum(map(len, pages.values()))

    def restore():
        for path in changeable:
            if path.read_bytes() != pages[path]:
                path.write_bytes(pages[path])

    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    # Other work on the machine lowers the figures; the load average says how much there was.
    print(f"machine: nproc {len(os.sched_getaffinity(0))}, {cpu}, load average {os.getloadavg()[0]:.1f}")
    print(f"site: {len(pages)} pages, {total / 1e6:.1f} MB, {len(with_mail)} with mailto links, in {site}")
    subprocess.run([tool, "--check", str(site)], capture_output=True)  # into the page cache

    extra = args.tool_args.split()
    rows = [
        ("--protect", [tool, "--protect", *extra, str(site)], restore),
        ("--protect --dry-run", [tool, "--protect", "--dry-run", *extra, str(site)], restore),
        ("--check", [tool, "--check", *extra, str(site)], restore),
    ]
    for label, command, before in rows:
        seconds, cpu_seconds, peak, code, stderr = best(args.runs, command, before)
        summary = stderr.decode("utf-8", "replace").strip().splitlines()[-1:] or ["(no summary)"]
        # Processor time tells the work apart from waiting for the disk and for other programs.
        print(f"{label:22} {total / 1e6 / seconds:8.1f} MB/s {len(pages) / seconds:9.0f} files/s {peak:7.1f} MB peak "
              f"(best of {args.runs}: {seconds:.3f} s, {cpu_seconds:.3f} s of processor time)")
        print(f"{'':22} exit {code}: {summary[0]}")
        expected = (0, 1) if label == "--check" else (0,)
        if code not in expected:
            print(f"{'':22} warning: exit {code}, expected {' or '.join(map(str, expected))}")
    restore()
    if not args.folder:
        shutil.rmtree(root)
    # Figures only: a wrong exit code is the warning above, and fails nothing.
    return 0


if __name__ == "__main__":
    sys.exit(main())
