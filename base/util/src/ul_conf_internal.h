// Pieces shared by the configuration tables and the numbers files: the line
// reader (the numbers-file look-ups need one value and no table) and the
// printing of typed values.
#ifndef UL_CONF_INTERNAL_H_
#define UL_CONF_INTERNAL_H_

#include <stdio.h>

#include <string_view>

namespace ul_conf_internal {

// Receives the items of a file in file order.
class ItemSink {
 public:
  virtual ~ItemSink() = default;
  virtual void Add(std::string_view name, std::string_view value) = 0;
};

enum ReadResult {
  kReadOk = 1,         // end of file reached
  kReadNotFound = -1,  // not a regular file or not openable; nothing handed over
  kReadStopped = -2,   // more than room items, or a name of 2048 bytes or more
};

// Reads the file at path and hands each item to sink, at most room of them.
// Logs the missing file and every malformed line; always closes the file.
ReadResult ReadItems(const char* path, int room, ItemSink* sink);

// A typed value printed as items and numbers files store it: "%d", "%u",
// "%lld", "%llu", or "%f" for a float.
class NumberText {
 public:
  explicit NumberText(int v) { snprintf(text_, sizeof(text_), "%d", v); }
  explicit NumberText(unsigned int v) { snprintf(text_, sizeof(text_), "%u", v); }
  explicit NumberText(long long v) { snprintf(text_, sizeof(text_), "%lld", v); }
  explicit NumberText(unsigned long long v) { snprintf(text_, sizeof(text_), "%llu", v); }
  explicit NumberText(float v) { snprintf(text_, sizeof(text_), "%f", static_cast<double>(v)); }
  const char* c_str() const { return text_; }

 private:
  char text_[64];  // "%f" of the largest float takes 47 bytes
};

}  // namespace ul_conf_internal

#endif  // UL_CONF_INTERNAL_H_
