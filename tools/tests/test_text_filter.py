#!/usr/bin/env python3
"""Tests of tools/ccode_text_filter.py (run by ctest with the other tool tests)."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from ccode_text_filter import EnglishFilter  # noqa: E402

ENGLISH = ["the file is written to the output\nthe name of the file\nif the option is given, the file is read",
           "print the version and exit\nwrite the list to standard output"]


class EnglishFilterTest(unittest.TestCase):
    def setUp(self):
        self.filter = EnglishFilter(ENGLISH)

    def test_drops_english_lines_and_keeps_the_language(self):
        spanish = ["el archivo se escribe en la salida\nprint the version and exit\nel nombre del archivo",
                   "muestra la versión y sale"]
        self.assertEqual(self.filter.clean(spanish),
                         ["el archivo se escribe en la salida\nel nombre del archivo", "muestra la versión y sale"])

    def test_a_word_both_share_is_not_held_against_the_language(self):
        # "file" is frequent in English, but the language uses it as often.
        indonesian = ["file tidak ada\nfile ditulis\nsalin file", "file"]
        self.assertEqual(self.filter.clean(indonesian), indonesian)

    def test_lines_without_words_are_kept_and_texts_stay_whole(self):
        texts = ["-- 1 2 3\n\n%s: %d", "", "la salida\nthe file"]
        self.assertEqual(self.filter.clean(texts), ["-- 1 2 3\n\n%s: %d", "", "la salida"])

    def test_letters_outside_ascii_count_as_words(self):
        # Thai and Arabic runs are words the English model never saw.
        self.assertEqual(self.filter.clean(["ภาษาไทย the", "اللغة the"]), ["ภาษาไทย the", "اللغة the"])

    def test_no_english_text_drops_nothing_it_cannot_tell(self):
        empty = EnglishFilter([])
        self.assertEqual(empty.clean(["the file", "la salida"]), ["the file", "la salida"])


if __name__ == "__main__":
    unittest.main()
