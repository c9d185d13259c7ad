// printf-style formatting into std::string.
#ifndef BASE_STRING_PRINTF_H_
#define BASE_STRING_PRINTF_H_

#include <stdarg.h>

#include <string>

namespace base {

// Returns the formatted text, or an empty string when the format fails.
std::string string_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Replace *output with the formatted text. Return 0, or -1 when the format
// fails (*output is then empty).
int string_printf(std::string* output, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
int string_vprintf(std::string* output, const char* format, va_list args);

// Append the formatted text to *output. Return 0, or -1 when the format
// fails (*output then keeps its old content).
int string_appendf(std::string* output, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
int string_vappendf(std::string* output, const char* format, va_list args);

}  // namespace base

#endif  // BASE_STRING_PRINTF_H_
