// The protobuf library's own log messages, caught on the thread that causes
// them and passed on later, where the caller chooses. The text load converts
// lines ahead of the line it takes, on several threads: it catches each
// line's messages while the line is converted and passes them on when it
// takes the line, so that they come in file order, with the load's own log
// lines, and only for the lines the load takes.
//
// The library has one log handler for the whole process. While a
// ProtobufLogCapture lives, that handler is one that keeps a message in the
// list of the calling thread's ProtobufLogScope, and hands it at once to the
// handler that was in place before on a thread without one.
#ifndef PBDICT_SRC_PROTOBUF_LOG_H_
#define PBDICT_SRC_PROTOBUF_LOG_H_

#include <string>
#include <vector>

#include <google/protobuf/stubs/logging.h>

namespace kavo {
namespace pbdict {

struct ProtobufLogMessage {
  google::protobuf::LogLevel level;
  const char* filename;  // the library's source file (static text)
  int line;
  std::string message;
};
using ProtobufLog = std::vector<ProtobufLogMessage>;

// Puts the catching handler in place for its lifetime. Captures may live at
// the same time (on any threads): the first puts the handler in place, the
// last puts the earlier one back, unless another handler has been put in
// place since (that one stays).
class ProtobufLogCapture {
 public:
  ProtobufLogCapture();
  ~ProtobufLogCapture();
  ProtobufLogCapture(const ProtobufLogCapture&) = delete;
  ProtobufLogCapture& operator=(const ProtobufLogCapture&) = delete;

  // Hands the messages of *log, in order, to the handler that was in place
  // before the captures (none when the library's logging was off), and
  // clears *log. Called while a capture lives.
  static void Pass(ProtobufLog* log);
};

// Catches the calling thread's messages into *log for its lifetime, while a
// capture lives. A scope inside another catches into its own list until it
// ends.
class ProtobufLogScope {
 public:
  explicit ProtobufLogScope(ProtobufLog* log);
  ~ProtobufLogScope();
  ProtobufLogScope(const ProtobufLogScope&) = delete;
  ProtobufLogScope& operator=(const ProtobufLogScope&) = delete;

 private:
  ProtobufLog* outer_;
};

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_SRC_PROTOBUF_LOG_H_
