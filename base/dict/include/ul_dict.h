// Signature dictionaries: 64-bit string signatures mapped to a code and a
// payload word.
//
//  - Sdict_build: the growable in-memory dictionary (db_*), saved to and
//    loaded from three files NAME.n / NAME.ind1 / NAME.ind2 (db_save, db_load).
//  - Sdict_search: the read-only search form of the same files, read into
//    memory (ds_load), mapped (ds_load_mmap) or searched on disk (ds_load_hd).
//  - The older word-sum signatures (creat_sign32 ...).
//
// Results: 1 done, 0 absent, -1 error, -2 out of memory, -3 a file that
// cannot be created, as each function says.
#ifndef UL_DICT_H_
#define UL_DICT_H_

#include <sys/types.h>

#include "ul_prime.h"
#include "ul_sign.h"

// ---------------------------------------------------------------------------
// Records

// Operand of every operation and the 16-byte record of NAME.ind2.
// In the dictionary's own operations `other` holds a frequency in its low
// 25 bits and a weight (0..127) in its high 7 bits.
typedef struct {
  u_int sign1;
  u_int sign2;
  int code;  // -1: absent or deleted
  u_int other;
} Sdict_snode;

#define DICT_FREQ_MASK 0x1FFFFFFu
#define DICT_WEIGHT_MASK 0xFE000000u
#define DICT_WEIGHT_SHIFT 25

enum Eop_method {
  ADD = 0,
  CLUSTER = 1,
  MOD = 2,
  SEEK = 3,
  SEEKP = 4,  // search side only
  DEL = 5,
  MODF = 6,
  MODW = 7,
  MODC = 8
};

typedef struct ss_dict_build_node {
  u_int sign1;
  u_int sign2;
  int code;
  u_int other;
  struct ss_dict_build_node* next;
} Sdict_bnode;

typedef struct {
  Sdict_bnode* pnode;  // chain head, NULL when empty
} Sdict_bhash;

#define DICT_BLOCK_NODES 262144

typedef struct ss_dict_build_node_block {
  Sdict_bnode nodes[DICT_BLOCK_NODES];
  struct ss_dict_build_node_block* next;
} Sdict_bnode_block;

typedef struct {
  int hash_num;  // buckets
  int node_num;  // live keys
  int cur_code;  // next code ADD hands out
  Sdict_bhash* hash;
  Sdict_bnode_block* nblock;      // first block
  Sdict_bnode_block* cur_nblock;  // block being filled
  Sdict_bnode* cur_node;          // next free node
  int node_avail;                 // free nodes left in cur_nblock
  // Posting lists only: what db_add_link has noted of the lists it built
  // (each term's last posting, and whether every posting went to the end of
  // its list), so that documents added in increasing order join their list
  // without walking it and the lists are weighted and saved in node order;
  // and the posting words db_stand_link gathered for the savers. NULL before
  // the first db_add_link. Owned; dropped by every other change of the nodes
  // (db_op1 and db_opn other than SEEK, db_renew, db_renew_fast, db_adjust,
  // db_del).
  struct ss_dict_link_state* link_state;
} Sdict_build;
// The buckets, blocks and nodes belong to the dictionary: callers may read
// them (walk a chain from hash[b].pnode), and change them only through the
// functions below, which keep the chains, counts and link_state in step.

typedef struct {
  u_int sign1;
  u_int sign2;
  int weight;
} Skeyweight;

typedef struct {
  int num;
  void* index2;  // num pairs of u_int {frequency, code}; ul_malloc'ed, caller's
  int* rept;     // num weights; ul_malloc'ed, caller's
} Spagecluster;

// Search form: the arrays of NAME.ind1 and NAME.ind2.
typedef struct {
  int hash_num;
  int node_num;
  int cur_code;
  unsigned int* hash;  // first record of each bucket
  unsigned int* num;   // records of each bucket
  Sdict_snode* node;   // node_num records in file order
} Sdict_search;

// Search form kept on disk: one bucket read per look-up.
typedef struct {
  int hash_num;
  int node_num;
  int cur_code;
  int find1;  // descriptor of NAME.ind1
  int find2;  // descriptor of NAME.ind2
} Sdict_search_hd;

// ---------------------------------------------------------------------------
// Build side (in memory)

Sdict_build* db_creat(int hash_num, int now_code);  // NULL: hash_num < 1 or no memory
int db_op1(Sdict_build* pdb, Sdict_snode* pnode, Eop_method op);
int db_opn(Sdict_build* pdb, Sdict_snode* pnode, int n, Eop_method op);
int db_del(Sdict_build* pdb);
int db_renew(Sdict_build* pdb);
int db_renew_fast(Sdict_build* pdb);
int db_adjust(Sdict_build* pdb);  // 0, or -2 with the dictionary unchanged
int db_keylist(Sdict_build* pdb, Skeyweight* keys, int n);
int db_cluster(Sdict_build* pdb, Spagecluster* pc);
int page_cluster(Sdict_snode* nodes, int n, Spagecluster* pc);

// ---------------------------------------------------------------------------
// Files

// dir + '/' + file into buffer; 0, or -1 (buffer "") when it does not fit.
int CmpsPath(char* buffer, const char* dir, const char* file, int size);

// Writes NAME.n, NAME.ind2 and NAME.ind1 in path; 1, or -1 on any failure.
int db_save(Sdict_build* pdb, const char* path, const char* fname);
// As db_save for the live keys whose frequency is at least min_freq; NAME.n
// is written last and counts the records actually written. 1, -1 a failed
// write, -2 out of memory, -3 a file that cannot be created.
int db_save_filter(Sdict_build* pdb, const char* path, const char* fname, int min_freq);
// Writes NAME.n ("max_code") and NAME (frequency by code), then clears the
// frequencies in the dictionary. cur_code, -2 out of memory, -3 a file that
// cannot be written (the dictionary then keeps its frequencies).
int db_save_freq(Sdict_build* pdb, const char* path, const char* fname);
// hash_num < 1 takes the saved bucket count. NULL when the files are missing,
// a number is missing or out of range, or NAME.ind2 does not hold exactly
// node_num records.
Sdict_build* db_load(const char* path, const char* fname, int hash_num);
Sdict_build* db_load_0(const char* path, const char* fname, int hash_num);

// ---------------------------------------------------------------------------
// Search side

// Loaders return NULL (with a WARNING) when a file is missing, a number is
// missing or out of range, NAME.ind1 / NAME.ind2 do not hold exactly
// 8 x hash_num / 16 x node_num bytes, or a bucket reaches past the records.
Sdict_search* ds_load(const char* path, const char* fname);
Sdict_search* ds_load_name(const char* path, const char* fname);
// Maps NAME.ind1 and NAME.ind2 read-only: SEEK answers as in memory; SEEKP,
// MODF, MODW, MODC, ds_save_freq and ds_load_freq are refused with -1 and a
// WARNING. Released with ds_del_mmap (ds_del recognises it too).
Sdict_search* ds_load_mmap(const char* path, const char* fname);
Sdict_search* ds_load_parse(const char* path, const char* fname);
Sdict_search_hd* ds_load_hd(const char* path, const char* fname);
int ds_op1(Sdict_search* psd, Sdict_snode* pnode, Eop_method op);
int ds_opn(Sdict_search* psd, Sdict_snode* pnode, int n, Eop_method op);
// The code found, -1 when absent, -2 out of memory.
int ds_seek_hd(Sdict_search_hd* phd, Sdict_snode* pnode);
// Release; each accepts a dictionary of the other form and releases it
// properly. NULL accepted. Return 0.
int ds_del(Sdict_search* psd);
int ds_del_mmap(Sdict_search* psd);
int ds_del_hd(Sdict_search_hd* phd);
int ds_save(Sdict_search* psd, const char* path, const char* fname);
// cur_code, -2 out of memory, -3 a file that cannot be created; the
// frequencies are cleared in the records once the file is written.
int ds_save_freq(Sdict_search* psd, const char* path, const char* fname);
// 1, or -2 when the file cannot be opened or the array allocated. Entries
// past the end of the file count as 0; codes outside 0..cur_code-1 are left.
int ds_load_freq(Sdict_search* psd, const char* path, const char* fname);
int ds_save_parser(Sdict_search* psd, const char* path, const char* dir);
Sdict_search* ds_reload(Sdict_search* psd, const char* path, const char* fname, const char* dir);
int ds_reload_test(Sdict_search* psd, char* path, char* fname);

// ---------------------------------------------------------------------------
// Older word-sum signatures (words are little-endian u32; rotations mod 32)

u_int creat_sign32(const char* str);
int creat_sign64(const char* str, u_int* sign1, u_int* sign2);
int creat_sign_t64(const void* terms, int size, const char* str, u_int* sign1, u_int* sign2);
int creat_sign_nt64(const void* terms, int size, const char* str, u_int* sign1, u_int* sign2);
int a_creat_sign_t64(const void* src, int len, u_int* sign1, u_int* sign2);
u_int creat_term_sign(const char* str);

// ---------------------------------------------------------------------------
// Posting lists: a build-side dictionary used as an inverted index. Bucket t
// is term t (created with db_creat(term count, ...)); its chain holds the
// term's postings in ascending document code: sign2 = term, code = document,
// other = count, then weight (db_stand_link).

// Index record of the posting files: first posting and number of postings.
typedef struct {
  int off;
  int num;
} Sindex1;

// Adds document rec->code to term rec->sign2: a repeated document counts up
// its other by 1, a new one enters with rec's sign1 and other. 1 done, -1 the
// term is not below hash_num (WARNING), -2 out of memory.
int db_add_link(Sdict_build* pdb, Sdict_snode* rec);
// Turns every term's counts into weights 0..126 (the largest of a list 126
// unless all its counts are small). Returns 1. When documents were added in
// increasing order it also gathers the words the savers write (4 bytes a
// posting, held until a later weighing or save replaces them or link_state
// is dropped).
int db_stand_link(Sdict_build* pdb);
// Writes NAME.n ("term_num"), NAME.ind1 (one Sindex1 per term, offsets in
// posting words) and NAME.ind2 (posting words: document code in the low 25
// bits, weight in the high 7), at most 4096 postings per term.
// 1, or -2 when a file cannot be written. The words gathered by
// db_stand_link (or an earlier save) are written only while no function
// changed the nodes since; otherwise the lists are read again. A node
// changed directly through Sdict_bnode after db_stand_link is not seen.
int db_save_link(Sdict_build* pdb, const char* path, const char* fname);
// As db_save_link without a per-term limit, the postings split over files
// "NAME.ind2.<f>" of 100000 terms each, offsets restarting at 0
// in every file; NAME.n also holds "file_num". 1, or -2.
int db_save_link_search(Sdict_build* pdb, const char* path, const char* fname);

// ---------------------------------------------------------------------------
// Index tools: derive one saved dictionary from another under the working
// folder path, recomputing the other word of every record. Status numbers
// files: "status/dbfreq.cur" ("cur_dbfreq"), "status/dsfreq.cur"
// ("cur_dsfreq"), "status/url" ("url_num"), "raw/url" ("cur_code").
// Each returns -1 when a dictionary does not load or the result cannot be
// saved.

// Number of octal digits of v (0 for 0).
int get_log8(unsigned int v);
// Adds the frequency generations "<prefix>.<g>" of both kinds and gives
// every record of name weight log8(url_num) - log8(f) + 1 over its summed
// frequency f; saves as out. 1, -2 out of memory.
int pre_creat_search_dict(const char* path, const char* name, const char* out,
                          const char* dbfreq_prefix, const char* dsfreq_prefix);
// The same weight from one frequency file, kept to 1..10. 1, -2.
int creat_search_dict(const char* path, const char* name, const char* out, const char* freq_file);
// Weights for the secondary dictionary vice_name: a key of main_name keeps
// the main weight, any other key gets the frequency weight (1..10) over the
// secondary document count ("raw/url"). 1, -2 out of memory.
int creat_vice_dict(const char* path, const char* main_name, const char* vice_name,
                    const char* out, const char* freq_file);
// Weights from a file of one byte per code, frequencies cleared. 1, -2 out of
// memory, -3 the weight file cannot be read.
int creat_parser_dict(const char* path, const char* name, const char* out, const char* weight_file);
// Keeps the lw most frequent keys in a new dictionary out (codes 0.. in
// record order). Returns the frequency class at which the selection was cut
// (0 when every class was needed); -1 for lw < 0, -2 out of memory.
int creat_stand_dict(const char* path, const char* name, const char* out, int lw);
// A new dictionary of n keys drawn from the most frequent ones of sd, in a
// random() order with codes 0..n-1 (written back into sd's records). n = 0
// gives an empty dictionary of one bucket; NULL for n < 0, n above the record
// count, a mapped sd or no memory.
Sdict_build* ds_filter(Sdict_search* sd, int n);

// ---------------------------------------------------------------------------
// Phrase dictionaries: find known phrases inside a text. Results go into a
// caller buffer, each found string followed by one space; the caller sizes
// the buffer for what the text may yield.

typedef struct {
  int off;  // offset of the bucket's first phrase in phrase
  int num;  // phrases in the bucket
} Shash_phrase;

typedef struct {
  Shash_phrase* hash;  // 100001 buckets
  char* phrase;        // every phrase NUL-terminated, grouped by bucket
} Sdict_phrase;

// Builds path/NAME.ind1 and path/NAME.ind2 from the blank-separated tokens of
// path/src (tokens of 3..2047 bytes; a longer one ends the process
// with status -1). 0, -1 the source cannot be read, -2 out of memory, -3 a
// file cannot be written.
int dp_build(const char* path, const char* src, const char* name);
// NULL only when memory runs out; missing or inconsistent files are logged
// and leave the dictionary (or the buckets concerned) empty.
Sdict_phrase* dp_load(const char* path, const char* name);
int dp_del(Sdict_phrase* dp);  // 0
// Every phrase found at any text position, in text order; the count.
int dp_seek(Sdict_phrase* dp, const char* text, char* out);
// The longest phrase that starts the text, copied to out; 1, or 0.
int dp_search(Sdict_phrase* dp, const char* text, char* out);

typedef struct {
  int off;
  int num;
} Shash_cphrase;

typedef struct {
  Shash_cphrase* hash;    // 487296 buckets: 72 x 94 x 72
  unsigned char* phrase;  // the phrase file, line ends turned into NUL
  char* surname;          // surname table
} Sdict_cphrase;

// Loads path/phrase_file (GB2312 phrases, one a line, in byte order) and the
// surname table path/surname_file (empty when it cannot be read). NULL when
// the phrase file cannot be read or memory runs out.
Sdict_cphrase* dcp_load(const char* path, const char* phrase_file, const char* surname_file);
int dcp_del(Sdict_cphrase* cp);  // 1
// Every phrase and three-character name at every character position.
int dcp_seek(Sdict_cphrase* cp, const char* text, char* out);
// Segments the text into phrases, names and character pairs (consecutive
// units overlap by one character); the number of units.
int dcp_search(Sdict_cphrase* cp, const char* text, char* out);

// Surname table (65536 bytes, 1 at first byte x 256 + second
// byte of a surname) from the words of path/file; NULL when the file cannot
// be opened or memory runs out.
char* dsur_load(const char* path, const char* file);
int dsur_del(char* table);  // 1
// Every three-character GB2312 name that starts with a surname; the count.
int dsur_seek(const char* table, const char* text, char* out);
// 1 and the name when one starts the text, else 0.
int dsur_search(const char* table, const char* text, char* out);

// ---------------------------------------------------------------------------
// Synonym dictionary: word -> synonym pairs keyed by creat_sign_f64 of the
// word, holding the synonym's signature; the texts live once each in a word
// store of 524288-byte blocks indexed by a dictionary of words (code = length,
// other = location = (block << 19) + offset).

// A pair, and the 16-byte record of NAME.ind2.
typedef struct {
  u_int sign1;  // signature of the word
  u_int sign2;
  u_int sign3;  // signature of its synonym
  u_int sign4;
} Sdict_syn_snode;

typedef struct ss_dict_build_syn_node {
  u_int sign1;
  u_int sign2;
  u_int sign3;
  u_int sign4;
  struct ss_dict_build_syn_node* next;
} Sdict_syn_bnode;

typedef struct {
  Sdict_syn_bnode* pnode;
} Sdict_syn_bhash;

typedef struct ss_dict_syn_build_node_block {
  Sdict_syn_bnode nodes[262144];
  struct ss_dict_syn_build_node_block* next;
} Sdict_syn_bnode_block;

typedef struct ss_dict_syn_buffer_block {
  char buf[524288];
  struct ss_dict_syn_buffer_block* next;
} Sdict_syn_buf_block;

typedef struct {
  int hash_num;
  int node_num;  // pairs
  Sdict_syn_bhash* hash;
  Sdict_build* pdword;  // the words
  int words;            // distinct words
  Sdict_syn_bnode_block* nblock;
  Sdict_syn_bnode_block* cur_nblock;
  Sdict_syn_bnode* cur_node;
  int node_avail;
  Sdict_syn_buf_block* bufblock;  // first buffer block
  Sdict_syn_buf_block* cur_bufblock;
  int nrbufblock;  // buffer blocks in use
  int cur_buf;     // next free offset in the current block
} Sdict_build_syn;

typedef struct {
  int hash_num;
  int node_num;
  Sdict_search* pdword;
  unsigned int* hash;
  unsigned int* num;
  Sdict_syn_snode* node;
  char* wordbuffer;  // every buffer block back to back
} Sdict_search_syn;

// NULL for hash_num < 1 or no memory.
Sdict_build_syn* db_syn_creat(int hash_num);
int db_syn_del(Sdict_build_syn* syn);  // 1
// Rehash to node_num / 2 buckets (plus 1 when even). 0, or -2 unchanged.
int db_syn_adjust(Sdict_build_syn* syn);
// 1 already stored, 0 stored now, -1 longer than a buffer block takes, -2 out
// of memory.
int db_syn_add_word(Sdict_build_syn* syn, const char* word);
// Stores both words and the pair. 1 pair already present, 0 added, -1 a word
// refused, -2 out of memory.
int db_syn_add(Sdict_build_syn* syn, const char* word, const char* synonym);
// Adds a pair by its signatures only. 1 present, 0 added, -2.
int db_syn_add_snode(Sdict_build_syn* syn, Sdict_syn_snode* pair);
// Build from a file of groups, one a line, items separated by '|'. mode 0:
// every item a synonym of every other; mode 1: the first item and each other
// one, both ways. NULL when the dictionary or the file cannot be opened.
Sdict_build_syn* db_syn_construct(const char* file, int hash_num, int mode);
// One direction only. mode 0: each item to the next; mode 1: the first item
// to each other one.
Sdict_build_syn* db_syn_construct_unidirect(const char* file, int hash_num, int mode);
// The synonyms of word as consecutive NUL-terminated strings in out (size
// bytes), most recently added first, stopping before one that does not fit.
// The number written, or -1 for a location outside the word store.
int db_syn_seek(Sdict_build_syn* syn, const char* word, char* out, int size);
int ds_syn_seek(Sdict_search_syn* syn, const char* word, char* out, int size);
// Writes NAME.n, NAME.ind1, NAME.ind2, NAME.word and the word dictionary
// NAME.word.{n,ind1,ind2}. 1, -1 out of memory or a count mismatch, -3 a file
// cannot be written.
int db_syn_save(Sdict_build_syn* syn, const char* path, const char* name);
// hash_num < 1 takes the saved bucket count. NULL when a file is missing or
// shorter than its numbers promise.
Sdict_build_syn* db_syn_load(const char* path, const char* name, int hash_num);
Sdict_search_syn* ds_syn_load(const char* path, const char* name);
int ds_syn_del(Sdict_search_syn* syn);  // 0

#endif  // UL_DICT_H_
