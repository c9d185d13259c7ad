"""Tests of the evaluation corpus generators (tools/gen_ccode_corpus.py and
tools/gen_ccode_docs_corpus.py) on small made-up inputs: no download."""

import gzip
import os
import sys
import tempfile
import unittest
from unittest import mock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import gen_ccode_corpus as pages  # noqa: E402
import gen_ccode_docs_corpus as docs  # noqa: E402


def write(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


class ProseTest(unittest.TestCase):
    def test_paragraphs_of_markup(self):
        with tempfile.TemporaryDirectory() as d:
            html = write(d, "a.html", (
                "<html><head><title>Title text here, long enough</title></head><body>"
                "<h1>Un titre de chapitre assez long</h1>"
                "<p>Premier paragraphe &amp; suite,<br/>second paragraphe apr\u00e8s la coupure.</p>"
                "<pre>make install DESTDIR=/tmp/x</pre>"
                "<p>Lancez <code>apt-get <var>paquet</var> install</code> puis   attendez.</p>"
                "</body></html>").encode("utf-8"))
            self.assertEqual(docs.paragraphs(html), [
                "Un titre de chapitre assez long", "Premier paragraphe & suite,",
                "second paragraphe apr\u00e8s la coupure.", "Lancez puis attendez."])
            page = write(d, "b.page", (
                "<page><info><desc>metadata that is not prose</desc></info>"
                "<title>Aide</title><p>Cliquez sur <gui>Fichier</gui> ensuite.</p>"
                "<list><item><p>un</p></item><item><p>deux</p></item></list></page>").encode("utf-8"))
            self.assertEqual(docs.paragraphs(page), ["Aide", "Cliquez sur ensuite.", "un", "deux"])

    def test_plain_compressed_and_foreign_text(self):
        with tempfile.TemporaryDirectory() as d:
            text = "line one\nline two\n\n \n\nthird   one\n"
            self.assertEqual(docs.paragraphs(write(d, "a.txt", text.encode("utf-8"))),
                             ["line one line two", "third one"])
            self.assertEqual(docs.paragraphs(write(d, "a.txt.gz", gzip.compress(text.encode("utf-8")))),
                             ["line one line two", "third one"])
            self.assertEqual(docs.paragraphs(write(d, "latin1.html", "<p>caf\u00e9</p>".encode("latin-1"))), [])

    def test_files_must_match(self):
        with tempfile.TemporaryDirectory() as d:
            write(d, "b.html", b"")
            write(d, "a.html", b"")
            self.assertEqual(docs.files(d, ["*.html"]), [os.path.join(d, "a.html"), os.path.join(d, "b.html")])
            with self.assertRaises(RuntimeError):
                docs.files(d, ["*.html", "*.page"])


class FilterTest(unittest.TestCase):
    def test_length_limit(self):
        self.assertTrue(docs.is_prose("x" * docs.MIN_PARAGRAPH, "fr", set()))
        self.assertFalse(docs.is_prose("x" * (docs.MIN_PARAGRAPH - 1), "fr", set()))
        self.assertFalse(docs.is_prose("1234567890" * 3, "fr", set()))  # no letter

    def test_untranslated_paragraphs(self):
        english = {"This paragraph was left in English."}
        self.assertFalse(docs.is_prose("This paragraph was left in English.", "de", english))
        self.assertTrue(docs.is_prose("This paragraph was left in English.", "en", set()))
        self.assertTrue(docs.is_prose("Dieser Absatz ist \u00fcbersetzt worden.", "de", english))

    def test_other_script_needs_most_letters_its_own(self):
        greek = "\u03b1\u03b2\u03b3\u03b4\u03b5"
        self.assertTrue(docs.is_prose(greek * 3 + " " + "a" * 14, "el", set()))   # 15 of 29 letters Greek
        self.assertFalse(docs.is_prose(greek * 3 + " " + "a" * 15, "el", set()))  # exactly half ASCII
        self.assertTrue(docs.is_prose("a" * 15 + " " + "b" * 15, "tr", set()))     # Latin script: no test


class PinTest(unittest.TestCase):
    def test_refuses_packages_the_generators_read(self):
        with tempfile.TemporaryDirectory() as d, \
                mock.patch.dict(docs.PACKAGES, {"manpages-fr": "4.18.1-1"}), \
                mock.patch.object(docs.subprocess, "run") as run:
            with self.assertRaisesRegex(RuntimeError, "manpages-fr"):
                docs.fetch_pinned(d)
            run.assert_not_called()

    def test_refuses_another_version(self):
        with tempfile.TemporaryDirectory() as d, \
                mock.patch.object(docs, "PACKAGES", {"debian-faq": "11.1"}), \
                mock.patch.object(docs.subprocess, "run") as run, \
                mock.patch.object(docs.gen, "fetch_packages", return_value=(d, {"debian-faq": "11.2"})):
            os.makedirs(os.path.join(d, "deb"))
            with self.assertRaisesRegex(RuntimeError, "11.2"):
                docs.fetch_pinned(d)
            self.assertEqual(run.call_args[0][0], ["apt-get", "download", "debian-faq=11.1"])


class PagesTest(unittest.TestCase):
    def test_language_text_needs_1000_characters(self):
        codecs = [pages.Codec("UTF-8")]
        self.assertEqual(len(pages.language_text(["a" * 1000], codecs)), 1000)
        with self.assertRaises(RuntimeError):
            pages.language_text(["a" * 999], codecs)
        # Characters a codec of the language cannot carry are dropped first.
        with self.assertRaises(RuntimeError):
            pages.language_text(["a" * 999 + "\u4e2d"], [pages.Codec("WINDOWS-1252")])

    def test_pages_and_manifest(self):
        codecs = [pages.Codec("WINDOWS-1252"), pages.Codec("UTF-8-BOM")]
        text = pages.language_text(["D\u00e9j\u00e0 vu, caf\u00e9 cr\u00e8me. " * 60], codecs)
        with tempfile.TemporaryDirectory() as d:
            n = pages.write_corpus(d, [("fr", codecs, text)], ["# package\tx\t1\tGPL"])
            per_codec = len(pages.LENGTHS) * pages.SAMPLES * len(pages.DECLARATIONS)
            self.assertEqual(n, 2 * per_codec)
            with open(os.path.join(d, "manifest.tsv"), encoding="utf-8") as f:
                lines = f.read().splitlines()
            self.assertEqual(lines[:2], ["# package\tx\t1\tGPL",
                                         "# file\tencoding\tlanguage\tdeclaration\tdeclared\tlength\tbytes"])
            self.assertEqual(len(lines), 2 + n)
            self.assertFalse(os.path.exists(os.path.join(d, "manifest.tsv.tmp")))
            for line in lines[2:]:
                name, label, lang, decl, declared, length, size = line.split("\t")
                with open(os.path.join(d, name), "rb") as f:
                    data = f.read()
                self.assertEqual(len(data), int(size))
                self.assertEqual(data.startswith(b"\xef\xbb\xbf"), label == "UTF-8-BOM")
                self.assertEqual(declared == "-", decl == "none")
                if decl != "none":
                    self.assertIn(("charset=%s" % declared).encode(), data)


if __name__ == "__main__":
    unittest.main()
