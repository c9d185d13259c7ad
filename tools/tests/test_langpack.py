"""Tests of the language-pack reader and the cache check of
tools/gen_ccode_data.py, on small made-up packs: no download."""

import os
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import ccode_split  # noqa: E402
import gen_ccode_data as gen  # noqa: E402


class LangpackStringsTest(unittest.TestCase):
    def test_each_format(self):
        ftl = ("# a comment line\n"
               "tab-title = Tab baharu { $count }\n"
               "    .tooltiptext = Buka <b>tab</b> lain\n"
               "    .accesskey = T\n"
               "-brand-name = Pelayar\n"
               "items =\n"
               "    { $n ->\n"
               "        [one] satu item\n"
               "       *[other] banyak item\n"
               "    }\n")
        self.assertEqual([(k, v.split()) for k, v in gen.langpack_strings("a.ftl", ftl.encode())], [
            ("a.ftl#tab-title", ["Tab", "baharu", "Buka", "tab", "lain"]),
            ("a.ftl#-brand-name", ["Pelayar"]),
            ("a.ftl#items", ["satu", "item", "banyak", "item"])])
        properties = ("# comment\n"
                      "removeButton = Buang %S dari &brandShortName;\n"
                      "saveLabel=Simpan\\u00a0fail\\nbaharu\n"
                      "saveLabel.accesskey = S\n")
        self.assertEqual(gen.langpack_strings("b.properties", properties.encode()), [
            ("b.properties#removeButton", "Buang   dari  "), ("b.properties#saveLabel", "Simpan\u00a0fail\nbaharu")])
        dtd = ('<!ENTITY event.new "Acara Baru\u2026">\n'
               "<!ENTITY event.name 'Nama acara'>\n"
               '<!ENTITY event.new.accesskey "B">\n')
        self.assertEqual(gen.langpack_strings("c.dtd", dtd.encode()), [
            ("c.dtd#event.new", "Acara Baru\u2026"), ("c.dtd#event.name", "Nama acara")])
        self.assertEqual(gen.langpack_strings("d.json", b'{"a": "b"}'), [])

    def test_a_string_needs_two_characters(self):
        self.assertEqual(gen.langpack_strings("a.properties", b"one = x\ntwo = ya\nplace = { $a } z\n"),
                         [("a.properties#two", "ya")])


class LangpackTextsTest(unittest.TestCase):
    def test_both_languages_keep_the_same_messages_of_the_training_half(self):
        ids = ["msg%d" % i for i in range(40)]
        with tempfile.TemporaryDirectory() as root:
            for loc, pack in (("ms", "usr/lib/firefox-esr/browser/extensions"), ("id", "usr/lib/thunderbird/extensions")):
                os.makedirs(os.path.join(root, pack))
                with zipfile.ZipFile(os.path.join(root, pack, "langpack-%s@x.xpi" % loc), "w") as z:
                    z.writestr("localization/%s/app/main.ftl" % loc,
                               "".join("%s = %s kata %d\n" % (i, loc, n) for n, i in enumerate(ids)))
                    z.writestr("localization/%s/app/icon.png" % loc, b"\x89PNG")
            kept = [n for n, i in enumerate(ids)
                    if ccode_split.is_training(ccode_split.catalog_key("localization/app/main.ftl#" + i))]
            self.assertTrue(0 < len(kept) < len(ids))
            self.assertEqual(gen.langpack_texts(root, ["ms"]), [" ms kata %d" % n for n in kept])
            self.assertEqual(gen.langpack_texts(root, ["id"]), [" id kata %d" % n for n in kept])
            self.assertEqual(len(gen.langpack_texts(root, ["ms"], ccode_split.HELD_OUT)), len(ids) - len(kept))
            self.assertEqual(gen.langpack_texts(root, ["fi"]), [])


class CacheTest(unittest.TestCase):
    def test_a_cache_holding_another_package_is_refused_before_any_download(self):
        with tempfile.TemporaryDirectory() as cache:
            os.makedirs(os.path.join(cache, "root"))
            for stamp in ("apt_2.6.2_amd64.deb", "xkb-data_2.35.1-1_all.deb", "a-b_1_all.deb"):
                open(os.path.join(cache, "root", ".unpacked-" + stamp), "w").close()
            self.assertEqual(gen.stray_packages(os.path.join(cache, "root"), gen.PACKAGES), ["a-b", "xkb-data"])
            with self.assertRaisesRegex(RuntimeError, "also holds a-b, xkb-data"):
                gen.fetch(cache)
            self.assertFalse(os.path.exists(os.path.join(cache, "deb")))


if __name__ == "__main__":
    unittest.main()
