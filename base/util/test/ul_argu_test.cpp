#include "ul_argu.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

struct ArguDeleter {
  void operator()(Ul_argu_stru* a) const { argument_destroy(a); }
};
using Argu = std::unique_ptr<Ul_argu_stru, ArguDeleter>;

// Parses args (program name first) and checks argv is left as it was.
Argu Parse(std::vector<std::string> args, int expect = 0) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  std::vector<char*> before = argv;
  Argu arg(argument_init());
  EXPECT_EQ(expect, read_argument(arg.get(), static_cast<int>(argv.size()), argv.data()));
  EXPECT_EQ(before, argv);
  return arg;
}

TEST(UlArgu, LettersAndValues) {
  Argu a = Parse({"prog", "-a", "x", "-bc", "y", "plain", "-d", "--", "-e"});
  char buf[16];
  int len = sizeof(buf);
  EXPECT_EQ(1, get_one_option(a.get(), 'a', buf, &len));
  EXPECT_STREQ("x", buf);
  EXPECT_EQ(1, len);
  EXPECT_EQ(1, a->cur_opt);
  len = sizeof(buf);
  EXPECT_EQ(1, get_one_option(a.get(), 'a', buf, &len));
  EXPECT_EQ(1, a->cur_opt);  // counted on the first fetch only
  len = sizeof(buf);
  EXPECT_EQ(1, get_one_option(a.get(), 'b', buf, &len));  // "-bc y": y passed over
  EXPECT_EQ(0, len);
  EXPECT_EQ(1, get_one_option(a.get(), 'c', nullptr, nullptr));
  len = sizeof(buf);
  EXPECT_EQ(1, get_one_option(a.get(), 'e', buf, &len));  // "-d" took nothing, "--" no name
  len = sizeof(buf);
  buf[0] = 'z';
  EXPECT_EQ(0, get_one_option(a.get(), 'q', buf, &len));
  EXPECT_EQ(0, len);
  EXPECT_EQ('\0', buf[0]);
  EXPECT_EQ(0, get_one_option(a.get(), 'q', nullptr, nullptr));  // missing with NULL: no crash
  EXPECT_EQ(5, a->opt_num);
}

TEST(UlArgu, LongOptions) {
  std::string long_value(300, 'v');
  Argu a = Parse({"prog", "--port", "80", "-a-name", "n1", "--" + std::string(25, 'L'), "w",
                  "--val", long_value});
  char buf[300];
  int len = 2;
  EXPECT_EQ(0, get_one_complex_option(a.get(), "port", buf, &len));
  EXPECT_STREQ("8", buf);
  len = 16;
  EXPECT_EQ(2, get_one_complex_option(a.get(), "port", buf, &len));
  EXPECT_STREQ("80", buf);
  EXPECT_EQ(1, a->cur_opt);
  len = 16;
  EXPECT_EQ(2, get_one_complex_option(a.get(), "name", buf, &len));
  EXPECT_STREQ("n1", buf);
  // Names are cut to the record's 19 bytes; values to 255.
  len = 16;
  EXPECT_EQ(1, get_one_complex_option(a.get(), std::string(19, 'L').c_str(), buf, &len));
  len = sizeof(buf);
  EXPECT_EQ(255, get_one_complex_option(a.get(), "val", buf, &len));
  EXPECT_EQ(std::string(255, 'v'), buf);

  std::vector<std::string> many = {"prog"};
  for (int i = 0; i < 11; ++i) many.push_back("--o" + std::to_string(i));
  Argu b = Parse(many, -1);
  EXPECT_EQ(10, b->mopt_num);
}

TEST(UlArgu, TooManyLettersAndBaseArguments) {
  Argu ok = Parse({"prog", "-abcdefghijklmnopqrs"});
  EXPECT_EQ(19, ok->opt_num);
  testsupport::CaptureFd out(1);
  Argu bad = Parse({"prog", "--port", "80", "-abcdefghij", "-klmnopqrst"}, -1);
  EXPECT_EQ("ARG_ERROR: two many option parameters 20 have been inputed.\n", out.Stop());
  // A record left full is refused by a later call without writing past its letters.
  char prog[] = "prog", more[] = "-x";
  char* again[] = {prog, more};
  EXPECT_EQ(-1, read_argument(bad.get(), 2, again));
  EXPECT_EQ(20, bad->opt_num);
  ASSERT_EQ(1, bad->mopt_num);
  EXPECT_STREQ("port", bad->m_option[0].option);
  EXPECT_STREQ("80", bad->m_option[0].opt_cont);

  char buf[8];
  int len = sizeof(buf);
  EXPECT_EQ(0, get_base_argument(ok.get(), 0, buf, &len));  // none stored
  ok->arg_num = 1;
  snprintf(ok->b_arg[0].b_argument, sizeof(ok->b_arg[0].b_argument), "file");
  EXPECT_EQ(4, get_base_argument(ok.get(), 0, buf, &len));
  EXPECT_STREQ("file", buf);
  len = sizeof(buf);
  EXPECT_EQ(0, get_base_argument(ok.get(), 1, buf, &len));  // one past the stored ones
  len = 4;
  EXPECT_EQ(0, get_base_argument(ok.get(), 0, buf, &len));
}

}  // namespace
