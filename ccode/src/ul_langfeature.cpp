// The query-language feature set.
//
// The feature tables, their files and the scoring that reads them are not
// built yet: a set has no tables (every array stays NULL), there is nothing
// to load, and release has nothing to free.
#include "ul_langfeature.h"

LANGFEATURESET* g_langfeaset = nullptr;

bool LANGFEATURESET::init_feature() { return true; }

bool LANGFEATURESET::loadfeature(const char* path) { return true; }

bool LANGFEATURESET::destroy_feature() { return true; }

bool LANGFEATURESET::delete_feature() { return true; }
