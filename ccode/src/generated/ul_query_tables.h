// Letter tables of the query-language detector and the Vietnamese letter
// conversions (generated: tools/gen_query_tables.py), each letter as its
// UTF-8 bytes packed into 32 bits, first byte most significant.
#ifndef CCODE_SRC_UL_QUERY_TABLES_H_
#define CCODE_SRC_UL_QUERY_TABLES_H_

extern const unsigned int kLettersLatin[52];
extern const unsigned int kLettersThai[87];
extern const unsigned int kLettersVietnamese[186];
extern const unsigned int kLettersFrench[80];
extern const unsigned int kLettersArabic[54];

#endif  // CCODE_SRC_UL_QUERY_TABLES_H_
