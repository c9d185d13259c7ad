// A non-owning view of bytes: a pointer to the first byte and a length.
// Used by the base64 helpers for their input.
#ifndef BASE_STRING_PIECE_H_
#define BASE_STRING_PIECE_H_

#include <stddef.h>
#include <string.h>

#include <string>
#include <string_view>

namespace base {

template <typename STRING_TYPE>
class BasicStringPiece {
 public:
  typedef typename STRING_TYPE::value_type value_type;
  typedef size_t size_type;

  BasicStringPiece() : ptr_(NULL), length_(0) {}
  BasicStringPiece(const value_type* str)  // NOLINT: implicit like a string
      : ptr_(str), length_(str == NULL ? 0 : std::char_traits<value_type>::length(str)) {}
  BasicStringPiece(const STRING_TYPE& str)  // NOLINT
      : ptr_(str.data()), length_(str.size()) {}
  BasicStringPiece(const value_type* ptr, size_type len) : ptr_(ptr), length_(len) {}
  BasicStringPiece(std::basic_string_view<value_type> sv)  // NOLINT
      : ptr_(sv.data()), length_(sv.size()) {}

  const value_type* data() const { return ptr_; }
  size_type size() const { return length_; }
  size_type length() const { return length_; }
  bool empty() const { return length_ == 0; }
  value_type operator[](size_type i) const { return ptr_[i]; }

  STRING_TYPE as_string() const { return empty() ? STRING_TYPE() : STRING_TYPE(ptr_, length_); }

 protected:
  const value_type* ptr_;
  size_type length_;
};

typedef BasicStringPiece<std::string> StringPiece;

}  // namespace base

#endif  // BASE_STRING_PIECE_H_
