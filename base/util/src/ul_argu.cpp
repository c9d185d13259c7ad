// Command-line argument record. read_argument walks the arguments with its
// own cursor and never changes the caller's argv.
#include "ul_argu.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ul_string.h"

namespace {

// Hands out one stored value by the fetch rules shared by letters and names.
int Fetch(Ul_argu_stru* arg, char* t_out, const char* value, char* buf, int* len) {
  if (buf == nullptr || len == nullptr) return 1;
  size_t n = strlen(value);
  if (n == 0) {
    if (*len > 0) buf[0] = '\0';
    *len = 0;
    return 1;
  }
  if (*len <= 0) return 0;
  if (n > static_cast<size_t>(*len) - 1) {
    ul_strlcpy(buf, value, static_cast<size_t>(*len));
    return 0;
  }
  memcpy(buf, value, n + 1);
  *len = static_cast<int>(n);
  if (!*t_out) {
    *t_out = 1;
    ++arg->cur_opt;
  }
  return static_cast<int>(n);
}

int Missing(char* buf, int* len) {
  if (buf != nullptr && len != nullptr && *len > 0) memset(buf, 0, static_cast<size_t>(*len));
  if (len != nullptr) *len = 0;
  return 0;
}

}  // namespace

Ul_argu_stru* argument_init() {
  return static_cast<Ul_argu_stru*>(calloc(1, sizeof(Ul_argu_stru)));
}

void argument_destroy(Ul_argu_stru* arg) { free(arg); }

int read_argument(Ul_argu_stru* arg, int argc, char** argv) {
  if (arg == nullptr || argv == nullptr) return -1;
  // A record filled by an earlier call may have no slot left.
  if (arg->opt_num < 0 || arg->opt_num >= UL_ARG_OPT_NUM || arg->mopt_num < 0) return -1;
  char* value_slot = nullptr;  // where the next plain argument goes, if anywhere
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (a == nullptr) continue;
    if (a[0] != '-') {
      if (value_slot != nullptr) ul_strlcpy(value_slot, a, UL_ARG_VALUE_SIZE);
      value_slot = nullptr;
      continue;
    }
    value_slot = nullptr;
    const char* p = a + 1;
    int letters = 0;
    for (; *p != '\0' && *p != '-'; ++p) {
      arg_option& opt = arg->option[arg->opt_num];
      memset(&opt, 0, sizeof(opt));
      opt.option = *p;
      ++arg->opt_num;
      ++letters;
      if (arg->opt_num >= UL_ARG_OPT_NUM) {
        printf("ARG_ERROR: two many option parameters %d have been inputed.\n", arg->opt_num);
        return -1;
      }
    }
    if (*p == '-') {
      const char* name = p + 1;
      if (*name == '\0') continue;
      if (arg->mopt_num >= UL_ARG_MOPT_NUM) return -1;  // no room for another long option
      muti_option& m = arg->m_option[arg->mopt_num++];
      memset(&m, 0, sizeof(m));
      ul_strlcpy(m.option, name, sizeof(m.option));  // longer names are cut
      value_slot = m.opt_cont;
    } else if (letters == 1) {
      value_slot = arg->option[arg->opt_num - 1].opt_cont;
    }
  }
  return 0;
}

int get_one_option(Ul_argu_stru* arg, char letter, char* buf, int* len) {
  if (arg == nullptr) return Missing(buf, len);
  for (int i = 0; i < arg->opt_num && i < UL_ARG_OPT_NUM; ++i) {
    arg_option& opt = arg->option[i];
    if (opt.option == letter) return Fetch(arg, &opt.t_out, opt.opt_cont, buf, len);
  }
  return Missing(buf, len);
}

int get_one_complex_option(Ul_argu_stru* arg, const char* name, char* buf, int* len) {
  if (arg == nullptr || name == nullptr) return Missing(buf, len);
  for (int i = 0; i < arg->mopt_num && i < UL_ARG_MOPT_NUM; ++i) {
    muti_option& m = arg->m_option[i];
    if (strcmp(m.option, name) == 0) return Fetch(arg, &m.t_out, m.opt_cont, buf, len);
  }
  return Missing(buf, len);
}

int get_base_argument(Ul_argu_stru* arg, int index, char* buf, int* len) {
  if (arg == nullptr || index < 0 || index >= arg->arg_num || index >= UL_ARG_BASE_NUM) return 0;
  if (buf == nullptr || len == nullptr || *len <= 0) return 0;
  memset(buf, 0, static_cast<size_t>(*len));
  const char* value = arg->b_arg[index].b_argument;
  size_t n = strnlen(value, UL_ARG_BASE_SIZE);
  if (n == 0 || n >= static_cast<size_t>(*len) || n >= UL_ARG_BASE_SIZE) return 0;
  memcpy(buf, value, n);
  *len = static_cast<int>(n);
  return static_cast<int>(n);
}
