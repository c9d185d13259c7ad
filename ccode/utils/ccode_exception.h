// Exceptions of the container utilities: a severity level, the throw site,
// a message and the throwing thread's stack trace, rendered as one line.
//
// Copying an exception moves its stack, name and message into the copy (the
// thrown object owns them); catch by reference.
#ifndef CCODE_UTILS_CCODE_EXCEPTION_H_
#define CCODE_UTILS_CCODE_EXCEPTION_H_

#include <cstddef>
#include <exception>
#include <typeinfo>

#include "ccode_autobuffer.h"

namespace ccode {

enum exception_level_t : int {
  EXCEPTION_LEVEL_SILENT = -999,
  EXCEPTION_LEVEL_DEBUG = 0,
  EXCEPTION_LEVEL_TRACE = 100,
  EXCEPTION_LEVEL_NOTICE = 200,
  EXCEPTION_LEVEL_WARNING = 400,
  EXCEPTION_LEVEL_FATAL = 800,
  EXCEPTION_LEVEL_CORE_DUMPED = 999,
  EXCEPTION_LEVEL_DEFAULT = EXCEPTION_LEVEL_DEBUG,
};

constexpr const char* EXCEPTION_LEVEL_DEFAULT_CSTRING = "EXCEPTION_LEVEL_DEBUG";

// The level's name, by ranges.
const char* to_cstring(exception_level_t level);

// The throw site.
struct ExceptionArg {
  ExceptionArg(const char* function, const char* file, int line)
      : _function(function), _file(file), _line(line) {}
  const char* _function;
  const char* _file;
  int _line;
};

class ExceptionBase : public std::exception {
 public:
  static constexpr size_t DEFAULT_MSG_CAPACITY = 256;
  static constexpr size_t DEFAULT_STACK_CAPACITY = 64;
  static constexpr size_t DEFAULT_NAME_CAPACITY = 32;
  static constexpr size_t DEFAULT_WHAT_CAPACITY = 0;
  static constexpr const char* DEFAULT_FILE = "<unknown-file>";
  static constexpr const char* DEFAULT_FUNCTION = "<unknown-function>";
  static constexpr int DEFAULT_LINE = 0;

  ExceptionBase();
  // Takes the stack, name and message out of `other` (which is left empty);
  // the full description is not carried over.
  ExceptionBase(const ExceptionBase& other);
  ExceptionBase& operator=(const ExceptionBase&) = delete;
  ~ExceptionBase() override = default;

  exception_level_t level() const { return _level; }
  const char* stack() const { return _stack.c_str(); }
  const ExceptionArg& arg() const { return _arg; }

 protected:
  exception_level_t _level;
  // Filled lazily by const accessors and emptied by the copy constructor.
  mutable AutoBuffer _stack;
  mutable AutoBuffer _name;
  mutable AutoBuffer _msg;
  mutable AutoBuffer _all;
  ExceptionArg _arg;
};

// Gives concrete class T its streaming operators and its type check.
template <typename T, typename Base>
class BasicException : public Base {
 public:
  BasicException() = default;
  BasicException(const BasicException&) = default;
  ~BasicException() override = default;

  T& operator<<(const ExceptionArg& arg) {
    this->_arg = arg;
    check_type();
    return static_cast<T&>(*this);
  }

  template <typename V>
  T& operator<<(const V& value) {
    this->_msg << value;
    check_type();
    return static_cast<T&>(*this);
  }

  // A class derived from T without a layer of its own is reported in its
  // message and raised to a warning. The first layer introduces this
  // function and the later ones override it, so one declaration serves both.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Winconsistent-missing-override"
#endif
  virtual void check_type() {
    if (typeid(*this) != typeid(T)) {
      this->_msg << "WARNING: invalid definition of " << static_cast<T*>(this)->name();
      if (this->_level < EXCEPTION_LEVEL_WARNING) this->_level = EXCEPTION_LEVEL_WARNING;
    }
  }
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
};

class Exception : public BasicException<Exception, ExceptionBase> {
 public:
  static constexpr size_t DEFAULT_STACK_TRACE_LEVEL = 10;
  static constexpr size_t MAX_STACK_TRACE_LEVEL = 100;
  static constexpr const char* DEFAULT_LINE_DELIMITER = "<CR>";
  static constexpr size_t _S_LINE_DELIMITER_SIZE = 10;

  // Records the constructing thread's stack (depth _s_stack_trace_level,
  // skipping this frame).
  Exception();
  Exception(const Exception&) = default;
  ~Exception() override = default;

  // The message.
  const char* what() const noexcept override;
  // The demangled name of the dynamic type (computed once).
  const char* name() const;
  // "exception[name] was thrown at[file:line:function] with message[msg]
  // stack:<CR>" followed by the stack; built on the first call only.
  const char* all() const;

  // Appends up to `depth` frames of the calling thread after skipping `skip`
  // (at most 100 frames are looked at), one "\t...<CR>" entry per frame.
  static void stack_trace(AutoBuffer& out, size_t depth, size_t skip);
  // Appends the demangled form of `mangled`, or the text itself.
  static void demangle(AutoBuffer& out, const char* mangled);

  void core_dump() {}

  static size_t _s_stack_trace_level;
  static char _s_line_delimiter[_S_LINE_DELIMITER_SIZE];
};

class NullPointerException : public BasicException<NullPointerException, Exception> {
 public:
  NullPointerException() = default;
  NullPointerException(const NullPointerException&) = default;
  ~NullPointerException() override = default;
};

}  // namespace ccode

#endif  // CCODE_UTILS_CCODE_EXCEPTION_H_
