// Data of the query code-type detection: the GBK and UTF-8 character
// frequency tables and the per-query overrides ("code/query_detect.conf").
#ifndef CCODE_SRC_UL_QUERY_DATA_H_
#define CCODE_SRC_UL_QUERY_DATA_H_

// Loads both frequency files (path + "/" + each name): 1, or -1 (logged).
int LoadQueryUnigramData(const char* path, const char* gbkfile, const char* utf8file);
// Loads the optional override file: 1, or -1 (logged) when it is missing.
int load_query_detect_config(const char* path, const char* file);
// Release what the two loaders built; harmless when nothing is loaded.
void DestroyQueryUnigramData();
void destroy_query_detect_config();

#endif  // CCODE_SRC_UL_QUERY_DATA_H_
