// Field-name escapes "_Zddd_" between JSON member names and field names.
#include "encode_decode.h"

namespace protobuf_json {

namespace {

bool IsAsciiAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool encode_name(const std::string& name, std::string* out) {
  if (name.empty()) return false;
  bool escaped = false;
  size_t copied = 0;  // bytes of |name| already written to *out
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    const bool needs_escape = !(IsAsciiAlnum(c) || c == '_') || (i == 0 && IsDigit(name[i]));
    if (!needs_escape) continue;
    if (!escaped) {
      out->clear();
      out->reserve(name.size() * 2);
      escaped = true;
    }
    out->append(name, copied, i - copied);
    const char escape[6] = {'_', 'Z', static_cast<char>('0' + c / 100),
                            static_cast<char>('0' + c / 10 % 10), static_cast<char>('0' + c % 10),
                            '_'};
    out->append(escape, sizeof(escape));
    copied = i + 1;
  }
  if (!escaped) return false;
  out->append(name, copied, std::string::npos);
  return true;
}

bool decode_name(const std::string& name, std::string* out) {
  bool decoded = false;
  size_t copied = 0;
  size_t i = 0;
  const size_t n = name.size();
  while (i < n) {
    if (name[i] == '_' && n - i >= 6 && name[i + 1] == 'Z' && name[i + 5] == '_' &&
        IsDigit(name[i + 2]) && IsDigit(name[i + 3]) && IsDigit(name[i + 4])) {
      const int value = (name[i + 2] - '0') * 100 + (name[i + 3] - '0') * 10 + (name[i + 4] - '0');
      if (value <= 255) {
        if (!decoded) {
          out->clear();
          out->reserve(n);
          decoded = true;
        }
        out->append(name, copied, i - copied);
        out->push_back(static_cast<char>(value));
        i += 6;
        copied = i;
        continue;
      }
    }
    ++i;
  }
  if (!decoded) return false;
  out->append(name, copied, std::string::npos);
  return true;
}

}  // namespace protobuf_json
