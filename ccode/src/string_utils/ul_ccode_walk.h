// The character walk and the bounded output shared by the string utilities
// that produce a new string.
#ifndef CCODE_SRC_UL_CCODE_WALK_H_
#define CCODE_SRC_UL_CCODE_WALK_H_

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "ul_ccode_next.h"

constexpr size_t kCcodeNoLimit = SIZE_MAX;

// The input of one utility: a NUL-terminated text, stepped with
// ul_ccode_next, or at most sz bytes of one, stepped with ul_ccode_nextn.
struct CcodeInput {
  const char* s;
  size_t sz;  // kCcodeNoLimit for a NUL-terminated text
  int codetype;

  static CcodeInput Text(const char* s, int codetype) { return CcodeInput{s, kCcodeNoLimit, codetype}; }
  static CcodeInput Bytes(const char* s, int sz, int codetype) {
    return CcodeInput{s, static_cast<size_t>(sz), codetype};
  }

  bool AtEnd(size_t off) const { return off >= sz || s[off] == '\0'; }
  // The length of the character at off (not at the end), 0 when invalid.
  int Step(size_t off) const {
    if (sz != kCcodeNoLimit) return ul_ccode_nextn(s + off, static_cast<int>(sz - off), codetype);
    const int n = ul_ccode_next(s + off, codetype);
    // UCS-2, UTF-16 and UTF-32 steps do not look at the bytes: none of a
    // character's bytes may be the NUL that ends the text.
    for (int i = 1; i < n; ++i) {
      if (s[off + i] == '\0') return 0;
    }
    return n;
  }
  // Calls fn(character, length) for each character until the end, an
  // invalid character (false) or fn answering false (true).
  template <class Fn>
  bool ForEach(Fn fn) const {
    for (size_t off = 0; !AtEnd(off);) {
      const int n = Step(off);
      if (n == 0) return false;
      if (!fn(s + off, n)) return true;
      off += static_cast<size_t>(n);
    }
    return true;
  }
};

// An output of cap bytes, its NUL included (kCcodeNoLimit: the caller gave
// room). Bytes are moved, so the output may lie over input already read.
class CcodeOutput {
 public:
  CcodeOutput(char* base, size_t cap) : base_(base), cap_(cap) {}
  // Appends n bytes when they leave room for the NUL.
  bool Put(const char* bytes, size_t n) {
    if (n >= cap_ - used_) return false;
    memmove(base_ + used_, bytes, n);
    used_ += n;
    return true;
  }
  bool Put(char c) { return Put(&c, 1); }
  void Terminate() { base_[used_] = '\0'; }
  size_t used() const { return used_; }

 private:
  char* base_;
  size_t cap_;
  size_t used_ = 0;
};

#endif  // CCODE_SRC_UL_CCODE_WALK_H_
