#include "utils/ccode_exception.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace {

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) ++n;
  return n;
}

TEST(ExceptionTest, LevelNames) {
  const std::pair<int, const char*> rows[] = {
      {-1000, "EXCEPTION_LEVEL_KNOWN"}, {-999, "EXCEPTION_LEVEL_SILENT"},  {-1, "EXCEPTION_LEVEL_SILENT"},
      {0, "EXCEPTION_LEVEL_DEBUG"},     {99, "EXCEPTION_LEVEL_DEBUG"},     {100, "EXCEPTION_LEVEL_TRACE"},
      {200, "EXCEPTION_LEVEL_NOTICE"},  {399, "EXCEPTION_LEVEL_NOTICE"},   {400, "EXCEPTION_LEVEL_WARNING"},
      {800, "EXCEPTION_LEVEL_FATAL"},   {998, "EXCEPTION_LEVEL_FATAL"},    {999, "EXCEPTION_LEVEL_CORE_DUMPED"},
      {ccode::EXCEPTION_LEVEL_DEFAULT, ccode::EXCEPTION_LEVEL_DEFAULT_CSTRING}};
  for (const auto& [level, name] : rows) {
    EXPECT_STREQ(ccode::to_cstring(static_cast<ccode::exception_level_t>(level)), name) << level;
  }
}

TEST(ExceptionTest, AllIsBuiltOnce) {
  ccode::Exception e;
  e << ccode::ExceptionArg("void f()", "x.h", 12) << "bad " << 7;
  const std::string all = e.all();
  EXPECT_EQ(all, "exception[ccode::Exception] was thrown at[x.h:12:void f()] with message[bad 7] stack:<CR>" +
                     std::string(e.stack()));
  e << " more";
  EXPECT_EQ(std::string(e.all()), all);
  EXPECT_STREQ(e.what(), "bad 7 more");
  EXPECT_EQ(e.level(), ccode::EXCEPTION_LEVEL_DEBUG);
}

TEST(ExceptionTest, CopyMovesTheText) {
  ccode::NullPointerException e;
  e << "message";
  const std::string stack = e.stack();
  EXPECT_FALSE(stack.empty());
  ccode::NullPointerException copy(e);
  EXPECT_STREQ(copy.what(), "message");
  EXPECT_EQ(copy.stack(), stack);
  EXPECT_STREQ(e.what(), "");
  EXPECT_STREQ(e.stack(), "");
  EXPECT_STREQ(copy.name(), "ccode::NullPointerException");
  try {
    throw ccode::NullPointerException() << ccode::ExceptionArg("fn", "file.h", 3) << "thrown";
  } catch (const ccode::Exception& caught) {
    EXPECT_STREQ(caught.what(), "thrown");
    EXPECT_EQ(caught.arg()._line, 3);
  }
}

class WrongDerived : public ccode::Exception {};
class WrongFromNull : public ccode::NullPointerException {};

TEST(ExceptionTest, CheckTypeWarnsAboutClassesWithoutTheirLayer) {
  ccode::NullPointerException good;
  good << "ok";
  EXPECT_STREQ(good.what(), "ok");
  EXPECT_EQ(good.level(), ccode::EXCEPTION_LEVEL_DEBUG);

  WrongDerived bad;
  bad << "x";
  const std::string name = bad.name();
  EXPECT_NE(name.find("WrongDerived"), std::string::npos);
  EXPECT_EQ(bad.what(), "xWARNING: invalid definition of " + name);
  EXPECT_EQ(bad.level(), ccode::EXCEPTION_LEVEL_WARNING);
  WrongFromNull bad2;
  bad2 << ccode::ExceptionArg("f", "g", 1);
  EXPECT_EQ(bad2.what(), "WARNING: invalid definition of " + std::string(bad2.name()));
  EXPECT_EQ(bad2.level(), ccode::EXCEPTION_LEVEL_WARNING);
}

// Recurses `depth` frames, then takes a trace and counts its entries; the
// work after the call keeps the frames from being folded away.
__attribute__((noinline)) size_t TraceAtDepth(int depth, size_t want, size_t skip, std::string* out) {
  if (depth > 0) {
    const size_t n = TraceAtDepth(depth - 1, want, skip, out);
    asm volatile("" ::: "memory");
    return n + 0;
  }
  ccode::AutoBuffer buf(0);
  ccode::Exception::stack_trace(buf, want, skip);
  *out = buf.c_str();
  return CountOf(*out, "<CR>");
}

TEST(ExceptionTest, StackTraceLimitsAndDemangle) {
  // {depth, skip, entries}: at most 100 frames are looked at.
  for (auto [depth, skip, entries] : {std::tuple<size_t, size_t, size_t>{5, 0, 5}, {10, 99, 1}, {10, 100, 0}, {0, 0, 0},
                                      {500, 0, 100}, {500, 40, 60}}) {
    std::string out;
    EXPECT_EQ(TraceAtDepth(150, depth, skip, &out), entries) << depth << " " << skip;
    EXPECT_EQ(CountOf(out, "\t"), entries) << depth << " " << skip;
    EXPECT_EQ(out.substr(0, 1), entries > 0 ? "\t" : "") << depth << " " << skip;  // each entry starts with a tab
  }
  ccode::Exception e;  // depth 10 below its constructor
  EXPECT_EQ(CountOf(e.stack(), "<CR>"), 10u);

  ccode::AutoBuffer demangled(0), raw(0);
  ccode::Exception::demangle(demangled, "_ZN5ccode9ExceptionD0Ev");
  EXPECT_STREQ(demangled.c_str(), "ccode::Exception::~Exception()");
  ccode::Exception::demangle(raw, "not-mangled");
  ccode::Exception::demangle(raw, nullptr);
  EXPECT_STREQ(raw.c_str(), "not-mangled");
}

}  // namespace
