// White-URL lists.
#include "ul_whiteurl.h"

Sdict_build* whiteUrl_dict = nullptr;
Sdict_build* i18n_whiteUrl_dict = nullptr;

// The list readers are not built yet: every list stays absent, which the
// loader accepts as it accepts a missing file.
Sdict_build* ul_whiteUrl_load(const char* path, const char* file) { return nullptr; }

Sdict_build* ul_i18n_whiteUrl_load(const char* path, const char* file) { return nullptr; }
