"""Measures quorvane-code --check/--protect over the sites that build.sh made: one table per site and a summary table.

Usage: python3 measure.py TOOL OUT [--form FORM] [--only NAME,...] [--browser all|changed|none] [--json FILE] [--keep DIR]

For each site OUT/<name>, on a fresh copy: --check before, --protect [--form FORM], --check after, a second --protect
(which must change no byte), the bytes kept outside the rewritten anchors, the mailto anchors that were neither rewritten
nor listed ("silent"), and each *.html page against its original in Chromium with JavaScript on and off.
--browser changed loads only the pages whose bytes changed (the others count as equal, unloaded).
The browser part is compare-pages.mjs beside this file (node, with playwright-core from tests/browser/node_modules).
"""
import argparse
import collections
import difflib
import gzip
import hashlib
import html.parser
import http.server
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading

SITES = ["hugo", "jekyll", "mkdocs", "pelican", "sphinx", "pandoc", "docutils", "eleventy", "python-docs"]
HERE = pathlib.Path(__file__).resolve().parent
PAGE_SUFFIXES = (".html", ".htm")
PAGE_REASON = re.compile(r"(?:the|a|this) page\b", re.I)
# A page whose only difference is in its links' hrefs, and only in %XX escapes (mailto:jane%40example.org).
PERCENT_ONLY = re.compile(r"links [^|]*\| \(links equal once %XX in the hrefs is decoded\)")

CHECK_LINE = re.compile(r'^(?P<file>"(?:[^"\\]|\\.)*"|[^:]*):(?P<line>\d+): (?P<where>.*): (?P<addr>\S+)$')
LISTED_LINE = re.compile(r'^(?P<file>"(?:[^"\\]|\\.)*"|[^:]*):(?P<line>\d+): (?P<reason>.*)$')
FILE_LINE = re.compile(r'^(?P<file>"(?:[^"\\]|\\.)*"|[^:]*): (?P<what>.*)$')
# "N anchors rewritten", "N values with addresses rewritten", "N anchors, N values with addresses rewritten"
REWRITTEN = re.compile(r'^(?:(\d+) anchors?)?(?:, )?(?:(\d+) values? with addresses)? rewritten$')
EMAIL = re.compile(r'[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)+')
EMAIL_TAIL = re.compile(r': [A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+$')


def unquote_name(name):
    if name.startswith('"'):
        return name[1:-1].encode("latin-1", "backslashreplace").decode("unicode_escape").encode("latin-1").decode("utf-8", "surrogateescape")
    return name


def rel(name):
    name = unquote_name(name)
    return name[2:] if name.startswith("./") else name


def suffix(path):
    s = pathlib.PurePosixPath(path).suffix
    return s if s else "(" + pathlib.PurePosixPath(path).name + ")"


def run(cmd, cwd):
    p = subprocess.run(cmd, cwd=cwd, capture_output=True)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def check(tool, folder):
    rc, out, err = run([tool, "--check", "."], folder)
    places = collections.Counter()
    hits = []
    for line in out.splitlines():
        m = CHECK_LINE.match(line)
        if not m:
            places["(unparsed)"] += 1
            continue
        f = rel(m["file"])
        places[f"{m['where']} {suffix(f)}"] += 1
        hits.append((f, int(m["line"]), m["where"], m["addr"]))
    summary = [l for l in err.splitlines() if l.startswith("quorvane-code:")]
    return {"rc": rc, "places": places, "hits": hits, "summary": summary[-1] if summary else "", "errors": [l for l in err.splitlines() if l not in summary]}


def protect(tool, folder, form):
    cmd = [tool, "--protect"] + (["--form", form] if form else []) + ["."]
    rc, out, err = run(cmd, folder)
    rewritten = collections.Counter()   # file -> anchors the tool says it rewrote
    other_changes = collections.Counter()  # "values with addresses rewritten" and the like
    listed = collections.defaultdict(list)  # file -> [(line or None, reason)]
    reasons = collections.Counter()
    unparsed = []
    for line in out.splitlines():
        m = LISTED_LINE.match(line)
        if m:
            reason = re.sub(r"^\d+ ", "N ", EMAIL_TAIL.sub("", m["reason"]))
            listed[rel(m["file"])].append((int(m["line"]), m["reason"]))
            reasons[f"{reason} [{suffix(rel(m['file']))}]"] += 1
            continue
        m = FILE_LINE.match(line)
        if m:
            r = REWRITTEN.match(m["what"])
            if r and (r[1] or r[2]):
                rewritten[rel(m["file"])] += int(r[1] or 0)
                if r[2]:
                    other_changes[f"values with addresses rewritten [{suffix(rel(m['file']))}]"] += int(r[2])
            else:
                listed[rel(m["file"])].append((None, m["what"]))
                reasons[f"{re.sub(r'^[0-9]+ ', 'N ', m['what'])} [{suffix(rel(m['file']))}] (whole file)"] += 1
            continue
        unparsed.append(line)
    summary = [l for l in err.splitlines() if l.startswith("quorvane-code:")]
    return {"rc": rc, "rewritten": rewritten, "other_changes": other_changes, "listed": listed, "reasons": reasons,
            "unparsed": unparsed, "summary": summary[-1] if summary else "",
            "errors": [l for l in err.splitlines() if l not in summary]}


def snapshot(folder):
    out = {}
    for root, dirs, files in os.walk(folder):
        for f in files:
            p = os.path.join(root, f)
            if os.path.isfile(p) and not os.path.islink(p):
                out[os.path.relpath(p, folder)] = pathlib.Path(p).read_bytes()
    return out


class Anchors(html.parser.HTMLParser):
    """The mailto anchors of a page: (start offset, end offset, start line, href, start tag), offsets in bytes (read as
    Latin-1)."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.text = text
        self.line_starts = [0] + [m.end() for m in re.finditer("\n", text)]
        self.found = []
        self.open = None

    def abs_pos(self):
        line, col = self.getpos()
        return self.line_starts[line - 1] + col

    def close_open(self, end):
        if self.open:
            self.found.append((self.open[0], end, self.open[1], self.open[2], self.open[3]))
            self.open = None

    def handle_starttag(self, tag, attrs):
        if tag != "a":
            return
        start = self.abs_pos()
        self.close_open(start)
        href = dict(attrs).get("href")
        if href is not None and re.sub(r"[\t\n\r]", "", href).strip(" \x00-\x20").lower().startswith("mailto:"):
            self.open = (start, self.getpos()[0], href, self.get_starttag_text())

    def handle_endtag(self, tag):
        if tag == "a" and self.open:
            start = self.abs_pos()
            gt = self.text.find(">", start)
            self.close_open(len(self.text) if gt < 0 else gt + 1)

    @classmethod
    def of(cls, text):
        p = cls(text)
        try:
            p.feed(text)
            p.close()
        except Exception:
            pass
        p.close_open(len(text))
        return p.found


def diff_regions(a, b):
    """Non-equal regions between a and b as (a1, a2, b1, b2), by lines first and then by characters within them."""
    la, lb = a.splitlines(keepends=True), b.splitlines(keepends=True)
    oa = [0]
    for l in la:
        oa.append(oa[-1] + len(l))
    ob = [0]
    for l in lb:
        ob.append(ob[-1] + len(l))
    regions = []
    for tag, i1, i2, j1, j2 in difflib.SequenceMatcher(None, la, lb, autojunk=False).get_opcodes():
        if tag == "equal":
            continue
        ca, cb = a[oa[i1]:oa[i2]], b[ob[j1]:ob[j2]]
        if len(ca) + len(cb) > 400000:
            regions.append((oa[i1], oa[i2], ob[j1], ob[j2]))
            continue
        for t, x1, x2, y1, y2 in difflib.SequenceMatcher(None, ca, cb, autojunk=False).get_opcodes():
            if t != "equal":
                regions.append((oa[i1] + x1, oa[i1] + x2, ob[j1] + y1, ob[j1] + y2))
    return regions


CDATA_SPLIT = re.compile(r"\]\]>((?:&#[0-9]+;|&#[xX][0-9a-fA-F]+;)+)<!\[CDATA\[")
ASCII_REF = re.compile(r"&#(?:([0-9]+)|[xX]([0-9a-fA-F]+));|\\u00([0-7][0-9a-fA-F])")


def decode_ascii_refs(s):
    """Decodes &#NNN;, &#xHH; and \\u00HH of ASCII values, and joins CDATA sections split around them."""
    def sub(m):
        v = int(m[1]) if m[1] else int(m[2] or m[3], 16)
        return chr(v) if v < 128 else m[0]
    s = CDATA_SPLIT.sub(lambda m: ASCII_REF.sub(sub, m[1]), s)
    return ASCII_REF.sub(sub, s)


def align(a, b, anchors):
    """Places the original's text between its mailto anchors, in order, in the protected text: the stretches of the
    protected text that stand where each anchor stood, as (start, end), or None when no such placing exists (then some
    byte outside the anchors changed). Each stretch of text is placed as early as it can be, which finds a placing
    whenever there is one."""
    cuts, prev = [], 0
    for s, e, *_ in anchors:
        cuts.append((prev, s))
        prev = e
    cuts.append((prev, len(a)))
    first, last = a[cuts[0][0]:cuts[0][1]], a[cuts[-1][0]:cuts[-1][1]]
    if not anchors:
        return [] if a == b else None
    if len(first) + len(last) > len(b) or not b.startswith(first) or not b.endswith(last):
        return None
    pos, limit, spans = len(first), len(b) - len(last), []
    for gs, ge in cuts[1:-1]:
        k = b.find(a[gs:ge], pos, limit)
        if k < 0:
            return None
        spans.append((pos, k))
        pos = k + (ge - gs)
    spans.append((pos, limit))
    return spans


def page_anchors(orig, prot):
    """For a page: its mailto anchors; the ones the protected page still has as they were (the same start tag), with
    their line there and whether an address stands readable in them; and whether the bytes outside the anchors were
    kept: "yes", "yes, with ASCII character references decoded", or an estimate of the bytes that differ."""
    a, b = orig.decode("latin-1"), prot.decode("latin-1")
    anchors = Anchors.of(a)
    if a == b:
        return anchors, [(range(x[2], x[2] + a.count("\n", x[0], x[1]) + 1), x[3], bool(EMAIL.search(a[x[0]:x[1]])))
                         for x in anchors], "yes"
    tags = collections.Counter(x[4] for x in anchors)
    left = []
    for s, e, line, href, tag in Anchors.of(b):
        if tags[tag] > 0:
            tags[tag] -= 1
            left.append((range(line, line + b.count("\n", s, e) + 1), href, bool(EMAIL.search(b[s:e]))))
    if align(a, b, anchors) is not None:
        return anchors, left, "yes"
    da, db = decode_ascii_refs(a), decode_ascii_refs(b)
    danchors = Anchors.of(da)
    if align(da, db, danchors) is not None:
        return anchors, left, "yes, with ASCII character references decoded"
    regions = diff_regions(da, db)
    outside, where = 0, []
    for a1, a2, b1, b2 in regions:
        if not any(s <= a1 and a2 <= e for s, e, *_ in danchors):
            outside += max(a2 - a1, b2 - b1)
            where.append(da.count("\n", 0, a1) + 1)
    return anchors, left, f"about {max(outside, 1)} bytes differ outside the mailto anchors, ASCII character references decoded (diff, lines {', '.join(map(str, where[:5]))})"


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # the browser drops connections it no longer needs (a page left before its last file came)


def serve(folder):
    handler = lambda *a, **k: Quiet(*a, directory=folder, **k)
    srv = Server(("127.0.0.1", 0), handler)
    threading.Thread(target=srv.serve_forever, daemon=True).start()
    return srv


def browser_compare(orig, prot, pages, instant=None):
    if not pages:
        return {"on": [], "off": []}
    s1, s2 = serve(orig), serve(prot)
    try:
        job = {"orig": f"http://127.0.0.1:{s1.server_address[1]}/", "prot": f"http://127.0.0.1:{s2.server_address[1]}/", "pages": pages,
               "instant": instant}
        p = subprocess.run(["node", str(HERE / "compare-pages.mjs")], input=json.dumps(job).encode(), capture_output=True)
        if p.returncode != 0:
            raise RuntimeError("compare-pages.mjs failed: " + p.stderr.decode("utf-8", "replace")[-2000:])
        return json.loads(p.stdout)
    finally:
        s1.shutdown()
        s2.shutdown()


def places_text(c, limit=None):
    items = sorted(c.items(), key=lambda kv: (-kv[1], kv[0]))
    total = sum(c.values())
    if not items:
        return "0"
    shown = items if limit is None else items[:limit]
    more = "" if limit is None or len(items) <= limit else f", +{len(items) - limit} more"
    return f"{total}: " + ", ".join(f"{k} {v}" for k, v in shown) + more


def measure(tool, src, form, browser_mode, keep):
    name = src.name
    work = pathlib.Path(tempfile.mkdtemp(prefix=f"gs-{name}-", dir=keep))
    orig, prot = work / "orig", work / "prot"
    shutil.copytree(src, orig, symlinks=True)
    shutil.copytree(src, prot, symlinks=True)
    r = {"site": name}
    before_files = snapshot(orig)
    pages = sorted(f for f in before_files if f.lower().endswith(PAGE_SUFFIXES))
    r["files"], r["pages"] = len(before_files), len(pages)

    r["check_before"] = check(tool, prot)
    r["protect"] = protect(tool, prot, form)
    after = snapshot(prot)
    r["changed"] = sorted(f for f in after if after[f] != before_files.get(f))
    r["vanished"] = sorted(set(before_files) - set(after))
    r["appeared"] = sorted(set(after) - set(before_files))
    r["check_after"] = check(tool, prot)

    second = protect(tool, prot, form)
    after2 = snapshot(prot)
    r["second"] = {"summary": second["summary"], "rc": second["rc"],
                   "changed": sorted(f for f in set(after) | set(after2) if after.get(f) != after2.get(f))}

    # Anchors: found, rewritten (tool's count), left and listed, left and silent.
    anchors_total, silent, listed_anchors, left_total = 0, [], 0, 0
    kept_bad, kept_decoded = [], 0
    for f in sorted(before_files):
        o, p = before_files[f], after.get(f)
        if p is None:
            continue
        if f.lower().endswith(PAGE_SUFFIXES):
            anchors, left, kept = page_anchors(o, p)
            anchors_total += len(anchors)
            left_total += len(left)
            lines = r["protect"]["listed"].get(f, [])
            # A line without a line number, or whose reason is about the page ("the page loads its next pages by
            # script ..."), stands for every anchor of the page that was left.
            whole = any(l is None or PAGE_REASON.match(why) for l, why in lines)
            listed_lines = {l for l, _ in lines if l is not None}
            for span, href, readable in left:
                if whole or listed_lines.intersection(span):
                    listed_anchors += 1
                else:
                    silent.append(f"{f}:{span.start}: {href}" + ("" if readable else " (no address readable in its bytes)"))
            if kept.startswith("yes,"):
                kept_decoded += 1
            elif kept != "yes":
                kept_bad.append(f"{f}: {kept}")
        elif o != p:
            # A precompressed twin (page.html.gz) is compared as what it packs: the tool packs it again.
            if f.lower().endswith(".gz"):
                o, p = gzip.decompress(o), gzip.decompress(p)
            a, b = decode_ascii_refs(o.decode("latin-1")), decode_ascii_refs(p.decode("latin-1"))
            if a != b:
                n = sum(max(a2 - a1, b2 - b1) for a1, a2, b1, b2 in diff_regions(a, b))
                kept_bad.append(f"{f}: about {n} bytes differ after decoding ASCII character references (diff)")
            else:
                kept_decoded += 1
    r["touched"] = anchors_total - left_total
    r["kept_decoded"] = kept_decoded
    r["anchors"] = anchors_total
    r["rewritten"] = sum(r["protect"]["rewritten"].values())
    r["listed_anchors"] = listed_anchors
    r["silent"] = silent
    r["kept_bad"] = kept_bad

    if browser_mode == "none":
        r["browser"] = None
    else:
        load = pages if browser_mode == "all" else [f for f in pages if before_files[f] != after.get(f)]
        # A theme with instant navigation (MkDocs Material's navigation.instant): the pages reached by a click too.
        start = "index.html" if "index.html" in pages else None
        instant = start if start and re.search(rb"navigation\.instant", before_files[start]) else None
        res = browser_compare(str(orig), str(prot), load, instant)
        unloaded = len(pages) - len(load)
        r["browser"] = {m: {"equal": sum(x["equal"] for x in res[m]) + unloaded,
                            "different": [f"{x['page']}: {x['why']}" for x in res[m] if not x["equal"]],
                            "loaded": len(load), "again": sum(x["again"] for x in res[m]),
                            "percent_only": sum(1 for x in res[m] if not x["equal"] and PERCENT_ONLY.fullmatch(x["why"]))}
                        for m in ("on", "off")}
        if "instant" in res:
            r["instant"] = res["instant"]
    if keep is None:
        shutil.rmtree(work)
    else:
        r["work"] = str(work)
    return r


def table(rows, header):
    out = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    for row in rows:
        out.append("| " + " | ".join(str(c).replace("|", "\\|") for c in row) + " |")
    return "\n".join(out)


def report_site(r):
    p = r["protect"]
    print(f"\n### {r['site']}\n")
    rows = [
        ("tool file", r.get("tool_file", "-")),
        ("files / pages", f"{r['files']} / {r['pages']}"),
        ("mailto anchors in the original pages", r["anchors"]),
        ("rewritten (the tool's count)", f"{r['rewritten']}" + ("" if r["touched"] == r["rewritten"] else f" (anchors whose start tag changed: {r['touched']})")),
        ("left and listed", r["listed_anchors"]),
        ("silent (neither rewritten nor listed)", len(r["silent"])),
        ("--check before (exit " + str(r["check_before"]["rc"]) + ")", places_text(r["check_before"]["places"])),
        ("--protect exit", p["rc"]),
        ("--protect summary", p["summary"]),
        ("other values rewritten", ", ".join(f"{k}: {v}" for k, v in sorted(p["other_changes"].items())) or "-"),
        ("files changed / removed / added", f"{len(r['changed'])} / {len(r['vanished'])} / {len(r['appeared'])}"),
        ("--check after (exit " + str(r["check_after"]["rc"]) + ")", places_text(r["check_after"]["places"])),
        ("second --protect", ("idle" if not r["second"]["changed"] else f"CHANGED {len(r['second']['changed'])} files") + f"; {r['second']['summary']}"),
        ("bytes kept", ("yes, every changed file" if not r["kept_bad"] else f"NO in {len(r['kept_bad'])} files") +
         (f" ({r['kept_decoded']} equal to the original only once ASCII character references are decoded)" if r["kept_decoded"] else "")),
    ]
    if r["browser"]:
        for m in ("on", "off"):
            b = r["browser"][m]
            rows.append((f"Chromium JS {m}: equal / different (pages loaded; loaded twice)", f"{b['equal']} / {len(b['different'])} ({b['loaded']}; {b['again']})"
                         + (f"; {b['percent_only']} of the different ones differ only in %XX escapes of mailto hrefs" if b["percent_only"] else "")))
    print(table(rows, ["what", "result"]))
    if r.get("instant") is not None:
        print("\nReached by a click from index.html with JavaScript on (instant navigation used: the page was not"
              " loaded anew), original vs protected:\n")
        for x in r["instant"]:
            print(f"- {x['page']}: {'equal' if x['equal'] else 'DIFFERENT'}; instant navigation used: original "
                  f"{'yes' if x['stayed'][0] else 'no'}, protected {'yes' if x['stayed'][1] else 'no'}; mailto links shown: "
                  f"original {x['origLinks']}, protected {x['links']}" + ("" if x["equal"] else f"; {x['why']}"))
    if p["reasons"]:
        print("\nListed by --protect (reason [file suffix]: lines):\n")
        for k, v in sorted(p["reasons"].items(), key=lambda kv: (-kv[1], kv[0])):
            print(f"- {k}: {v}")
    for title, items in (("Silent anchors", r["silent"]), ("Bytes not kept", r["kept_bad"]),
                         ("Changed by the second --protect", r["second"]["changed"]),
                         ("--protect errors", p["errors"]), ("--protect lines not understood", p["unparsed"]),
                         ("--check errors (before/after)", r["check_before"]["errors"] + r["check_after"]["errors"])):
        if items:
            print(f"\n{title} ({len(items)}):\n")
            for x in items[:40]:
                print(f"- {x}")
            if len(items) > 40:
                print(f"- ... {len(items) - 40} more")
    if r["browser"]:
        for m in ("on", "off"):
            d = r["browser"][m]["different"]
            if d:
                print(f"\nChromium JS {m}, pages that differ ({len(d)}):\n")
                for x in d[:40]:
                    print(f"- {x}")
                if len(d) > 40:
                    print(f"- ... {len(d) - 40} more")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("tool")
    ap.add_argument("out")
    ap.add_argument("--form", help="passed to --protect as --form FORM (not passed when not given)")
    ap.add_argument("--only", help="comma-separated site names")
    ap.add_argument("--browser", choices=("all", "changed", "none"), default="all")
    ap.add_argument("--json", help="write the raw results here")
    ap.add_argument("--keep", help="keep the work copies under this folder")
    args = ap.parse_args()
    tool = str(pathlib.Path(args.tool).resolve())
    out = pathlib.Path(args.out)
    def identity():
        st = os.stat(tool)
        digest = hashlib.sha256(pathlib.Path(tool).read_bytes()).hexdigest()[:12]
        return f"{st.st_size} bytes, sha256 {digest}, modified {__import__('time').strftime('%Y-%m-%d %H:%M:%S', __import__('time').gmtime(st.st_mtime))} UTC"
    version = run([tool, "--version"], ".")[1].strip()
    first_identity = identity()
    has_form = "--form" in run([tool, "--help"], ".")[1]
    print(f"# quorvane-code over generator sites\n\ntool: {tool}: {version}; --help lists --form: {'yes' if has_form else 'no'}; "
          f"--protect run with: {'--form ' + args.form if args.form else 'no --form (the default form)'}; Chromium pages: {args.browser}\n\n"
          f"tool file at the start: {first_identity}")
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    names = args.only.split(",") if args.only else SITES
    results = []
    for name in names:
        src = out / name
        if not src.is_dir():
            print(f"\n### {name}\n\nmissing: {src} (run build.sh)")
            continue
        site_identity = identity()
        r = measure(tool, src, args.form, args.browser, args.keep)
        r["tool_file"] = site_identity if site_identity == identity() else f"{site_identity}, then {identity()} (CHANGED during this site)"
        results.append(r)
        report_site(r)
        sys.stdout.flush()

    last_identity = identity()
    print(f"\n## Summary\n\ntool file at the end: {last_identity}" + (" (the same)" if last_identity == first_identity else " (CHANGED during the run)") + "\n")
    rows = []
    for r in results:
        b = r["browser"]
        hidden = sum(x.endswith("(no address readable in its bytes)") for x in r["silent"])
        rows.append((r["site"], r["pages"], r["anchors"], r["rewritten"], r["listed_anchors"],
                     f"{len(r['silent'])}" + (f" ({hidden} with no address readable)" if hidden else ""),
                     places_text(r["check_before"]["places"], 4), places_text(r["check_after"]["places"], 4),
                     "-" if not b else " / ".join(f"{b[m]['equal']}/{r['pages']}" + (f" (+{b[m]['percent_only']} %XX only)" if b[m]["percent_only"] else "") for m in ("on", "off")),
                     "yes" if not r["second"]["changed"] else f"no ({len(r['second']['changed'])} files)",
                     "yes" if not r["kept_bad"] else f"no ({len(r['kept_bad'])} files)"))
    print(table(rows, ["generator", "pages", "mailto anchors", "rewritten", "listed", "silent", "check before (by place)",
                       "check after (by place)", "Chromium equal JS on / off", "second run idle", "bytes kept"]))
    if args.json:
        def plain(o):
            return dict(o) if isinstance(o, collections.Counter) else str(o)
        pathlib.Path(args.json).write_text(json.dumps({"tool": version, "form": args.form, "results": results}, default=plain, indent=1))


if __name__ == "__main__":
    main()
