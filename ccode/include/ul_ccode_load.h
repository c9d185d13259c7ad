// Loading and release of the character-code data directory.
//
// The library keeps its data (conversion grids, special words, white-URL
// lists, character and bigram sets, word-frequency and traditional/simplified
// word maps, query data and language features) in process-wide tables read
// from the "code/" folder of a data directory. ul_ccode_load reads them once,
// before the threads that use the library start (it also creates the
// per-thread keys of ul_ccode_conv.h); the tables are only read afterwards.
// ul_ccode_del releases them after those threads have closed their state.
// Neither takes a lock.
//
// A program that uses the data directory that comes with the library needs
// one call:
//
//     if (ul_ccode_load(ul_ccode_default_path(), 0) != 0) { ... }
#ifndef UL_CCODE_LOAD_H_
#define UL_CCODE_LOAD_H_

// Flag word of ul_ccode_load (bits may be combined): 1 special words (then
// the GBI grids are adjusted), 2 query code-type data, 4 query-language
// features, 8 page detection data. Page data is loaded for the flag 0 and
// for any flag with bit 1, 2 or 8; the grids (and the full-width maps when
// both of their files exist) for every flag.

// The flag word of the last ul_ccode_load call that had a path; -1 before.
extern int CCODE_LOAD_FLAG;

// Conversion grids, NULL until loaded. BIG5 source: 89 rows (leads A1..F9)
// of 157 two-byte cells (trails 40..7E, A1..FE). GBK source (GBI text shares
// the GBK layout): 126 rows (leads 81..FE) of 191 cells (trails 40..FE). A
// cell of two zero bytes has no direct mapping.
extern unsigned char* big5_gbk_map;
extern unsigned char* big5_gbi_map;
extern unsigned char* gbk_big5_map;
extern unsigned char* gbk_gbi_map;
extern unsigned char* gbi_big5_map;
extern unsigned char* gbi_gbk_map;

// Loads from path + "/code/" what flag asks for and is not loaded yet
// (loading is cumulative; special words are read again whenever bit 1 is
// set, the feature set is rebuilt whenever bit 4 is set). 0, or -1 (logged)
// for a NULL path or when a required file is missing or damaged; what was
// loaded before a failure stays loaded until ul_ccode_del.
int ul_ccode_load(const char* path, int flag);
// Deletes the per-thread keys and releases every table except the
// character and bigram sets and the Japanese tables (a later load finds them
// filled and keeps them). Always 1.
int ul_ccode_del();

// The data directory that comes with the library (the one that holds
// "code/"): the installed copy when it exists, else the copy in the source
// tree the library was built from. The environment variable
// PBDICT_CCODE_DATA, when set and not empty, overrides both.
const char* ul_ccode_default_path();

// Grid loaders: the grid read from path + "/" + file, or NULL (logged). A
// grid already loaded is returned as it is and the file not read.
unsigned char* ul_big5_gbk_load(const char* path, const char* file);
unsigned char* ul_big5_gbi_load(const char* path, const char* file);
unsigned char* ul_gbk_big5_load(const char* path, const char* file);
unsigned char* ul_gbk_gbi_load(const char* path, const char* file);
unsigned char* ul_gbi_big5_load(const char* path, const char* file);
unsigned char* ul_gbi_gbk_load(const char* path, const char* file);

// 1 when both "bj.txt" and "bj_ext.txt" exist in path + "/code/", else 0.
int is_load_bj(const char* path);
// Loads both 96-byte full-width maps (map_for_bj, map_for_bj_ext of
// ul_transch.h) from path + "/code/"; a map already loaded is kept. 1, or 0
// with both maps freed.
int load_bj(const char* path);

// Offline tool: writes path/out, a GBK-layout grid whose cells are those of
// path/overlay, except where the overlay's cell is A1A1 or A1F5, which take
// path/base's cell. 0, or -1 when a file cannot be opened.
int ul_creat_gbi(const char* path, const char* base, const char* overlay, const char* out);

#endif  // UL_CCODE_LOAD_H_
