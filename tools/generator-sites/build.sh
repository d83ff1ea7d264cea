#!/usr/bin/env bash
# Builds one small site with mailto links per static site generator (and copies Python's HTML docs) into OUT, for measure.py.
#
#   build.sh OUT
#
# Installs what is missing first (Debian packages; Eleventy from npm into OUT/.src/eleventy).
# The sources go to OUT/.src/<generator>/, each generator's output to OUT/<generator>/:
#   hugo jekyll mkdocs pelican sphinx pandoc docutils eleventy python-docs
# Sphinx's OUT/sphinx is its -M build folder (html/ and doctrees/).
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 OUT" >&2
  exit 2
fi
mkdir -p "$1"
OUT=$(cd "$1" && pwd)
SRC=$OUT/.src
ELEVENTY_VERSION=3.1.8
ELEVENTY_RSS_VERSION=3.0.0

# --- what is missing ---------------------------------------------------------------------------
packages=(hugo jekyll jekyll-theme-minima ruby-jekyll-feed ruby-jekyll-seo-tag mkdocs mkdocs-material pelican
          python3-markdown python3-sphinx pandoc python3-docutils python3.11-doc)
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "build.sh: installing ${missing[*]}"
  [[ $(id -u) == 0 ]] && sudo= || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
command -v npm >/dev/null || { echo "build.sh: npm is needed for Eleventy" >&2; exit 1; }

rm -rf "$SRC"
mkdir -p "$SRC"
for g in hugo jekyll mkdocs pelican sphinx pandoc docutils eleventy python-docs; do rm -rf "${OUT:?}/$g"; done

# --- the texts, as each markup's users write them -------------------------------------------------
# Markdown: links, a link with a query, autolinks, hand-written HTML, non-ASCII link texts, plain text.
read -r -d '' MD_BODY <<'EOF' || true
Write to [Jane Doe](mailto:jane@example.org) or to <bob@example.org>.

Ask [the sales team](mailto:sales@example.net?subject=Hello%20there) for a quote.

A hand-written link: <a href="mailto:help@example.org" class="x" title="Mail help@example.org">Help desk</a>.

Names in other scripts: [Łukasz Żółć](mailto:lukasz@example.org), [Пример Адрес](mailto:primer@example.org),
[例子 联系](mailto:lizi@example.org).

The link text is the address: [team@example.org](mailto:team@example.org).

Written as plain text: office@example.org, and as code: `code@example.org`.
EOF
# The page with CR LF line ends.
read -r -d '' MD_CRLF <<'EOF' || true
A first line with [Carol](mailto:carol@example.org)
and a second with <dave@example.org>,
then <a href="mailto:erin@example.org" title="Mail erin@example.org">Erin</a>.
EOF
# reStructuredText: links, bare addresses (docutils links them), a query, raw HTML, non-ASCII texts, a literal.
read -r -d '' RST_BODY <<'EOF' || true
Write to `Jane Doe <mailto:jane@example.org>`_ or to bob@example.org.

Ask `the sales team <mailto:sales@example.net?subject=Hello%20there>`_ for a quote.

Names in other scripts: `Łukasz Żółć <mailto:lukasz@example.org>`_, `Пример Адрес <mailto:primer@example.org>`_.

The bare address team@example.org in a sentence.

A hand-written link:

.. raw:: html

   <p><a href="mailto:help@example.org" class="x" title="Mail help@example.org">Help desk</a></p>

Written as a literal: ``code@example.org``.
EOF
read -r -d '' RST_CRLF <<'EOF' || true
A first line with `Carol <mailto:carol@example.org>`_
and a second with dave@example.org.
EOF

crlf() { sed 's/$/\r/'; }  # LF to CR LF

# --- Hugo --------------------------------------------------------------------------------------------
h=$SRC/hugo
mkdir -p "$h/content/posts" "$h/layouts/_default"
cat > "$h/config.toml" <<'EOF'
baseURL = "https://example.org/"
title = "Hugo mail test"
languageCode = "en"
[author]
  name = "Jane Doe"
  email = "jane@example.org"
[params]
  email = "jane@example.org"
[markup.goldmark.renderer]
  unsafe = true
EOF
cat > "$h/layouts/_default/baseof.html" <<'EOF'
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>{{ .Title }}</title>
{{ range .AlternativeOutputFormats }}<link rel="{{ .Rel }}" type="{{ .MediaType.Type }}" href="{{ .Permalink }}">{{ end }}
</head><body>
<main>{{ block "main" . }}{{ end }}</main>
<footer>{{ with .Site.Params.email }}<a href="mailto:{{ . }}">Mail us</a>{{ end }}</footer>
</body></html>
EOF
cat > "$h/layouts/_default/single.html" <<'EOF'
{{ define "main" }}<h1>{{ .Title }}</h1>{{ .Content }}{{ end }}
EOF
cat > "$h/layouts/_default/list.html" <<'EOF'
{{ define "main" }}<h1>{{ .Title }}</h1><ul>{{ range .Pages }}<li><a href="{{ .RelPermalink }}">{{ .Title }}</a>: {{ .Summary }}</li>{{ end }}</ul>{{ end }}
EOF
{ printf -- '---\ntitle: "Contact"\ndate: 2024-01-02\n---\n\n'; printf '%s\n' "$MD_BODY"; } > "$h/content/posts/contact.md"
{ printf -- '---\ntitle: "Line ends"\ndate: 2024-01-01\n---\n\n'; printf '%s\n' "$MD_CRLF"; } | crlf > "$h/content/posts/crlf.md"
echo "== hugo"
hugo --quiet -s "$h" -d "$OUT/hugo"

# --- Jekyll with minima and jekyll-feed --------------------------------------------------------------
j=$SRC/jekyll
mkdir -p "$j/_posts"
cat > "$j/_config.yml" <<'EOF'
title: Jekyll mail test
email: jane@example.org
description: A small site with mail links.
url: "https://example.org"
author: Jane Doe
theme: minima
plugins:
  - jekyll-feed
  - jekyll-seo-tag
EOF
printf -- '---\nlayout: home\n---\n' > "$j/index.md"
{ printf -- '---\nlayout: page\ntitle: Contact\npermalink: /contact/\n---\n\n'; printf '%s\n' "$MD_BODY"; } > "$j/contact.md"
{ printf -- '---\nlayout: post\ntitle: "Contact post"\n---\n\n'; printf '%s\n' "$MD_BODY"; } > "$j/_posts/2024-01-02-contact.md"
{ printf -- '---\nlayout: post\ntitle: "Line ends"\n---\n\n'; printf '%s\n' "$MD_CRLF"; } | crlf > "$j/_posts/2024-01-01-crlf.md"
echo "== jekyll"
jekyll build --quiet -s "$j" -d "$OUT/jekyll"

# --- MkDocs with Material ------------------------------------------------------------------------------
m=$SRC/mkdocs
mkdir -p "$m/docs"
cat > "$m/mkdocs.yml" <<'EOF'
site_name: MkDocs mail test
site_url: https://example.org/
site_author: Jane Doe
theme:
  name: material
  features:
    - navigation.instant
extra:
  social:
    - icon: fontawesome/solid/envelope
      link: mailto:jane@example.org
      name: Mail Jane
nav:
  - Home: index.md
  - Contact: contact.md
  - Line ends: crlf.md
EOF
printf '# Home\n\nSee the [contact page](contact.md).\n' > "$m/docs/index.md"
{ printf '# Contact\n\n'; printf '%s\n' "$MD_BODY"; } > "$m/docs/contact.md"
{ printf '# Line ends\n\n'; printf '%s\n' "$MD_CRLF"; } | crlf > "$m/docs/crlf.md"
echo "== mkdocs"
(cd "$m" && mkdocs build --quiet -d "$OUT/mkdocs")

# --- Pelican (its default theme, Atom and RSS feeds) ----------------------------------------------------
p=$SRC/pelican
mkdir -p "$p/content/pages"
cat > "$p/pelicanconf.py" <<'EOF'
AUTHOR = 'Jane Doe'
SITENAME = 'Pelican mail test'
SITEURL = ''
TIMEZONE = 'UTC'
DEFAULT_LANG = 'en'
RELATIVE_URLS = True
FEED_DOMAIN = 'https://example.org'
FEED_ALL_ATOM = 'feeds/all.atom.xml'
FEED_ALL_RSS = 'feeds/all.rss.xml'
CATEGORY_FEED_ATOM = 'feeds/{slug}.atom.xml'
SOCIAL = (('Mail', 'mailto:jane@example.org'),)
LINKS = (('Docs', 'https://example.org/docs/'),)
DEFAULT_PAGINATION = False
EOF
{ printf 'Title: Contact\nDate: 2024-01-02\nCategory: News\n\n'; printf '%s\n' "$MD_BODY"; } > "$p/content/contact.md"
{ printf 'Title: Line ends\nDate: 2024-01-01\nCategory: News\n\n'; printf '%s\n' "$MD_CRLF"; } | crlf > "$p/content/crlf.md"
{ printf 'Contact in reST\n###############\n\n:date: 2024-01-03\n:category: News\n\n'; printf '%s\n' "$RST_BODY"; } > "$p/content/contact-rst.rst"
{ printf 'About\n#####\n\n'; printf '%s\n' "$RST_BODY"; } > "$p/content/pages/about.rst"
echo "== pelican"
pelican --fatal errors -q "$p/content" -o "$OUT/pelican" -s "$p/pelicanconf.py" >/dev/null

# --- Sphinx (sphinx-build -M html: html/ and doctrees/) ----------------------------------------------------
s=$SRC/sphinx
mkdir -p "$s"
cat > "$s/conf.py" <<'EOF'
project = 'Sphinx mail test'
author = 'Jane Doe <jane@example.org>'
copyright = '2024, Jane Doe'
html_theme = 'alabaster'
EOF
printf 'Sphinx mail test\n================\n\n.. toctree::\n\n   contact\n   crlf\n\nContact: jane@example.org\n' > "$s/index.rst"
{ printf 'Contact\n=======\n\n'; printf '%s\n' "$RST_BODY"; } > "$s/contact.rst"
{ printf 'Line ends\n=========\n\n'; printf '%s\n' "$RST_CRLF"; } | crlf > "$s/crlf.rst"
echo "== sphinx"
sphinx-build -M html "$s" "$OUT/sphinx" -q

# --- pandoc (standalone pages) ------------------------------------------------------------------------------
d=$SRC/pandoc
mkdir -p "$d" "$OUT/pandoc"
{ printf -- '---\ntitle: Contact\nauthor: Jane Doe\n---\n\n'; printf '%s\n' "$MD_BODY"; } > "$d/contact.md"
{ printf -- '---\ntitle: Line ends\n---\n\n'; printf '%s\n' "$MD_CRLF"; } | crlf > "$d/crlf.md"
echo "== pandoc"
for f in contact crlf; do (cd "$d" && pandoc -s "$f.md" -o "$OUT/pandoc/$f.html"); done

# --- docutils (rst2html and python3 -m docutils) ---------------------------------------------------------------
u=$SRC/docutils
mkdir -p "$u" "$OUT/docutils"
{ printf 'Contact\n=======\n\n:Author: Jane Doe\n:Contact: jane@example.org\n\n'; printf '%s\n' "$RST_BODY"; } > "$u/contact.rst"
{ printf 'Line ends\n=========\n\n'; printf '%s\n' "$RST_CRLF"; } | crlf > "$u/crlf.rst"
echo "== docutils"
rst2html "$u/contact.rst" "$OUT/docutils/contact.html"
/usr/bin/python3 -m docutils "$u/contact.rst" "$OUT/docutils/contact-m.html"
rst2html "$u/crlf.rst" "$OUT/docutils/crlf.html"

# --- Eleventy 3 with its feed plugin (npm, into OUT/.src/eleventy) ---------------------------------------------------
e=$SRC/eleventy
mkdir -p "$e/src/_includes" "$e/src/posts"
cat > "$e/package.json" <<EOF
{
  "name": "quorvane-generator-sites-eleventy",
  "private": true,
  "type": "module",
  "dependencies": {
    "@11ty/eleventy": "$ELEVENTY_VERSION",
    "@11ty/eleventy-plugin-rss": "$ELEVENTY_RSS_VERSION"
  }
}
EOF
cat > "$e/eleventy.config.js" <<'EOF'
import { feedPlugin } from "@11ty/eleventy-plugin-rss";
export default function (eleventyConfig) {
  eleventyConfig.addPlugin(feedPlugin, {
    type: "atom",
    outputPath: "/feed.xml",
    collection: { name: "posts", limit: 10 },
    metadata: {
      language: "en", title: "Eleventy mail test", subtitle: "Mail links", base: "https://example.org/",
      author: { name: "Jane Doe", email: "jane@example.org" },
    },
  });
}
EOF
cat > "$e/src/_includes/base.njk" <<'EOF'
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>{{ title }}</title>
<link rel="alternate" href="/feed.xml" type="application/atom+xml"></head><body>
<main><h1>{{ title }}</h1>
{{ content | safe }}</main>
<footer><a href="mailto:jane@example.org">Mail us</a></footer>
</body></html>
EOF
printf -- '---\nlayout: base.njk\ntitle: Home\n---\n\n{%% for post in collections.posts %%}<p><a href="{{ post.url }}">{{ post.data.title }}</a></p>\n{%% endfor %%}\n' > "$e/src/index.njk"
{ printf -- '---\nlayout: base.njk\ntitle: Contact\ntags: posts\ndate: 2024-01-02\n---\n\n'; printf '%s\n' "$MD_BODY"; } > "$e/src/posts/contact.md"
{ printf -- '---\nlayout: base.njk\ntitle: Line ends\ntags: posts\ndate: 2024-01-01\n---\n\n'; printf '%s\n' "$MD_CRLF"; } | crlf > "$e/src/posts/crlf.md"
echo "== eleventy"
(cd "$e" && npm install --silent --no-audit --no-fund >/dev/null && npx --no-install eleventy --quiet --input=src --output="$OUT/eleventy")

# --- Python's HTML documentation, symbolic links dereferenced --------------------------------------------------------
echo "== python-docs"
cp -rL /usr/share/doc/python3.11/html "$OUT/python-docs"

for g in hugo jekyll mkdocs pelican sphinx pandoc docutils eleventy python-docs; do
  printf '%-12s %5d files, %5d pages\n' "$g" "$(find "$OUT/$g" -type f | wc -l)" "$(find "$OUT/$g" -type f \( -name '*.html' -o -name '*.htm' \) | wc -l)"
done
