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
} Sdict_build;

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

#endif  // UL_DICT_H_
