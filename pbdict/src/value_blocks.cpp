#include "value_blocks.h"

#include <new>

#include "load_parts.h"

namespace kavo {
namespace pbdict {

bool ValueBlocks::Grow(size_t n, size_t live) {
  if (n > static_cast<size_t>(-1) / sizeof(std::string)) return false;
  try {
    blocks_.reserve(blocks_.size() + 1);
  } catch (const std::bad_alloc&) {
    return false;
  }
  void* room = ::operator new(n * sizeof(std::string), std::nothrow);
  if (room == nullptr) return false;
  AdviseLargePages(room, n * sizeof(std::string));
  blocks_.push_back(Block{static_cast<std::string*>(room), live});
  capacity_ = n;
  return true;
}

std::string* ValueBlocks::New() {
  if (blocks_.empty() || blocks_.back().live == capacity_) {
    size_t next = capacity_ == 0 ? kFirstBlock : capacity_ * 2;
    if (next > kLargestBlock) next = kLargestBlock;
    if (!Grow(next, 0)) return nullptr;
  }
  Block& b = blocks_.back();
  return new (&b.strings[b.live++]) std::string();
}

std::string* ValueBlocks::Unconstructed(size_t n) {
  // The block counts as full: New() starts a block of its own after it.
  return Grow(n, n) ? blocks_.back().strings : nullptr;
}

void ValueBlocks::Release() {
  for (Block& b : blocks_) {
    for (size_t i = 0; i < b.live; ++i) b.strings[i].~basic_string();
    ::operator delete(b.strings);
  }
  blocks_.clear();
  capacity_ = 0;
}

}  // namespace pbdict
}  // namespace kavo
