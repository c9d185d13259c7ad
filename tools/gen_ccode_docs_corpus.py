#!/usr/bin/env python3
"""Makes a second labelled web-page corpus, from translated documentation
(Debian's reference, FAQ, maintainers' guide, handbook, installation guide,
desktop help), a kind of text none of the data generators reads.

    python3 tools/gen_ccode_docs_corpus.py --cache DIR

DIR is a cache folder outside the repository (by default the evaluation
scripts use ~/.cache/pbdict/ccode-pages-docs). The packages in PACKAGES are
fetched at their pinned versions into DIR/deb with "apt-get download" (unless
a .deb of the package is there) and unpacked into DIR/root. The pages go to
DIR/pages/ in the layout and manifest format of tools/gen_ccode_corpus.py
(same languages, encodings, lengths and declarations), so every evaluation
program reads either corpus; the manifest starts with one comment line per
package: "# package<TAB>name<TAB>version<TAB>licence".

The text is the running prose of the documents: markup, code blocks,
command lines and page furniture are dropped, and so is every paragraph left
untranslated (found word for word in the English originals, or, for a
language of another script, mostly ASCII). Hebrew has no pages: no
documentation package is translated into it. The sources are whole documents,
not split: the generators read none of these packages, which the generator
checks. The run is deterministic: the same packages give the same pages.
Nothing of this is committed.

Python's standard library only; character conversions use the system's
iconv (glibc).
"""

import argparse
import glob
import gzip
import html.parser
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ccode_text_corpus  # noqa: E402
import gen_ccode_corpus as pages  # noqa: E402
import gen_ccode_data as gen  # noqa: E402

# Package -> the version the corpus is made from.
PACKAGES = {
    "aptitude-doc-fi": "0.8.13-5",
    "debian-faq": "11.1",
    "debian-faq-de": "11.1",
    "debian-faq-fr": "11.1",
    "debian-faq-it": "11.1",
    "debian-faq-ja": "11.1",
    "debian-faq-ko": "11.1",
    "debian-faq-nl": "11.1",
    "debian-faq-ru": "11.1",
    "debian-faq-zh-cn": "11.1",
    "debian-handbook": "11.20220922",
    "debian-history": "2.28",
    "debian-reference-de": "2.100",
    "debian-reference-en": "2.100",
    "debian-reference-es": "2.100",
    "debian-reference-fr": "2.100",
    "debian-reference-id": "2.100",
    "debian-reference-it": "2.100",
    "debian-reference-ja": "2.100",
    "debian-reference-pt-br": "2.100",
    "debian-reference-zh-cn": "2.100",
    "debian-reference-zh-tw": "2.100",
    "developers-reference-ru": "12.18",
    "gnome-user-docs": "43.0-2",
    "installation-guide-amd64": "20230508+deb12u1",
    "maint-guide": "1.2.53",
    "maint-guide-de": "1.2.53",
    "maint-guide-es": "1.2.53",
    "maint-guide-fr": "1.2.53",
    "maint-guide-it": "1.2.53",
    "maint-guide-ja": "1.2.53",
    "maint-guide-ru": "1.2.53",
    "maint-guide-vi": "1.2.53",
    "maint-guide-zh-cn": "1.2.53",
    "maint-guide-zh-tw": "1.2.53",
}


def reference(code):
    return "usr/share/debian-reference/*.%s.html" % code


def maint_guide(code):
    return "usr/share/doc/maint-guide%s/html/*.html" % ("" if code == "en" else "-" + code)


def faq(code):
    return "usr/share/doc/debian/FAQ/*.en.html" if code == "en" else "usr/share/doc/debian/FAQ/%s/*.html" % code


def handbook(code):
    return "usr/share/doc/debian-handbook/html/%s/*.html" % code


def install_guide(code):
    return "usr/share/doc/installation-guide-amd64/%s/*.html" % code


def desktop_help(code):
    return "usr/share/help/%s/gnome-help/*.page" % code


# Language -> the files its text is read from (globs below the unpacked
# root, read in sorted order). The encodings of every language are those of
# the first corpus.
SOURCES = {
    "zh_CN": [reference("zh-cn"), maint_guide("zh-cn"), faq("zh-cn")],
    "zh_TW": [reference("zh-tw"), maint_guide("zh-tw"), handbook("zh-TW")],
    "ja": [reference("ja"), maint_guide("ja"), faq("ja")],
    "ko": [faq("ko"), handbook("ko-KR"), install_guide("ko")],
    "ru": [faq("ru"), maint_guide("ru"), "usr/share/developers-reference/ru/*.html"],
    "fr": [reference("fr"), maint_guide("fr"), faq("fr")],
    "de": [reference("de"), maint_guide("de"), faq("de")],
    "es": [reference("es"), maint_guide("es")],
    "it": [reference("it"), maint_guide("it"), faq("it")],
    "pt_BR": [reference("pt-br"), handbook("pt-BR")],
    "en": [reference("en"), maint_guide("en"), faq("en")],
    "vi": [maint_guide("vi"), install_guide("vi"), handbook("vi-VN"), desktop_help("vi")],
    "tr": [handbook("tr-TR"), desktop_help("tr")],
    "nl": [faq("nl"), handbook("nl-NL"), install_guide("nl")],
    "da": [install_guide("da"), desktop_help("da"), handbook("da-DK")],
    "fi": ["usr/share/doc/aptitude/html/fi/*.html", desktop_help("fi")],
    "id": [reference("id"), install_guide("id"), handbook("id-ID")],
    "el": [install_guide("el"), desktop_help("el"), handbook("el-GR")],
    "ar": [handbook("ar-MA")],
    # The only Thai documentation Debian packages (about 1,200 characters:
    # the longer pages repeat it).
    "th": ["usr/share/doc/debian-history/dedication/dedication-9.0.th.txt"],
    # Hebrew: no Debian documentation package is translated into it (the
    # desktop help's Hebrew pages are English), so it has no pages here.
    # Malay: for the query corpus only (no page language of its own).
    "ms": ["usr/share/doc/debian-history/dedication/dedication-9.0.ms.txt"],
}

# The English originals: a paragraph of a translation found among theirs is
# left untranslated.
ENGLISH = [reference("en"), maint_guide("en"), faq("en"), handbook("en-US"), install_guide("en"), desktop_help("C")]

# Languages whose letters are not Latin: a paragraph with half of its letters
# or more in ASCII is not theirs.
OTHER_SCRIPT = {"zh_CN", "zh_TW", "ja", "ko", "ru", "el", "ar", "th", "he"}

# Elements whose content is not prose: code, commands, file names, the
# document head and the metadata of a help page.
SKIP = {"head", "script", "style", "pre", "code", "tt", "kbd", "samp", "var", "screen", "programlisting",
        "literallayout", "synopsis", "cmd", "input", "output", "file", "sys", "key", "keyseq", "gui", "guiseq",
        "info", "media", "em_code", "app"}
# Elements that end a paragraph.
BLOCK = {"p", "div", "li", "dd", "dt", "td", "th", "tr", "table", "ul", "ol", "dl", "blockquote", "br", "h1",
         "h2", "h3", "h4", "h5", "h6", "title", "section", "item", "note", "figure", "caption", "terms", "tree",
         "list", "steps", "links", "page", "body", "html", "hr"}

MIN_PARAGRAPH = 20  # characters


class Prose(html.parser.HTMLParser):
    """The paragraphs of running text of an HTML or help-page document."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.skip = 0
        self.current = []
        self.paragraphs = []

    def end_paragraph(self):
        text = " ".join("".join(self.current).split())
        if text:
            self.paragraphs.append(text)
        self.current = []

    def handle_starttag(self, tag, attrs):
        if tag in SKIP:
            self.skip += 1
        elif tag in BLOCK:
            self.end_paragraph()

    def handle_startendtag(self, tag, attrs):
        if tag in BLOCK:
            self.end_paragraph()

    def handle_endtag(self, tag):
        if tag in SKIP:
            self.skip = max(0, self.skip - 1)
        elif tag in BLOCK:
            self.end_paragraph()

    def handle_data(self, data):
        if not self.skip:
            self.current.append(data)

    def close(self):
        super().close()
        self.end_paragraph()


def paragraphs(path):
    """The paragraphs of one document (HTML, help page or plain text, gzip
    compressed or not); a document that is not UTF-8 gives none."""
    with (gzip.open(path) if path.endswith(".gz") else open(path, "rb")) as f:
        data = f.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return []
    if path.endswith((".html", ".page")):
        parser = Prose()
        parser.feed(text)
        parser.close()
        return parser.paragraphs
    return [" ".join(p.split()) for p in re.split(r"\n\s*\n", text) if p.strip()]


def files(root, patterns):
    out = []
    for pattern in patterns:
        found = sorted(glob.glob(os.path.join(root, pattern)))
        if not found:
            raise RuntimeError("no file matches %s" % pattern)
        out += found
    return out


def is_prose(paragraph, lang, english):
    """Whether a paragraph of a translation counts as text of its language."""
    if len(paragraph) < MIN_PARAGRAPH or paragraph in english:
        return False
    letters = [c for c in paragraph if c.isalpha()]
    if not letters:
        return False
    if lang in OTHER_SCRIPT:
        return sum(c < "\x80" for c in letters) * 2 < len(letters)
    return True


class Documentation:
    """The prose paragraphs of the unpacked packages, by language."""

    def __init__(self, root):
        self.root = root
        self.english = {p for path in files(root, ENGLISH) for p in paragraphs(path)}

    def language(self, lang):
        """The paragraphs of one language (a key of SOURCES), in file order."""
        english = set() if lang == "en" else self.english
        return [p for path in files(self.root, SOURCES[lang]) for p in paragraphs(path)
                if is_prose(p, lang, english)]


def fetch_pinned(cache):
    """Downloads every package at its pinned version (unless a .deb of it is
    there) and unpacks it: the unpacked root. A .deb of another version
    fails the run, as does a package one of the data generators reads."""
    read = set(gen.PACKAGES) | set(ccode_text_corpus.PACKAGES)
    shared = sorted(read & set(PACKAGES))
    if shared:
        raise RuntimeError("the data generators read %s: not held out" % ", ".join(shared))
    debdir = os.path.join(cache, "deb")
    os.makedirs(debdir, exist_ok=True)
    for pkg, version in sorted(PACKAGES.items()):
        if not glob.glob(os.path.join(debdir, pkg + "_*.deb")):
            subprocess.run(["apt-get", "download", "%s=%s" % (pkg, version)], cwd=debdir, check=True,
                           stdout=subprocess.DEVNULL)
    root, versions = gen.fetch_packages(cache, PACKAGES)
    for pkg, version in sorted(PACKAGES.items()):
        if versions[pkg] != version:
            raise RuntimeError("%s is %s in %s, the corpus is made from %s" % (pkg, versions[pkg], debdir, version))
    return root


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cache", required=True, help="cache folder (outside the repository)")
    args = ap.parse_args()
    cache = os.path.abspath(args.cache)
    root = fetch_pinned(cache)
    documentation = Documentation(root)
    texts = []
    for lang, _, _, labels in pages.LANGUAGES:
        if lang not in SOURCES:
            continue
        docs = documentation.language(lang)
        codecs = [pages.Codec(label) for label in labels]
        try:
            text = pages.language_text(docs, codecs)
        except RuntimeError:
            raise RuntimeError("too little documentation text for %s" % lang)
        print("%s: %d paragraphs, %d characters" % (lang, len(docs), len(text)))
        texts.append((lang, codecs, text))
    header = ["# package\t%s\t%s\t%s" % (pkg, version, gen.licence(root, pkg))
              for pkg, version in sorted(PACKAGES.items())]
    outdir = os.path.join(cache, "pages")
    print("%d pages in %s" % (pages.write_corpus(outdir, texts, header), outdir))


if __name__ == "__main__":
    main()
