// Command-line argument record: one-letter options (-a value, -abc), long
// options (--name value) and plain arguments in one fixed-size record,
// handed out by letter, by name or by position.
#ifndef UL_ARGU_H_
#define UL_ARGU_H_

#define UL_ARG_OPT_NUM 20      // letter option slots (at most 19 are accepted)
#define UL_ARG_MOPT_NUM 10     // long option slots
#define UL_ARG_BASE_NUM 10     // plain argument slots
#define UL_ARG_VALUE_SIZE 256
#define UL_ARG_NAME_SIZE 20
#define UL_ARG_BASE_SIZE 128

typedef struct arg_option {
  char t_out;  // 1 once the value was fetched
  char option;
  char opt_cont[UL_ARG_VALUE_SIZE];
} arg_option;

typedef struct muti_option {
  char t_out;
  char option[UL_ARG_NAME_SIZE];
  char opt_cont[UL_ARG_VALUE_SIZE];
} muti_option;

typedef struct base_arg {
  char t_out;
  char b_argument[UL_ARG_BASE_SIZE];
} base_arg;

typedef struct Ul_argu_stru {
  int opt_num;
  int cur_opt;
  arg_option option[UL_ARG_OPT_NUM];
  int mopt_num;
  int cur_mopt;
  muti_option m_option[UL_ARG_MOPT_NUM];
  int arg_num;
  int cur_arg;
  base_arg b_arg[UL_ARG_BASE_NUM];
} Ul_argu_stru;

// A zeroed record, NULL when out of memory.
Ul_argu_stru* argument_init();
void argument_destroy(Ul_argu_stru* arg);

// Splits argv[1..argc-1] into the record; argv is not changed. 0, or -1 on
// too many options.
int read_argument(Ul_argu_stru* arg, int argc, char** argv);

// len is in: the size of buf; out: the value's length. Each returns the
// value's length, 1 for an empty value or a NULL buf/len, 0 when missing or
// when buf is too small (buf then holds the cut value).
int get_one_option(Ul_argu_stru* arg, char letter, char* buf, int* len);
int get_one_complex_option(Ul_argu_stru* arg, const char* name, char* buf, int* len);
int get_base_argument(Ul_argu_stru* arg, int index, char* buf, int* len);

#endif  // UL_ARGU_H_
