// Japanese fallback tables: UCS-2 to Shift_JIS and EUC-JP for the vendor
// characters the platform converter does not know.
#ifndef CCODE_SRC_UL_JCODE_TABLE_H_
#define CCODE_SRC_UL_JCODE_TABLE_H_

// Builds unicode2sjis and unicode2eucjp once (a built table is kept); 0.
int ul_jcode_transfer_init();

#endif  // CCODE_SRC_UL_JCODE_TABLE_H_
