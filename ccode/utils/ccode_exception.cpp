#include "ccode_exception.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace ccode {

const char* to_cstring(exception_level_t level) {
  const int v = level;
  if (v > 998) return "EXCEPTION_LEVEL_CORE_DUMPED";
  if (v > 799) return "EXCEPTION_LEVEL_FATAL";
  if (v > 399) return "EXCEPTION_LEVEL_WARNING";
  if (v > 199) return "EXCEPTION_LEVEL_NOTICE";
  if (v > 99) return "EXCEPTION_LEVEL_TRACE";
  if (v >= 0) return "EXCEPTION_LEVEL_DEBUG";
  if (v >= -999) return "EXCEPTION_LEVEL_SILENT";
  return "EXCEPTION_LEVEL_KNOWN";
}

ExceptionBase::ExceptionBase()
    : _level(EXCEPTION_LEVEL_DEFAULT),
      _stack(DEFAULT_STACK_CAPACITY),
      _name(DEFAULT_NAME_CAPACITY),
      _msg(DEFAULT_MSG_CAPACITY),
      _all(DEFAULT_WHAT_CAPACITY),
      _arg(DEFAULT_FUNCTION, DEFAULT_FILE, DEFAULT_LINE) {}

ExceptionBase::ExceptionBase(const ExceptionBase& other)
    : std::exception(other),
      _level(other._level),
      _stack(other._stack.capacity()),
      _name(other._name.capacity()),
      _msg(other._msg.capacity()),
      _all(DEFAULT_STACK_CAPACITY),
      _arg(other._arg) {
  _stack.transfer_from(other._stack);
  _name.transfer_from(other._name);
  _msg.transfer_from(other._msg);
}

size_t Exception::_s_stack_trace_level = Exception::DEFAULT_STACK_TRACE_LEVEL;
char Exception::_s_line_delimiter[Exception::_S_LINE_DELIMITER_SIZE] = "<CR>";

Exception::Exception() { stack_trace(_stack, _s_stack_trace_level, 1); }

const char* Exception::what() const noexcept { return _msg.c_str(); }

const char* Exception::name() const {
  if (_name.empty()) {
    const char* mangled = typeid(*this).name();
    if (*mangled == '*') ++mangled;
    demangle(_name, mangled);
  }
  return _name.c_str();
}

const char* Exception::all() const {
  if (!_all.empty()) return _all.c_str();
  name();
  _all.reserve(_msg.size() + _stack.size() + 160);
  _all << "exception[" << _name.c_str() << "] was thrown at[";
  if (_arg._file != nullptr) _all << _arg._file;
  _all << ":";
  _all.pushf("%d", _arg._line);
  _all << ":";
  if (_arg._function != nullptr) _all << _arg._function;
  _all << "] with message[" << _msg.c_str() << "] stack:" << _s_line_delimiter << _stack.c_str();
  return _all.c_str();
}

void Exception::stack_trace(AutoBuffer& out, size_t depth, size_t skip) {
  if (skip >= MAX_STACK_TRACE_LEVEL || depth == 0) return;
  if (depth > MAX_STACK_TRACE_LEVEL - skip) depth = MAX_STACK_TRACE_LEVEL - skip;

  void* frames[MAX_STACK_TRACE_LEVEL];
  const int got = backtrace(frames, static_cast<int>(depth + skip));
  if (got <= 0) return;
  char** symbols = backtrace_symbols(frames, got);
  if (symbols == nullptr) return;

  char* demangled = nullptr;  // one buffer, reused from frame to frame
  size_t demangled_len = 0;
  std::string name;
  for (int i = static_cast<int>(skip); i < got; ++i) {
    const char* line = symbols[i];
    out << "\t";
    // Shape: module "(" name "+" offset ")" ... "[" address "]"
    const char* open = std::strchr(line, '(');
    const char* plus = open != nullptr ? std::strchr(open, '+') : nullptr;
    const char* close = plus != nullptr ? std::strchr(plus, ')') : nullptr;
    if (close != nullptr) {
      out.push(line, static_cast<size_t>(open - line));
      out << " ";
      name.assign(open + 1, plus);
      int status = -1;
      char* r = abi::__cxa_demangle(name.c_str(), demangled, &demangled_len, &status);
      if (status == 0 && r != nullptr) {
        demangled = r;
        out << r;
      } else {
        out << name << "()";
      }
      const char* bracket = std::strchr(plus, '[');
      if (bracket != nullptr) out << " " << bracket;
    } else {
      out << line;
    }
    out << _s_line_delimiter;
  }
  std::free(symbols);
  std::free(demangled);
}

void Exception::demangle(AutoBuffer& out, const char* mangled) {
  if (mangled == nullptr) {
    out << static_cast<const char*>(nullptr);
    return;
  }
  int status = -1;
  char* r = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  if (status == 0 && r != nullptr) {
    out << r;
  } else {
    out << mangled;
  }
  std::free(r);
}

}  // namespace ccode
