#include "value_blocks.h"

#include <new>

namespace kavo {
namespace pbdict {

bool ValueBlocks::Grow(size_t n) {
  try {
    blocks_.reserve(blocks_.size() + 1);
    blocks_.emplace_back(new std::string[n]);
  } catch (const std::bad_alloc&) {
    return false;
  }
  used_ = 0;
  capacity_ = n;
  return true;
}

bool ValueBlocks::Reserve(size_t n) {
  if (capacity_ - used_ >= n) return true;
  return Grow(n);
}

std::string* ValueBlocks::New() {
  if (used_ == capacity_) {
    size_t next = capacity_ == 0 ? kFirstBlock : capacity_ * 2;
    if (next > kLargestBlock) next = kLargestBlock;
    if (!Grow(next)) return nullptr;
  }
  return &blocks_.back()[used_++];
}

}  // namespace pbdict
}  // namespace kavo
