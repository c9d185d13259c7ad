// Code-type and language numbering and names.
#include "ul_ccode_type.h"

#include <string.h>

#include "ul_log.h"

const _codetype_name_t g_table_codetype[34] = {
    {"NONE", -1},        {"ENG", 0},          {"GB", 1},           {"BIG5", 2},
    {"UTF8", 3},         {"JPKR", 4},         {"JIS", 5},          {"SJIS", 6},
    {"EUCJP", 7},        {"UTF8JP", 8},       {"ASCII", 9},        {"ISO_8859_1", 10},
    {"EUCKR", 11},       {"UCS2", 12},        {"GBK", 13},         {"ISO_8859_9", 14},
    {"WIN1254", 15},     {"IBM857", 16},      {"MACTURKISH", 17},  {"ISO_8859_3", 18},
    {"ISO_8859_6", 19},  {"WIN1256", 20},     {"ISO_8859_11", 21}, {"WIN874", 22},
    {"TIS620", 23},      {"VISCII", 24},      {"WIN1258", 25},     {"UTF16LE", 26},
    {"UTF16BE", 27},     {"UTF32LE", 28},     {"UTF32BE", 29},     {"WIN1251", 30},
    {"ISO_8859_7", 31},  {"WIN1255", 32},
};

const char* const CODE_STRING[33] = {
    "CODETYPE_ENG",        "CODETYPE_GB",         "CODETYPE_BIG5",       "CODETYPE_UTF8",
    "CODETYPE_JPKR ",      "CODETYPE_JIS",        "CODETYPE_SJIS",       "CODETYPE_EUCJP",
    "CODETYPE_UTF8JP",     "CODETYPE_ASCII",      "CODETYPE_ISO_8859_1", "CODETYPE_EUCKR",
    "CODETYPE_UCS2",       "CODETYPE_GBK",        "CODETYPE_ISO_8859_9", "CODETYPE_WIN1254",
    "CODETYPE_IBM857",     "CODETYPE_MACTURKISH", "CODETYPE_ISO_8859_3", "CODETYPE_ISO_8859_6",
    "CODETYPE_WIN1256",    "CODETYPE_ISO_8859_11", "CODETYPE_WIN874",    "CODETYPE_TIS620",
    "CODETYPE_VISCII",     "CODETYPE_WIN1258",    nullptr,               nullptr,
    nullptr,               nullptr,               nullptr,               nullptr,
    nullptr,
};

const char* const g_table_langtype[87] = {
    "NONE",        "ENGLISH",     "SIMP_CHINESE", "TRAD_CHINESE", "JAPANESE",    "KOREAN",
    "TURKISH",     "THAI",        "VIETNAMESE",   "MALAY",        "GERMAN",      "FRENCH",
    "RUSSIAN",     "IRANIAN",     "ARABIC",       "ESTONIAN",     "BELARUSIAN",  "BULGARIAN",
    "HINDI",       "ICELANDIC",   "POLISH",       "FARSI",        "DANISH",      "FILIPINO",
    "FINNISH",     "DUTCH",       "CATALAN",      "CZECH",        "CROATIAN",    "LATVIAN",
    "LITHUANIAN",  "ROMANIAN",    "AFRIKAANS",    "NORWEGIAN",    "BRAZILIAN",   "PORTUGUESE",
    "SWEDISH",     "SERBIAN",     "ESPERANTO",    "SLOVAK",       "SLOVENE",     "SWAHILI",
    "UKRAINIAN",   "SPANISH",     "HEBREW",       "GREEK",        "HUNGARIAN",   "ARMENIAN",
    "ITALIAN",     "INDONESIAN",  "ALBANIAN",     "AMHARIC",      "ASSAMIYA",    "AZERBAIJANI",
    "BASQUE",      "BANGLA",      "BOSNIAN",      "GALICIAN",     "GEORGIAN",    "GUJARATI",
    "HAUSA",       "IGBO",        "INUKTITUT",    "IRISH",        "ISIZULU",     "KANNADA",
    "KAZAKH",      "KYRGYZ",      "LUXEMBOURGISH", "MACEDONIAN",  "MALTESE",     "MAORI",
    "MARATHI",     "NEPALI",      "ORIYA",        "PUNJABI",      "QUECHUA",     "SETSWANA",
    "SINHALA",     "TAMIL",       "TATAR",        "TELUGU",       "URDU",        "UZBEK",
    "WELSH",       "YORUBA",      "GLOBAL",
};

const char* const g_table_langtype_iso639_1[87] = {
    "none", "en", "zh-cn", "zh-tw", "ja", "ko", "tr", "th", "vi", "ms", "de", "fr", "ru", "none", "ar",
    "et",   "be", "bg",    "hi",    "is", "pl", "fa", "da", "none", "fi", "nl", "ca", "cs", "hr",  "lv",
    "lt",   "ro", "af",    "no",    "none", "pt", "sv", "sr", "eo", "sk", "sl", "sw", "uk", "es",  "he",
    "el",   "hu", "hy",    "it",    "id", "sq", "am", "as", "az", "eu", "bn", "bs", "gl", "ka",  "gu",
    "ha",   "ig", "iu",    "ga",    "zu", "kn", "kk", "ky", "lb", "mk", "mt", "mi", "mr", "ne",  "or",
    "pa",   "qu", "tn",    "si",    "ta", "tt", "te", "ur", "uz", "cy", "yo", "global",
};

const char* const LANG_STRING[86] = {
    "english",    "simp_chinese", "trad_chinese", "japanese",  "korean",    "turkish",   "thai",
    "vietnamese", "malay",        "german",       "french",    "russian",   "iranian",   "arabic",
    "estonian",   "belarusian",   "bulgarian",    "hindi",     "icelandic", "polish",    "farsi",
    "danish",     "filipino",     "finnish",      "dutch",     "catalan",   "czech",     "croatian",
    "latvian",    "lithuanian",   "romanian",     "afrikaans", "norwegian", "brazilian", "portuguese",
    "swedish",    "serbian",      "esperanto",    "slovak",    "slovene",   "swahili",   "ukrainian",
    "spanish",    "hebrew",       "greek",        "hungarian", "armenian",  "italian",   "indonesian",
    "albanian",   "global",
};

namespace {

// Upper-cases at most max bytes of name into key and drops a leading prefix.
const char* UpperKey(const char* name, char* key, size_t max, const char* prefix) {
  size_t i = 0;
  for (; i < max && name[i] != '\0'; ++i) {
    char c = name[i];
    key[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  key[i] = '\0';
  const size_t plen = strlen(prefix);
  return strncmp(key, prefix, plen) == 0 ? key + plen : key;
}

bool IsPrefix(const char* text, const char* key) { return strncmp(text, key, strlen(text)) == 0; }

}  // namespace

int ul_getcodetype(const char* name) {
  if (name == nullptr) return -2;
  char buf[21];
  const char* key = UpperKey(name, buf, 20, "CODETYPE_");
  int code = -1;
  for (const _codetype_name_t& row : g_table_codetype) {
    if (IsPrefix(row.name, key)) code = row.code;
  }
  return code;
}

const char* ul_getcodetype(int code) {
  if (code < -1 || code >= CODETYPE_END) return nullptr;
  return g_table_codetype[code + 1].name;
}

const char* ul_getlangtype(int lang) {
  if (lang < -1 || lang >= LANGTYPE_END) {
    ul_writelog(UL_LOG_FATAL, "input illegal in ul_getlangtype");
    return nullptr;
  }
  return g_table_langtype[lang + 1];
}

int ul_getlangtype(const char* name) {
  if (name == nullptr) {
    ul_writelog(UL_LOG_FATAL, "input illegal in ul_getlangtype");
    return -2;
  }
  char buf[32];
  const char* key = UpperKey(name, buf, 31, "LANGTYPE_");
  for (int i = 0; i <= LANGTYPE_END; ++i) {
    if (IsPrefix(g_table_langtype[i], key)) return i - 1;
  }
  return -2;
}

const char* ul_ccode_getlangtype(int lang, _STRING_TYPE type) {
  if (lang < -1 || lang >= LANGTYPE_END || (type != FULL_TYPE && type != ABB_TYPE)) {
    ul_writelog(UL_LOG_WARNING, "invalid param in %s", "ul_ccode_getlangtype");
    return nullptr;
  }
  return type == FULL_TYPE ? g_table_langtype[lang + 1] : g_table_langtype_iso639_1[lang + 1];
}

int ul_ccode_getlangtype(const char* name, _STRING_TYPE type) {
  if (name == nullptr || (type != FULL_TYPE && type != ABB_TYPE)) {
    ul_writelog(UL_LOG_WARNING, "invalid param in %s", "ul_ccode_getlangtype");
    return -2;
  }
  const char* const* table = type == FULL_TYPE ? g_table_langtype : g_table_langtype_iso639_1;
  for (int i = 0; i <= LANGTYPE_END; ++i) {
    if (strcmp(table[i], name) == 0) return i - 1;
  }
  ul_writelog(UL_LOG_WARNING, "there is no results in %s", "ul_ccode_getlangtype");
  return -2;
}
