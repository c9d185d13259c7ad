// Mapping of CLD2 language numbers to the library's languages.
#include "ul_cld_lang.h"

namespace {

constexpr int kCldLangs = 161;  // CLD2 numbers 0..160 have an entry

struct CldPair {
  CLD2::Language cld;
  _LANG_T lang;
};

// CLD2 languages with a language of the library.
constexpr CldPair kMapped[] = {
    {CLD2::ENGLISH, LANGTYPE_ENGLISH},       {CLD2::DANISH, LANGTYPE_DANISH},
    {CLD2::DUTCH, LANGTYPE_DUTCH},           {CLD2::FINNISH, LANGTYPE_FINNISH},
    {CLD2::FRENCH, LANGTYPE_FRENCH},         {CLD2::GERMAN, LANGTYPE_GERMAN},
    {CLD2::HEBREW, LANGTYPE_HEBREW},         {CLD2::ITALIAN, LANGTYPE_ITALIAN},
    {CLD2::JAPANESE, LANGTYPE_JAPANESE},     {CLD2::KOREAN, LANGTYPE_KOREAN},
    {CLD2::NORWEGIAN, LANGTYPE_NORWEGIAN},   {CLD2::POLISH, LANGTYPE_POLISH},
    {CLD2::PORTUGUESE, LANGTYPE_PORTUGUESE}, {CLD2::RUSSIAN, LANGTYPE_RUSSIAN},
    {CLD2::SPANISH, LANGTYPE_SPANISH},       {CLD2::SWEDISH, LANGTYPE_SWEDISH},
    {CLD2::CZECH, LANGTYPE_CZECH},           {CLD2::GREEK, LANGTYPE_GREEK},
    {CLD2::ICELANDIC, LANGTYPE_ICELANDIC},   {CLD2::LATVIAN, LANGTYPE_LATVIAN},
    {CLD2::LITHUANIAN, LANGTYPE_LITHUANIAN}, {CLD2::ROMANIAN, LANGTYPE_ROMANIAN},
    {CLD2::HUNGARIAN, LANGTYPE_HUNGARIAN},   {CLD2::ESTONIAN, LANGTYPE_ESTONIAN},
    {CLD2::BULGARIAN, LANGTYPE_BULGARIAN},   {CLD2::CROATIAN, LANGTYPE_CROATIAN},
    {CLD2::SERBIAN, LANGTYPE_SERBIAN},       {CLD2::IRISH, LANGTYPE_IRISH},
    {CLD2::GALICIAN, LANGTYPE_GALICIAN},     {CLD2::TURKISH, LANGTYPE_TURKISH},
    {CLD2::UKRAINIAN, LANGTYPE_UKRAINIAN},   {CLD2::HINDI, LANGTYPE_HINDI},
    {CLD2::MACEDONIAN, LANGTYPE_MACEDONIAN}, {CLD2::INDONESIAN, LANGTYPE_INDONESIAN},
    {CLD2::MALAY, LANGTYPE_MALAY},           {CLD2::WELSH, LANGTYPE_WELSH},
    {CLD2::NEPALI, LANGTYPE_NEPALI},         {CLD2::TELUGU, LANGTYPE_TELUGU},
    {CLD2::ALBANIAN, LANGTYPE_ALBANIAN},     {CLD2::TAMIL, LANGTYPE_TAMIL},
    {CLD2::BELARUSIAN, LANGTYPE_BELARUSIAN}, {CLD2::URDU, LANGTYPE_URDU},
    {CLD2::GUJARATI, LANGTYPE_GUJARATI},     {CLD2::THAI, LANGTYPE_THAI},
    {CLD2::ARABIC, LANGTYPE_ARABIC},         {CLD2::CATALAN, LANGTYPE_CATALAN},
    {CLD2::ESPERANTO, LANGTYPE_ESPERANTO},   {CLD2::BASQUE, LANGTYPE_BASQUE},
    {CLD2::KANNADA, LANGTYPE_KANNADA},       {CLD2::PUNJABI, LANGTYPE_PUNJABI},
    {CLD2::SWAHILI, LANGTYPE_SWAHILI},       {CLD2::MARATHI, LANGTYPE_MARATHI},
    {CLD2::MALTESE, LANGTYPE_MALTESE},       {CLD2::VIETNAMESE, LANGTYPE_VIETNAMESE},
    {CLD2::SLOVAK, LANGTYPE_SLOVAK},         {CLD2::UZBEK, LANGTYPE_UZBEK},
    {CLD2::AMHARIC, LANGTYPE_AMHARIC},       {CLD2::AZERBAIJANI, LANGTYPE_AZERBAIJANI},
    {CLD2::GEORGIAN, LANGTYPE_GEORGIAN},     {CLD2::BOSNIAN, LANGTYPE_BOSNIAN},
    {CLD2::KYRGYZ, LANGTYPE_KYRGYZ},         {CLD2::ARMENIAN, LANGTYPE_ARMENIAN},
    {CLD2::LUXEMBOURGISH, LANGTYPE_LUXEMBOURGISH}, {CLD2::ORIYA, LANGTYPE_ORIYA},
    {CLD2::KAZAKH, LANGTYPE_KAZAKH},         {CLD2::QUECHUA, LANGTYPE_QUECHUA},
    {CLD2::TATAR, LANGTYPE_TATAR},           {CLD2::YORUBA, LANGTYPE_YORUBA},
    {CLD2::MAORI, LANGTYPE_MAORI},           {CLD2::HAUSA, LANGTYPE_HAUSA},
    {CLD2::INUKTITUT, LANGTYPE_INUKTITUT},   {CLD2::CHINESE, LANGTYPE_SIMP_CHINESE},
    {CLD2::CHINESE_T, LANGTYPE_TRAD_CHINESE}, {CLD2::SLOVENIAN, LANGTYPE_SLOVENE},
    {CLD2::SINHALESE, LANGTYPE_SINHALA},     {CLD2::ZULU, LANGTYPE_ISIZULU},
};

// CLD2 languages the library decides with its own detectors.
constexpr CLD2::Language kNotTaken[] = {CLD2::ENGLISH, CLD2::JAPANESE, CLD2::CHINESE,
                                        CLD2::THAI,    CLD2::ARABIC,   CLD2::CHINESE_T};

struct CldTables {
  int map[kCldLangs];
  int use[kCldLangs];
  constexpr CldTables() : map(), use() {
    for (int i = 0; i < kCldLangs; ++i) map[i] = use[i] = -1;
    for (const CldPair& p : kMapped) map[p.cld] = use[p.cld] = p.lang;
    for (CLD2::Language l : kNotTaken) use[l] = -1;
  }
};

constexpr CldTables kTables;
const int (&gs_cld2CcodeMap)[kCldLangs] = kTables.map;
const int (&gs_useCldLang)[kCldLangs] = kTables.use;

bool InTable(CLD2::Language lang) { return static_cast<int>(lang) >= 0 && static_cast<int>(lang) < kCldLangs; }

}  // namespace

_LANG_T transCldLang2CcodeLang(CLD2::Language lang) {
  return InTable(lang) ? static_cast<_LANG_T>(gs_cld2CcodeMap[lang]) : LANGTYPE_NONE;
}

bool useCldResultByCldLang(CLD2::Language lang) { return InTable(lang) && gs_useCldLang[lang] != -1; }

int useCldResultByCcodeLang(_LANG_T lang) {
  for (int v : gs_useCldLang) {
    if (v == lang) return 1;
  }
  return 0;
}
