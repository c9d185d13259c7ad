// The line reader of configuration files, shared by the table readers and by
// the numbers-file look-ups, which need one value and no table.
#ifndef UL_CONF_READER_H_
#define UL_CONF_READER_H_

#include <string_view>

namespace ul_conf_reader {

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

}  // namespace ul_conf_reader

#endif  // UL_CONF_READER_H_
