// The value strings of a dictionary, made in blocks: a load takes one string
// per entry from the newest block instead of allocating each, and the
// dictionary frees the blocks whole when it goes. A string handed out stays
// where it is until the blocks are released.
#ifndef PBDICT_SRC_VALUE_BLOCKS_H_
#define PBDICT_SRC_VALUE_BLOCKS_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kavo {
namespace pbdict {

class ValueBlocks {
 public:
  ValueBlocks() = default;
  ValueBlocks(const ValueBlocks&) = delete;
  ValueBlocks& operator=(const ValueBlocks&) = delete;

  // A fresh empty string, or null when memory runs out.
  std::string* New();

  // Sizes the next block for n more strings (fewer blocks when the count
  // is known). False when memory runs out.
  bool Reserve(size_t n);

  // Frees every string and block.
  void Release() {
    blocks_.clear();
    used_ = 0;
    capacity_ = 0;
  }

 private:
  static constexpr size_t kFirstBlock = 256;
  static constexpr size_t kLargestBlock = 65536;

  bool Grow(size_t n);

  std::vector<std::unique_ptr<std::string[]>> blocks_;
  size_t used_ = 0;      // strings handed out of the newest block
  size_t capacity_ = 0;  // strings of the newest block
};

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_SRC_VALUE_BLOCKS_H_
