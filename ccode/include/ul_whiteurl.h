// White-URL lists: pages whose code type and language are given by a list
// instead of being detected ("code/white-url.txt", "code/i18n-white-url.txt"
// of the data directory, both optional).
#ifndef UL_WHITEURL_H_
#define UL_WHITEURL_H_

#include "ul_dict.h"

// The loaded lists, NULL when absent. Owned by the data loader
// (ul_ccode_load / ul_ccode_del).
extern Sdict_build* whiteUrl_dict;
extern Sdict_build* i18n_whiteUrl_dict;

// Read the list path + "/" + file into a new dictionary; NULL when the file
// is missing, empty or unreadable (not an error).
Sdict_build* ul_whiteUrl_load(const char* path, const char* file);
Sdict_build* ul_i18n_whiteUrl_load(const char* path, const char* file);

#endif  // UL_WHITEURL_H_
