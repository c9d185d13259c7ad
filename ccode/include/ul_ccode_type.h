// Code types and languages of the character-code library: their numbers,
// printable names and the functions that turn names into numbers and back.
//
// The numbers are an external contract: they are stored in white-URL lists,
// packed into 64-bit multi-language values and returned to callers.
#ifndef UL_CCODE_TYPE_H_
#define UL_CCODE_TYPE_H_

// Text encodings. "GB" text is GB18030 (GBK pairs plus four-byte sequences);
// JIS is ISO-2022-JP; JPKR and UTF8JP are names only.
enum _CODE_T {
  CODETYPE_UNKNOWN = -2,
  CODETYPE_NONE = -1,
  CODETYPE_ENG = 0,
  CODETYPE_GB = 1,
  CODETYPE_BIG5 = 2,
  CODETYPE_UTF8 = 3,
  CODETYPE_JPKR = 4,
  CODETYPE_JIS = 5,
  CODETYPE_SJIS = 6,
  CODETYPE_EUCJP = 7,
  CODETYPE_UTF8JP = 8,
  CODETYPE_ASCII = 9,
  CODETYPE_ISO_8859_1 = 10,
  CODETYPE_EUCKR = 11,
  CODETYPE_UCS2 = 12,
  CODETYPE_GBK = 13,
  CODETYPE_ISO_8859_9 = 14,
  CODETYPE_WIN1254 = 15,
  CODETYPE_IBM857 = 16,
  CODETYPE_MACTURKISH = 17,
  CODETYPE_ISO_8859_3 = 18,
  CODETYPE_ISO_8859_6 = 19,
  CODETYPE_WIN1256 = 20,
  CODETYPE_ISO_8859_11 = 21,
  CODETYPE_WIN874 = 22,
  CODETYPE_TIS620 = 23,
  CODETYPE_VISCII = 24,
  CODETYPE_WIN1258 = 25,
  CODETYPE_UTF16LE = 26,
  CODETYPE_UTF16BE = 27,
  CODETYPE_UTF32LE = 28,
  CODETYPE_UTF32BE = 29,
  CODETYPE_WIN1251 = 30,
  CODETYPE_ISO_8859_7 = 31,
  CODETYPE_WIN1255 = 32,
  CODETYPE_END = 33
};

// Languages. There is no -2 member: -2 is the "not found" answer of the name
// look-ups.
enum _LANG_T {
  LANGTYPE_NULL = -3,
  LANGTYPE_NONE = -1,
  LANGTYPE_ENGLISH = 0,
  LANGTYPE_SIMP_CHINESE = 1,
  LANGTYPE_TRAD_CHINESE = 2,
  LANGTYPE_JAPANESE = 3,
  LANGTYPE_KOREAN = 4,
  LANGTYPE_TURKISH = 5,
  LANGTYPE_THAI = 6,
  LANGTYPE_VIETNAMESE = 7,
  LANGTYPE_MALAY = 8,
  LANGTYPE_GERMAN = 9,
  LANGTYPE_FRENCH = 10,
  LANGTYPE_RUSSIAN = 11,
  LANGTYPE_IRANIAN = 12,
  LANGTYPE_ARABIC = 13,
  LANGTYPE_ESTONIAN = 14,
  LANGTYPE_BELARUSIAN = 15,
  LANGTYPE_BULGARIAN = 16,
  LANGTYPE_HINDI = 17,
  LANGTYPE_ICELANDIC = 18,
  LANGTYPE_POLISH = 19,
  LANGTYPE_FARSI = 20,
  LANGTYPE_DANISH = 21,
  LANGTYPE_FILIPINO = 22,
  LANGTYPE_FINNISH = 23,
  LANGTYPE_DUTCH = 24,
  LANGTYPE_CATALAN = 25,
  LANGTYPE_CZECH = 26,
  LANGTYPE_CROATIAN = 27,
  LANGTYPE_LATVIAN = 28,
  LANGTYPE_LITHUANIAN = 29,
  LANGTYPE_ROMANIAN = 30,
  LANGTYPE_AFRIKAANS = 31,
  LANGTYPE_NORWEGIAN = 32,
  LANGTYPE_BRAZILIAN = 33,
  LANGTYPE_PORTUGUESE = 34,
  LANGTYPE_SWEDISH = 35,
  LANGTYPE_SERBIAN = 36,
  LANGTYPE_ESPERANTO = 37,
  LANGTYPE_SLOVAK = 38,
  LANGTYPE_SLOVENE = 39,
  LANGTYPE_SWAHILI = 40,
  LANGTYPE_UKRAINIAN = 41,
  LANGTYPE_SPANISH = 42,
  LANGTYPE_HEBREW = 43,
  LANGTYPE_GREEK = 44,
  LANGTYPE_HUNGARIAN = 45,
  LANGTYPE_ARMENIAN = 46,
  LANGTYPE_ITALIAN = 47,
  LANGTYPE_INDONESIAN = 48,
  LANGTYPE_ALBANIAN = 49,
  LANGTYPE_AMHARIC = 50,
  LANGTYPE_ASSAMIYA = 51,
  LANGTYPE_AZERBAIJANI = 52,
  LANGTYPE_BASQUE = 53,
  LANGTYPE_BANGLA = 54,
  LANGTYPE_BOSNIAN = 55,
  LANGTYPE_GALICIAN = 56,
  LANGTYPE_GEORGIAN = 57,
  LANGTYPE_GUJARATI = 58,
  LANGTYPE_HAUSA = 59,
  LANGTYPE_IGBO = 60,
  LANGTYPE_INUKTITUT = 61,
  LANGTYPE_IRISH = 62,
  LANGTYPE_ISIZULU = 63,
  LANGTYPE_KANNADA = 64,
  LANGTYPE_KAZAKH = 65,
  LANGTYPE_KYRGYZ = 66,
  LANGTYPE_LUXEMBOURGISH = 67,
  LANGTYPE_MACEDONIAN = 68,
  LANGTYPE_MALTESE = 69,
  LANGTYPE_MAORI = 70,
  LANGTYPE_MARATHI = 71,
  LANGTYPE_NEPALI = 72,
  LANGTYPE_ORIYA = 73,
  LANGTYPE_PUNJABI = 74,
  LANGTYPE_QUECHUA = 75,
  LANGTYPE_SETSWANA = 76,
  LANGTYPE_SINHALA = 77,
  LANGTYPE_TAMIL = 78,
  LANGTYPE_TATAR = 79,
  LANGTYPE_TELUGU = 80,
  LANGTYPE_URDU = 81,
  LANGTYPE_UZBEK = 82,
  LANGTYPE_WELSH = 83,
  LANGTYPE_YORUBA = 84,
  LANGTYPE_GLOBAL = 85,
  LANGTYPE_END = 86
};

// Which table a language name is looked up in: the full name or the
// ISO 639-1 code.
enum _STRING_TYPE { FULL_TYPE = 1, ABB_TYPE = 2 };

// Positions of a 64-bit multi-language value (see ul_langtype.h).
enum _LANG_V2_INDEX { V2_MAINLANG = 1, V2_SECLANG = 2, V2_THIRDLANG = 3, V2_FOURTHLANG = 4, V2_ALL = 5 };

// Direction of the traditional/simplified look-up.
enum _CCODE_SIMP_TRAD { CCODE_SIMP2TRAD = 1, CCODE_TRAD2SIMP = 2 };

// One row of g_table_codetype.
struct _codetype_name_t {
  const char* name;
  int code;
};

// 34 rows: "NONE" -1, then the code types 0..32 by their member names
// without "CODETYPE_".
extern const _codetype_name_t g_table_codetype[34];
// Indexed by code type 0..32: the full member names of 0..25 (entry 4 is
// "CODETYPE_JPKR " with a trailing blank); entries 26..32 are null.
extern const char* const CODE_STRING[33];
// Indexed by language + 1 (-1..85): "NONE", then the member names without
// "LANGTYPE_".
extern const char* const g_table_langtype[87];
// Indexed by language + 1: the ISO 639-1 codes ("none" for NONE, IRANIAN,
// FILIPINO and BRAZILIAN; "zh-cn", "zh-tw"; "global" for GLOBAL).
extern const char* const g_table_langtype_iso639_1[87];
// Indexed by language 0..85: lower-case names of 0..49, "global" at 50,
// null from 51 on.
extern const char* const LANG_STRING[86];

// Code type of a name: case-insensitive, an optional "CODETYPE_" prefix, the
// last table row that is a prefix of the name wins ("gbk" gives 13,
// "GB2312" 1). -2 for NULL, -1 when nothing matches.
int ul_getcodetype(const char* name);
// Table name of code type -1..32 ("NONE" for -1); NULL outside.
const char* ul_getcodetype(int code);

// Table name of language -1..85; NULL (logged) outside.
const char* ul_getlangtype(int lang);
// Language of a name: case-insensitive, an optional "LANGTYPE_" prefix, the
// first table name that is a prefix of the name wins ("malayalam" gives 8).
// -2 (logged for NULL) when nothing matches.
int ul_getlangtype(const char* name);

// Full name (FULL_TYPE) or ISO 639-1 code (ABB_TYPE) of language -1..85;
// NULL (logged) for another language or type.
const char* ul_ccode_getlangtype(int lang, _STRING_TYPE type);
// Language whose full name or ISO code equals name exactly (case-sensitive,
// the first in language order -1..85); -2 (logged) when none matches, for
// NULL or for another type.
int ul_ccode_getlangtype(const char* name, _STRING_TYPE type);

#endif  // UL_CCODE_TYPE_H_
