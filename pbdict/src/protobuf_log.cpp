#include "protobuf_log.h"

#include <atomic>
#include <exception>
#include <mutex>

namespace kavo {
namespace pbdict {

namespace {

using google::protobuf::LogHandler;
using google::protobuf::LogLevel;

// The list of the calling thread's scope, if any.
thread_local ProtobufLog* t_log = nullptr;

// The library's handler is one function for the whole process, so the
// captures share these: how many live, and the handler they replaced
// (null: logging was off).
std::mutex g_mu;
int g_captures = 0;  // guarded by g_mu
std::atomic<LogHandler*> g_previous{nullptr};

void PassOn(LogLevel level, const char* filename, int line, const std::string& message) {
  LogHandler* previous = g_previous.load(std::memory_order_acquire);
  if (previous != nullptr) previous(level, filename, line, message);
}

// The handler in place while a capture lives. It must not throw into the
// library: a message that cannot be kept is passed on at once.
void CatchOrPass(LogLevel level, const char* filename, int line, const std::string& message) {
  ProtobufLog* log = t_log;
  if (log != nullptr) {
    try {
      log->push_back(ProtobufLogMessage{level, filename, line, message});
      return;
    } catch (const std::exception&) {
    }
  }
  PassOn(level, filename, line, message);
}

}  // namespace

ProtobufLogCapture::ProtobufLogCapture() {
  std::lock_guard<std::mutex> lock(g_mu);
  if (g_captures++ != 0) return;
  // The catching handler may still be in place: put back by a handler that
  // had been put in place over it and kept by the last capture. What it
  // passes on to then stays as it was.
  LogHandler* previous = google::protobuf::SetLogHandler(&CatchOrPass);
  if (previous != &CatchOrPass) g_previous.store(previous, std::memory_order_release);
}

ProtobufLogCapture::~ProtobufLogCapture() {
  std::lock_guard<std::mutex> lock(g_mu);
  if (--g_captures != 0) return;
  LogHandler* current = google::protobuf::SetLogHandler(g_previous.load(std::memory_order_acquire));
  if (current != &CatchOrPass) google::protobuf::SetLogHandler(current);
}

void ProtobufLogCapture::Pass(ProtobufLog* log) {
  for (const ProtobufLogMessage& m : *log) PassOn(m.level, m.filename, m.line, m.message);
  log->clear();
}

ProtobufLogScope::ProtobufLogScope(ProtobufLog* log) : outer_(t_log) { t_log = log; }

ProtobufLogScope::~ProtobufLogScope() { t_log = outer_; }

}  // namespace pbdict
}  // namespace kavo
