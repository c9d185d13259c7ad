// Byte-pair tests of the BIG5 and GBK grid layouts and the cell index of a
// pair (ul_ccode_data.h gives the layouts).
#ifndef CCODE_SRC_UL_GRID_CELL_H_
#define CCODE_SRC_UL_GRID_CELL_H_

#include "ul_ccode_data.h"

// Lead A1..F9, trail 40..7E or A1..FE.
inline bool IsBig5Pair(const unsigned char* p) {
  return p[0] >= 0xA1 && p[0] <= 0xF9 && ((p[1] >= 0x40 && p[1] <= 0x7E) || (p[1] >= 0xA1 && p[1] <= 0xFE));
}

// Lead 81..FE, trail 40..FE except 7F.
inline bool IsGbkPair(const unsigned char* p) {
  return p[0] >= 0x81 && p[0] <= 0xFE && p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F;
}

// Cell index of a BIG5 pair (0 .. kBig5Rows * kBig5Cells - 1).
inline int Big5Cell(const unsigned char* p) {
  return (p[0] - kBig5FirstLead) * kBig5Cells + (p[1] < 0xA1 ? p[1] - 0x40 : p[1] - 0x62);
}

// Cell index of a GBK pair (0 .. kGbkRows * kGbkCells - 1).
inline int GbkCell(const unsigned char* p) { return (p[0] - kGbkFirstLead) * kGbkCells + (p[1] - 0x40); }

#endif  // CCODE_SRC_UL_GRID_CELL_H_
