// Base64 (RFC 4648 standard alphabet, '=' padding, no line breaks).
#ifndef BASE_BASE64_H_
#define BASE_BASE64_H_

#include <stddef.h>

#include <string>

#include "base/string_piece.h"

// Encodes len bytes of src into dest, which must hold (len + 2) / 3 * 4 + 1
// bytes. Returns the length of the text written; a NUL follows it.
size_t modp_b64_encode(char* dest, const char* src, size_t len);

// Decodes len characters of base64 text from src into dest, which must hold
// len / 4 * 3 bytes. Decoding is strict: the length must be a multiple of 4,
// only one or two trailing '=' are allowed, and every other character must be
// of the alphabet. Returns the number of bytes written, or MODP_B64_ERROR.
size_t modp_b64_decode(char* dest, const char* src, size_t len);

#define MODP_B64_ERROR (static_cast<size_t>(-1))

namespace base {

// Replaces *output with the base64 text of input.
void Base64Encode(const StringPiece& input, std::string* output);

// Decodes input into *output and returns true; on bad input returns false
// and leaves *output untouched.
bool Base64Decode(const StringPiece& input, std::string* output);

}  // namespace base

#endif  // BASE_BASE64_H_
