"""quorvane-code's site commands beside peer tools that hide mailto addresses, on a sparse and a dense corpus: MB/s and peak resident memory on one core.

Usage: bench-peers.py TOOL [--runs N] [--sparse DIR] [--dense DIR]

The sparse corpus is the *.html pages of Python's HTML documentation
(Debian's python3.11-doc, installed with apt-get when missing; symlinks are
followed), which hold few mailto links; the dense one is the *.html pages of
/usr/share/doc that are not symlinks, each with four mailto links added
before its </body>. Every contender runs under `taskset -c 0` on a fresh
copy of the same pages, N times (3 unless given); the best wall time counts,
over the bytes of the pages, and the peak is the largest resident set of the
runs. The peers are npm packages pinned by package-lock.json beside this
file and installed with `npm ci` when missing. The limit rows only read the
pages and search them for "mailto". It reports figures only and ends with 0.
"""
import argparse
import importlib.util
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
SPARSE = "/usr/share/doc/python3.11/html"
DENSE = "/usr/share/doc"

# The generated-site bench is the one place that builds corpora and times runs; this one reuses both.
_found = importlib.util.spec_from_file_location("bench_site", HERE.parent / "bench-site.py")
bench_site = importlib.util.module_from_spec(_found)
_found.loader.exec_module(bench_site)


def install_peers():
    """Installs the pinned npm packages when one is missing; false when that fails."""
    wanted = json.loads((HERE / "package.json").read_text())["dependencies"]
    if all((HERE / "node_modules" / name / "package.json").is_file() for name in wanted):
        return True
    print("installing the peers: npm ci in", HERE, flush=True)
    done = subprocess.run(["npm", "ci", "--no-audit", "--no-fund"], cwd=HERE)
    return done.returncode == 0


def install_sparse(source):
    if pathlib.Path(source).is_dir() or source != SPARSE:
        return
    print("installing python3.11-doc for the sparse corpus", flush=True)
    # An install can fail on an old package list; a second try after refreshing it costs little.
    if subprocess.run(["apt-get", "install", "-y", "python3.11-doc"]).returncode != 0:
        subprocess.run(["apt-get", "update"])
        subprocess.run(["apt-get", "install", "-y", "python3.11-doc"])


def sparse_pages(source):
    """The *.html files below `source`, by their path below it; read_bytes follows symlinks."""
    root = pathlib.Path(source)
    return {path.relative_to(root): path.read_bytes() for path in sorted(root.rglob("*.html")) if path.is_file()}


def lay(folder, pages):
    """A fresh copy of the pages in `folder`, so that each run starts from the same site with no trace of the last."""
    shutil.rmtree(folder, ignore_errors=True)
    for path, data in pages.items():
        target = folder / path
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)


def changed(folder, pages):
    return sum(1 for path, data in pages.items() if (folder / path).read_bytes() != data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--sparse", default=SPARSE)
    parser.add_argument("--dense", default=DENSE)
    args = parser.parse_args()
    tool = os.path.abspath(args.tool)

    install_sparse(args.sparse)
    peers = install_peers()
    if not peers:
        print("warning: npm ci failed; the node rows are left out")
    node = lambda script: ["node", str(HERE / script)]
    contenders = [
        ("quorvane-code --protect", [tool, "--protect"], (0,)),
        ("quorvane-code --check", [tool, "--check"], (0, 1)),
        *([("html-rewriter-wasm", node("rewriter.mjs"), (0,)),
           ("posthtml-obfuscate", node("obfuscate.mjs"), (0,)),
           ("limit: node indexOf", node("limit.mjs"), (0,))] if peers else []),
        # grep ends with 1 when no page holds the word.
        ("limit: grep -rl", ["grep", "-rl", "mailto"], (0, 1)),
    ]
    corpora = [("sparse", sparse_pages(args.sparse)), ("dense", bench_site.real_pages(args.dense, links=4))]

    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    # Other work on the machine lowers the figures; the load average says how much there was.
    print(f"machine: nproc {len(os.sched_getaffinity(0))}, {cpu}, load average {os.getloadavg()[0]:.1f}")
    for name, pages in corpora:
        with_mail = sum(1 for data in pages.values() if b"mailto" in data.lower())
        print(f"{name}: {len(pages)} pages, {sum(map(len, pages.values())) / 1e6:.1f} MB, {with_mail} with mailto links")

    root = pathlib.Path(tempfile.mkdtemp(prefix="quorvane-peers-"))
    figures, notes = {}, []
    try:
        for name, pages in corpora:
            folder = root / name
            total = sum(map(len, pages.values()))
            for label, command, expected in contenders:
                seconds, _, peak, code, stderr = bench_site.best(
                    args.runs, ["taskset", "-c", "0", *command, str(folder)], lambda: lay(folder, pages))
                figures[label, name] = (total / 1e6 / seconds, peak)
                summary = (stderr.decode("utf-8", "replace").strip().splitlines() or ["(nothing on standard error)"])[-1]
                notes.append(f"{label} on {name}: exit {code}, {changed(folder, pages)} pages changed; {summary}")
                if code not in expected:
                    notes.append(f"  warning: exit {code}, expected {' or '.join(map(str, expected))}")
    finally:
        shutil.rmtree(root, ignore_errors=True)

    print(f"\nbest of {args.runs}, each under taskset -c 0")
    print(f"{'contender':24} | {'sparse MB/s':>11} | {'sparse peak MB':>14} | {'dense MB/s':>10} | {'dense peak MB':>13}")
    print(f"{'-' * 24}-|-{'-' * 11}-|-{'-' * 14}-|-{'-' * 10}-|-{'-' * 13}")
    for label, _, _ in contenders:
        (s_rate, s_peak), (d_rate, d_peak) = figures[label, "sparse"], figures[label, "dense"]
        print(f"{label:24} | {s_rate:11.1f} | {s_peak:14.1f} | {d_rate:10.1f} | {d_peak:13.1f}")
    print()
    print("\n".join(notes))
    # Figures only: a wrong exit code is a warning line above, and fails nothing.
    return 0


if __name__ == "__main__":
    sys.exit(main())
