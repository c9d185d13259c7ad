// White-URL lists: pages whose code type and language are given by a list
// instead of being detected ("code/white-url.txt", "code/i18n-white-url.txt"
// of the data directory, both optional).
//
// white-url.txt holds lines "URL code=NAME lang=NAME"; i18n-white-url.txt
// lines "URL-or-site code=NAME mainlang=NAME seclang=NAME" (the secondary may
// be left out). Fields are separated by white space; a line whose URL is
// empty or begins with '#' is skipped. Code-type names are read with
// ul_getcodetype (a name that gives -1 is accepted only when it is a leading
// part of "NONE", compared case-sensitively), language names with
// ul_getlangtype (an unknown name is refused). A line of more than 3,071
// bytes, a code or language name of more than 31 characters, a white-url.txt
// line without its code= or lang= field and a line with a refused name are
// logged (WARNING) and skipped. The first line of a URL wins.
//
// The plain list is keyed by the URL exactly as written and looked up by the
// URL exactly as given; the i18n list by the URL's normal form
// (ul_normalize_url_ex, or the URL as written when it has none), and looked
// up by the URL's normal form first, then by its site's.
//
// Loading runs before the threads that look up start; look-ups only read.
#ifndef UL_WHITEURL_H_
#define UL_WHITEURL_H_

#include "ul_dict.h"

// The loaded lists, NULL when absent. Owned by the data loader
// (ul_ccode_load / ul_ccode_del).
extern Sdict_build* whiteUrl_dict;
extern Sdict_build* i18n_whiteUrl_dict;

// Reads the list path + "/" + file into a new dictionary. NULL when the file
// is missing (NOTICE "file %s/%s is not exist"), cannot be opened (WARNING
// "open %s error"), has no content (no line at all), or the dictionary cannot
// be made (FATAL "db_creat fail"). A file of skipped lines gives an empty
// list.
Sdict_build* ul_whiteUrl_load(const char* path, const char* file);
Sdict_build* ul_i18n_whiteUrl_load(const char* path, const char* file);

// 1 when url is in white-url.txt, with *code and *lang set from it; 0 when
// it is not, when the list is not loaded or for a NULL argument.
int ccode_is_whiteUrl(const char* url, int* code, int* lang);
// 1 when url or its site is in i18n-white-url.txt, with the code type and
// the main and secondary languages (-1 when none) set from it; else 0 (also
// when the URL has no site, the list is not loaded or for a NULL argument).
int ccode_is_i18n_whiteUrl(const char* url, int* code, int* mainlang, int* seclang);

#endif  // UL_WHITEURL_H_
