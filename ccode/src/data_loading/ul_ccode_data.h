// The process-wide tables of the character-code data directory that the
// loader owns, their file readers and the grid layouts.
#ifndef CCODE_SRC_UL_CCODE_DATA_H_
#define CCODE_SRC_UL_CCODE_DATA_H_

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <unordered_set>

#include "utils/ccode_hashmap.h"

// Grid layouts. A BIG5 cell index is (b0 - 0xA1) * 157 + (b1 - 0x40 when
// b1 < 0xA1, else b1 - 0x62); a GBK one (b0 - 0x81) * 191 + (b1 - 0x40).
// A cell's two bytes lie at twice its index.
constexpr int kBig5Rows = 89;
constexpr int kBig5Cells = 157;
constexpr int kBig5FirstLead = 0xA1;
constexpr int kGbkRows = 126;
constexpr int kGbkCells = 191;
constexpr int kGbkFirstLead = 0x81;
constexpr int kBig5GridBytes = kBig5Rows * kBig5Cells * 2;  // 27,946
constexpr int kGbkGridBytes = kGbkRows * kGbkCells * 2;     // 48,132

// Word-frequency slots: the language of slot i.
constexpr int kUnigramSlots = 15;
extern const int langindex[kUnigramSlots];

// Character sets: the first two bytes of a character, first byte low.
typedef std::unordered_set<uint16_t> ccode_charset_t;
// Bigram sets: the first four bytes (two double-byte characters), first
// byte lowest.
typedef std::unordered_set<uint32_t> ccode_bigramset_t;
typedef ccode::hashmap<std::string, double> ccode_wordmap_t;
typedef ccode::hashmap<std::string, unsigned int> ccode_wordbits_t;
typedef ccode::hashmap<std::string, std::string> ccode_transmap_t;

extern ccode_charset_t l_setHanzi;         // code/gbkwords.txt
extern ccode_charset_t l_setGbkSimp;       // code/gbk_simp.txt
extern ccode_charset_t l_setGbkTrad;       // code/gbk_trad.txt
extern ccode_charset_t l_setGbkSimpPure;   // code/gbk_simp_pure.txt
extern ccode_charset_t l_setGbkJpHanzi;    // code/gbk_jphanzi.txt
extern ccode_charset_t l_setGbkJpHanziUnq; // code/gbk_jphanzi_unq.txt
extern ccode_bigramset_t l_setWords;       // code/bigram.dic (GBI)
extern ccode_bigramset_t l_setKrjp;        // code/bigram_krjp.dic
extern ccode_bigramset_t l_setGbkjp;       // code/bigram_gbkjp.dic
extern ccode_bigramset_t l_setEuckr;       // code/bigram_euckr.dic
extern ccode_bigramset_t l_setSjis;        // code/bigram_sjis.dic
extern ccode_bigramset_t l_setEucjp;       // code/bigram_eucjp.dic
// Word -> log10 frequency of the language langindex[i] (code/unigram/i.unigram).
extern ccode_wordmap_t l_mapWord[kUnigramSlots];
// Word -> bit set of the slots whose file holds it.
extern ccode_wordbits_t l_globalWord;
extern ccode_transmap_t l_trad2simp;  // code/trad_simp_words.dic (GB18030)
extern ccode_transmap_t l_simp2trad;  // code/simp_trad_words.dic (GB18030)

// Bigram hits of the first len bytes of text: a window of four bytes moves
// on 4 after a hit and 2 after a miss; windows that do not fit are not read.
int check_bigram(const ccode_bigramset_t& set, const char* text, int len);

// Opens path + "/" + name (a name of at most 4,095 bytes) for reading; NULL
// after "open %s error" (level 1) when it cannot be opened or named.
FILE* ccode_data_open(const char* path, const char* name);

// True when a load with this flag word reads the page detection data (and
// the page detectors may run): flag 0 or any of the bits 1, 2 and 8.
bool ccode_page_data_wanted(int flag);

// Grid readers: the grid of path + "/" + file in the BIG5 or GBK layout, or
// NULL (logged). The caller owns the result (free()).
unsigned char* big5_to_load(const char* path, const char* file);
unsigned char* gbk_to_load(const char* path, const char* file);

// Set and map readers of path + "/" + file. A table that is not empty is
// left as it is. load_unigram_dict, load_bigram_dict: 1, or -1 when the file
// cannot be opened. load_word_unigram (into l_mapWord[slot] and
// l_globalWord), load_trad_simp_map: the number of lines taken, 0 when the
// map was not empty, -1 on failure.
int load_unigram_dict(const char* path, const char* file, ccode_charset_t* set);
int load_bigram_dict(const char* path, const char* file, ccode_bigramset_t* set);
int load_word_unigram(const char* path, const char* file, ccode_wordmap_t* map, int slot);
int load_trad_simp_map(const char* path, const char* file, ccode_transmap_t* map);

#endif  // CCODE_SRC_UL_CCODE_DATA_H_
