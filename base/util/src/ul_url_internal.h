// Pieces shared by the URL sources: character classes, the host-label walk,
// the path shape scan, the splitter core and the precondition stop.
#ifndef UL_URL_INTERNAL_H_
#define UL_URL_INTERNAL_H_

#include <stddef.h>

#include <array>

namespace ulurl {

// Character classes: 256 entries indexed by the unsigned byte, built
// at compile time from their rules.
using ByteTable = std::array<char, 256>;

template <typename Pred>
constexpr ByteTable MakeTable(Pred pred) {
  ByteTable t{};
  for (int c = 0; c < 256; ++c) t[c] = static_cast<char>(pred(c));
  return t;
}

constexpr bool InString(int c, const char* s) {
  for (; *s != '\0'; ++s) {
    if (c == static_cast<unsigned char>(*s)) return true;
  }
  return false;
}

constexpr bool IsDigitByte(int c) { return c >= '0' && c <= '9'; }
constexpr bool IsUpperByte(int c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsLetterOrDigitByte(int c) {
  return IsDigitByte(c) || IsUpperByte(c) || (c >= 'a' && c <= 'z');
}

}  // namespace ulurl

// Path segment: 0x20..0xFF except # / ; ?
inline constexpr ulurl::ByteTable UL_PCHAR =
    ulurl::MakeTable([](int c) { return c >= 0x20 && !ulurl::InString(c, "#/;?"); });
// After ';': 0x20..0xFF except # ; ?
inline constexpr ulurl::ByteTable UL_PARAM =
    ulurl::MakeTable([](int c) { return c >= 0x20 && !ulurl::InString(c, "#;?"); });
// Query and fragment: 0x20..0xFF except #
inline constexpr ulurl::ByteTable UL_UCH_RES =
    ulurl::MakeTable([](int c) { return c >= 0x20 && c != '#'; });
// Bytes that keep their escape when decoded.
inline constexpr ulurl::ByteTable UL_RESERVED =
    ulurl::MakeTable([](int c) { return ulurl::InString(c, "$%&+,/:;=?@"); });
inline constexpr ulurl::ByteTable UL_LFCR =
    ulurl::MakeTable([](int c) { return c == '\n' || c == '\r'; });
inline constexpr ulurl::ByteTable UL_LET_DIGIT = ulurl::MakeTable(ulurl::IsLetterOrDigitByte);
// Host-label bytes: letters, digits, '-' and '_'.
inline constexpr ulurl::ByteTable UL_LET_DIG_HY = ulurl::MakeTable(
    [](int c) { return ulurl::IsLetterOrDigitByte(c) || c == '-' || c == '_'; });
inline constexpr ulurl::ByteTable UL_URL_DIGIT = ulurl::MakeTable(ulurl::IsDigitByte);
inline constexpr ulurl::ByteTable UL_URL_UP_LET = ulurl::MakeTable(ulurl::IsUpperByte);
// Hex digit values: '1'..'9' 1..9, 'A'..'F' and 'a'..'f' 10..15, '0' and all
// else 0 (a valid digit is therefore tested with IsHexDigit, not by value).
inline constexpr ulurl::ByteTable UL_TO_CHAR = ulurl::MakeTable([](int c) {
  return ulurl::IsDigitByte(c) ? c - '0'
         : (c >= 'A' && c <= 'F') ? c - 'A' + 10
         : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                  : 0;
});
// 1 for every byte except NUL & * ; = ?
inline constexpr ulurl::ByteTable ul_dyn_char_table =
    ulurl::MakeTable([](int c) { return c != 0 && !ulurl::InString(c, "&*;=?"); });

// The checking functions' names for the same classes.
inline constexpr const ulurl::ByteTable& UL_URL_PCHAR = UL_PCHAR;
inline constexpr const ulurl::ByteTable& UL_URL_PARAM = UL_PARAM;
inline constexpr const ulurl::ByteTable& UL_URL_UCH_RES = UL_UCH_RES;
inline constexpr const ulurl::ByteTable& UL_URL_LET_DIGIT = UL_LET_DIGIT;
inline constexpr const ulurl::ByteTable& UL_URL_LET_DIG_HY = UL_LET_DIG_HY;

namespace ulurl {

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

inline bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// 1 when s begins with "http://" in any case.
bool HasHttpPrefix(const char* s);

// Stops the process for a broken precondition, with the assertion's text.
[[noreturn]] void PreconditionFailed(const char* expression, const char* function);

// Walks host labels from r and writes them, lowered and with escapes decoded,
// at w (w may equal r: the host only shrinks). The first byte must be a
// host-label byte; an escape must decode to one; every label must be
// non-empty and end in a letter or digit (with any_label_end, any host-label
// byte); at least one '.'. Returns the first byte after the host (the caller
// decides what may follow) and sets *w_end to the end of what was written, or
// returns nullptr when the host is invalid.
const char* WalkHost(const char* r, char* w, bool any_label_end, char** w_end);

// Scans the shape of a path from p without changing it: '/' segments of
// UL_PCHAR bytes, then ';' parameters of UL_PARAM bytes, then '?' queries of
// UL_UCH_RES bytes, then, with fragments, '#' sections of UL_UCH_RES bytes.
// Returns the first byte outside that shape; *blank tells whether a blank
// was passed.
const char* ScanPathShape(const char* p, bool fragments, bool* blank);

// Limits and DEBUG prefix of one splitter.
struct SplitTier {
  const char* name;   // "ul_parse_url", "ul_parse_url_ex", ...
  size_t url_limit;   // the URL must be shorter
  bool ipv6_host;     // a bracketed IPv6 host may precede the port
};

// Splitting once the URL is prepared, over work (a writable copy with CR/LF
// removed and "http://" skipped; see PrepareUrl): path, port, site. Sizes as in ul_parse_url_ex (the site
// size is checked even when site is NULL); input is the caller's text for the
// DEBUG line.
int SplitUrl(const SplitTier& tier, const char* input, char* work, char* site, size_t site_size,
             char* port, size_t port_size, char* path, size_t path_size);

// Copies input into work (at least tier.url_limit bytes) after the length
// check, removes CR/LF and returns the position after a leading "http://", or
// nullptr (with the DEBUG line) when the URL is too long.
char* PrepareUrl(const SplitTier& tier, const char* input, char* work);

}  // namespace ulurl

#endif  // UL_URL_INTERNAL_H_
