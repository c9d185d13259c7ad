// Older configuration interface: the unbounded string getter and the
// numbers-file functions, beside the newer ones of ul_conf.
#include <stdio.h>
#include <string.h>

#include <string_view>
#include <vector>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_conf.h"
#include "ul_conf_internal.h"
#include "ul_error.h"
#include "ul_log.h"

namespace {

constexpr size_t kPathSize = 4096;

// The numbers file "dir/name.n"; false when it does not fit.
bool NumberFilePath(const char* dir, const char* name, char (&path)[kPathSize]) {
  return toolkit::JoinPath(path, dir, name, ".n");
}

// Appends one "vname : value" line, value already printed.
int WriteNumber(const char* dir, const char* name, const char* vname, const char* value) {
  if (dir == nullptr || name == nullptr || vname == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return -3;
  }
  char path[kPathSize];
  toolkit::UniqueFile fp(NumberFilePath(dir, name, path) ? fopen(path, "a") : nullptr);
  if (!fp.ok()) {
    ul_seterrno(UL_OPENFILE_ERR);
    return -1;
  }
  // Exactly one blank-free token.
  std::vector<char> first(strlen(vname) + 1), second(strlen(vname) + 1);
  if (sscanf(vname, "%s %s", first.data(), second.data()) != 1) {
    ul_writelog(UL_LOG_FATAL, "[writeconf] var's name (%s) error", vname);
    return -2;
  }
  fprintf(fp.get(), "%s : %s\n", vname, value);
  // A line that did not reach the file (full disk) is a failure, not success.
  const bool failed = ferror(fp.get()) != 0;
  if (!fp.Close() || failed) {
    ul_seterrno(UL_WRITEERR);
    return -1;
  }
  return 1;
}

// The first item named vname of dir/name.n, held in a one-item table so
// that the typed getters parse it. The file is read as into a fresh table of
// 1024 items (the same messages, the same refusal of a file with more items
// or an over-long name), without allocating and clearing such a table for
// the one value wanted.
class NumberFile : public ul_conf_internal::ItemSink {
 public:
  explicit NumberFile(const char* vname) : vname_(vname) {
    table_.num = 0;
    table_.size = 1;
    table_.item = &item_;
  }
  NumberFile(const NumberFile&) = delete;  // table_ points into this object
  NumberFile& operator=(const NumberFile&) = delete;

  // False when the file cannot be read as a table of 1024 items.
  bool Read(const char* dir, const char* name) {
    if (dir == nullptr || name == nullptr) {
      ul_seterrno(UL_INVPARAM);
      return false;
    }
    // A file name that alone fills the buffer fails without an error
    // number; a folder and name that together do not fit set one.
    if (strlen(name) + 2 >= kPathSize) return false;
    char path[kPathSize];
    if (!NumberFilePath(dir, name, path)) {
      ul_seterrno(UL_INVPARAM);
      return false;
    }
    return ul_conf_internal::ReadItems(path, UL_CONF_MIN_SIZE, this) == ul_conf_internal::kReadOk;
  }

  void Add(std::string_view name, std::string_view value) override {
    if (table_.num != 0 || vname_ == nullptr || name != vname_) return;
    memcpy(item_.name, name.data(), name.size());
    item_.name[name.size()] = '\0';
    memcpy(item_.value, value.data(), value.size());
    item_.value[value.size()] = '\0';
    table_.num = 1;
  }

  const Ul_confdata* table() const { return &table_; }

 private:
  const char* vname_;
  Ul_confitem item_;
  Ul_confdata table_;
};

// Getter through the overload for a const table.
template <typename T>
using Getter = int (*)(const Ul_confdata*, const char*, T*);

template <typename T>
int KReadNumber(const char* dir, const char* name, const char* vname, T* value, Getter<T> get) {
  NumberFile file(vname);
  if (!file.Read(dir, name)) return -1;
  if (vname == nullptr || value == nullptr || get(file.table(), vname, value) != 1) {
    ul_writelog(UL_LOG_FATAL, "[kreadnum_one] have no (%s).", vname == nullptr ? "" : vname);
    return -1;
  }
  return 1;
}

template <typename T>
int ReadNumber(const char* dir, const char* name, const char* vname, T* value, Getter<T> get) {
  NumberFile file(vname);
  if (!file.Read(dir, name) || vname == nullptr || value == nullptr) return 0;
  return get(file.table(), vname, value) == 1 ? 1 : 0;
}

}  // namespace

int ul_getconfstr(Ul_confdata* conf, const char* name, char* buf) {
  if (conf == nullptr || name == nullptr || buf == nullptr) return 0;
  for (int i = 0; i < conf->num && i < conf->size; ++i) {
    if (strcmp(conf->item[i].name, name) == 0) {
      strcpy(buf, conf->item[i].value);
      return 1;
    }
  }
  return 0;
}

int ul_writenum_init(const char* dir, const char* name) {
  if (dir == nullptr || name == nullptr) {
    ul_seterrno(UL_INVPARAM);
    return -1;
  }
  char path[kPathSize];
  toolkit::UniqueFile fp(NumberFilePath(dir, name, path) ? fopen(path, "w") : nullptr);
  return fp.ok() ? 1 : -1;  // an empty stream has nothing to lose at its close
}

int ul_writenum_oneint(const char* dir, const char* name, const char* vname, int value) {
  return WriteNumber(dir, name, vname, ul_conf_internal::NumberText(value).c_str());
}
int ul_writenum_oneuint(const char* dir, const char* name, const char* vname, unsigned int value) {
  return WriteNumber(dir, name, vname, ul_conf_internal::NumberText(value).c_str());
}
int ul_writenum_oneint64(const char* dir, const char* name, const char* vname, long long value) {
  return WriteNumber(dir, name, vname, ul_conf_internal::NumberText(value).c_str());
}
int ul_writenum_oneuint64(const char* dir, const char* name, const char* vname,
                          unsigned long long value) {
  return WriteNumber(dir, name, vname, ul_conf_internal::NumberText(value).c_str());
}
int ul_writenum_onefloat(const char* dir, const char* name, const char* vname, float value) {
  return WriteNumber(dir, name, vname, ul_conf_internal::NumberText(value).c_str());
}

int ul_kreadnum_oneint(const char* dir, const char* name, const char* vname, int* value) {
  return KReadNumber<int>(dir, name, vname, value, ul_getconfint);
}
int ul_kreadnum_oneuint(const char* dir, const char* name, const char* vname, unsigned int* value) {
  return KReadNumber<unsigned int>(dir, name, vname, value, ul_getconfuint);
}
int ul_kreadnum_oneint64(const char* dir, const char* name, const char* vname, long long* value) {
  return KReadNumber<long long>(dir, name, vname, value, ul_getconfint64);
}
int ul_kreadnum_oneuint64(const char* dir, const char* name, const char* vname,
                          unsigned long long* value) {
  return KReadNumber<unsigned long long>(dir, name, vname, value, ul_getconfuint64);
}
int ul_kreadnum_onefloat(const char* dir, const char* name, const char* vname, float* value) {
  return KReadNumber<float>(dir, name, vname, value, ul_getconffloat);
}

int ul_readnum_oneint(const char* dir, const char* name, const char* vname, int* value) {
  return ReadNumber<int>(dir, name, vname, value, ul_getconfint);
}
int ul_readnum_oneuint(const char* dir, const char* name, const char* vname, unsigned int* value) {
  return ReadNumber<unsigned int>(dir, name, vname, value, ul_getconfuint);
}
int ul_readnum_oneint64(const char* dir, const char* name, const char* vname, long long* value) {
  return ReadNumber<long long>(dir, name, vname, value, ul_getconfint64);
}
int ul_readnum_oneuint64(const char* dir, const char* name, const char* vname,
                         unsigned long long* value) {
  return ReadNumber<unsigned long long>(dir, name, vname, value, ul_getconfuint64);
}
