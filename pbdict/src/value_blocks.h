// The value strings of a dictionary, made in blocks: a load takes one string
// per entry from the newest block instead of allocating each, and the
// dictionary frees the blocks whole when it goes. A string handed out stays
// where it is until the blocks are released.
#ifndef PBDICT_SRC_VALUE_BLOCKS_H_
#define PBDICT_SRC_VALUE_BLOCKS_H_

#include <cstddef>
#include <string>
#include <vector>

namespace kavo {
namespace pbdict {

class ValueBlocks {
 public:
  ValueBlocks() = default;
  ~ValueBlocks() { Release(); }
  ValueBlocks(const ValueBlocks&) = delete;
  ValueBlocks& operator=(const ValueBlocks&) = delete;

  // A fresh empty string, or null when memory runs out.
  std::string* New();

  // Room for n strings in a block of their own, or null when memory runs
  // out. The caller constructs every one of the n strings in place
  // (placement new), from any thread, before the blocks are next used or
  // released: the release destroys all n. Spares a load that knows its
  // values a pass that makes empty strings only to overwrite them.
  std::string* Unconstructed(size_t n);

  // Frees every string and block.
  void Release();

 private:
  static constexpr size_t kFirstBlock = 256;
  static constexpr size_t kLargestBlock = 65536;

  struct Block {
    std::string* strings;
    size_t live;  // strings constructed at the start of the block
  };

  bool Grow(size_t n, size_t live);

  std::vector<Block> blocks_;
  size_t capacity_ = 0;  // strings of the newest block
};

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_SRC_VALUE_BLOCKS_H_
