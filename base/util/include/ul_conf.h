// Configuration files ("name : value" lines, "$include" one level deep) read
// into a fixed-capacity table, typed getters, modifiers and adders, the
// writer, and the numbers files ("DIR/NAME.n") of the same format.
#ifndef UL_CONF_H_
#define UL_CONF_H_

#include <stddef.h>

#define UL_CONF_WORD_SIZE 2048  // bytes of a name or a value, NUL included
#define UL_CONF_MIN_SIZE 1024   // smallest capacity of a table

typedef struct Ul_confitem {
  char name[UL_CONF_WORD_SIZE];
  char value[UL_CONF_WORD_SIZE];
} Ul_confitem;

typedef struct Ul_confdata {
  int num;            // items in use
  int size;           // capacity
  Ul_confitem* item;  // size items, in file order; duplicates kept
} Ul_confdata;

// A zeroed table of max(size, 1024) items; NULL (ul error 2) when out of memory.
Ul_confdata* ul_initconf(int size);
// Frees the table; NULL accepted; returns 1.
int ul_freeconf(Ul_confdata* conf);

// Reads dir/file into the table from item 0. 1, or -1.
int ul_readconf(const char* dir, const char* file, Ul_confdata* conf);
// ul_readconf followed by "$include" processing.
int ul_readconf_ex(const char* dir, const char* file, Ul_confdata* conf);
// Reads the file at path into the table from item 0.
int ul_readconf_no_dir(const char* path, Ul_confdata* conf);
// The core reader: appends the items of the file at path from item start.
int readconf_no_dir(const char* path, Ul_confdata* conf, int start);
// Reads the files named by the "$include" items present now; returns 1.
int ul_readconf_include(const char* dir, Ul_confdata* conf);
// Writes every item as "%s : %s\n" to dir/file. 1, or -1.
int ul_writeconf(const char* dir, const char* file, Ul_confdata* conf);

// Getters: the first item of that name. 1 found (and parsed), 0 not; a
// number out of the type's range is 0 (logged). The unsigned getters read a
// leading minus as the C library's unsigned conversions do: "-1" is the
// type's largest value; the magnitude must fit the type.
int ul_getconfnstr(const Ul_confdata* conf, const char* name, char* buf, size_t size);
int ul_getconfnstr(Ul_confdata* conf, const char* name, char* buf, size_t size);
int ul_getconfint(const Ul_confdata* conf, const char* name, int* value);
int ul_getconfint(Ul_confdata* conf, const char* name, int* value);
int ul_getconfuint(const Ul_confdata* conf, const char* name, unsigned int* value);
int ul_getconfuint(Ul_confdata* conf, const char* name, unsigned int* value);
int ul_getconfint64(const Ul_confdata* conf, const char* name, long long* value);
int ul_getconfint64(Ul_confdata* conf, const char* name, long long* value);
int ul_getconfuint64(const Ul_confdata* conf, const char* name, unsigned long long* value);
int ul_getconfuint64(Ul_confdata* conf, const char* name, unsigned long long* value);
int ul_getconffloat(const Ul_confdata* conf, const char* name, float* value);
int ul_getconffloat(Ul_confdata* conf, const char* name, float* value);
// Older interface: copies the whole value without a bound.
int ul_getconfstr(Ul_confdata* conf, const char* name, char* buf);

// Modifiers: change the first item of that name. 1 changed, 0 not found.
int ul_modifyconfstr(Ul_confdata* conf, const char* name, const char* value);
int ul_modifyconfint(Ul_confdata* conf, const char* name, int value);
int ul_modifyconfuint(Ul_confdata* conf, const char* name, unsigned int value);
int ul_modifyconfint64(Ul_confdata* conf, const char* name, long long value);
int ul_modifyconfuint64(Ul_confdata* conf, const char* name, unsigned long long value);
int ul_modifyconffloat(Ul_confdata* conf, const char* name, float value);

// Adders: append a new item. 1 added, 0 name present, -1 name too long,
// -2 table full, -3 value too long, -4 NULL argument.
int ul_addconfstr(Ul_confdata* conf, const char* name, const char* value);
int ul_addconfint(Ul_confdata* conf, const char* name, int value);
int ul_addconfuint(Ul_confdata* conf, const char* name, unsigned int value);
int ul_addconfint64(Ul_confdata* conf, const char* name, long long value);
int ul_addconfuint64(Ul_confdata* conf, const char* name, unsigned long long value);
int ul_addconffloat(Ul_confdata* conf, const char* name, float value);

// Numbers files "dir/name.n".
// Creates or empties the file. 1, or -1.
int ul_writenum_init(const char* dir, const char* name);
// Append one "vname : value" line. 1; -1 cannot open; -2 bad vname; -3 NULL argument.
int ul_writenum_oneint(const char* dir, const char* name, const char* vname, int value);
int ul_writenum_oneuint(const char* dir, const char* name, const char* vname, unsigned int value);
int ul_writenum_oneint64(const char* dir, const char* name, const char* vname, long long value);
int ul_writenum_oneuint64(const char* dir, const char* name, const char* vname,
                          unsigned long long value);
int ul_writenum_onefloat(const char* dir, const char* name, const char* vname, float value);
// Read one value. 1, or -1 (logged) when the file or the value is missing.
int ul_kreadnum_oneint(const char* dir, const char* name, const char* vname, int* value);
int ul_kreadnum_oneuint(const char* dir, const char* name, const char* vname, unsigned int* value);
int ul_kreadnum_oneint64(const char* dir, const char* name, const char* vname, long long* value);
int ul_kreadnum_oneuint64(const char* dir, const char* name, const char* vname,
                          unsigned long long* value);
int ul_kreadnum_onefloat(const char* dir, const char* name, const char* vname, float* value);
// Older interface: 1 found, 0 when the file or the value is missing.
int ul_readnum_oneint(const char* dir, const char* name, const char* vname, int* value);
int ul_readnum_oneuint(const char* dir, const char* name, const char* vname, unsigned int* value);
int ul_readnum_oneint64(const char* dir, const char* name, const char* vname, long long* value);
int ul_readnum_oneuint64(const char* dir, const char* name, const char* vname,
                         unsigned long long* value);

#endif  // UL_CONF_H_
