// The open-addressing key set.
#include "ul_ccode_keyset.h"

void CcodeKeySet::Reset(size_t n) {
  size_t capacity = 2;
  int bits = 1;
  while (capacity < 2 * n) {
    capacity *= 2;
    ++bits;
  }
  slots_.assign(capacity, 0);
  mask_ = capacity - 1;
  shift_ = 64 - bits;
  has_zero_ = false;
}

void CcodeKeySet::Insert(uint32_t key) {
  if (key == 0) {
    has_zero_ = true;
    return;
  }
  size_t i = Slot(key);
  while (slots_[i] != 0 && slots_[i] != key) i = (i + 1) & mask_;
  slots_[i] = key;
}
