// Opening the framework from a configuration file, and the reload of level
// settings at run time.
#include <stdio.h>
#include <string.h>

#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "comlog/comlog.h"
#include "comlog/comlog_internal.h"
#include "comlog/diag.h"
#include "comlog/namemg.h"
#include "comlog/write_gate.h"
#include "comlog/xutils.h"
#include "ul_conf.h"
#include "ul_log.h"

namespace comspace {

namespace {

constexpr int kConfItems = 4095;
constexpr int kMaxReg = 1024;

struct reg_node {
  LogStat* logstat;
  com_reload_fn_t fn;
  char path[1024];
  char file[256];
};

std::mutex g_reg_mutex;
std::vector<reg_node> g_reg;  // at most kMaxReg entries

// The configuration table, freed at scope end.
struct ConfDeleter {
  void operator()(Ul_confdata* c) const { ul_freeconf(c); }
};
using ConfPtr = std::unique_ptr<Ul_confdata, ConfDeleter>;

// Reads path/file into a fresh table; NULL after its diagnostic.
ConfPtr ReadConf(const char* path, const char* file) {
  ConfPtr conf(ul_initconf(kConfItems));
  if (!conf) {
    COMLOG_DIAG("init conf err");
    return nullptr;
  }
  if (ul_readconf(path, file, conf.get()) != 1) {
    COMLOG_DIAG("read conf err");
    return nullptr;
  }
  return conf;
}

// "D_SUFFIX".
void DeviceKey(char* out, size_t size, const char* device, const char* suffix) {
  snprintf(out, size, "%s_%s", device, suffix);
}

bool GetStr(const Ul_confdata* conf, const char* key, char* buf, size_t size) {
  return ul_getconfnstr(conf, key, buf, size) == 1;
}

bool GetInt(const Ul_confdata* conf, const char* key, int* v) { return ul_getconfint(conf, key, v) == 1; }

// The device prefix, TYPE (a registered kind), PATH and NAME of device i;
// "TTY" devices need no PATH or NAME. False after the diagnostic.
bool ReadDeviceHead(const Ul_confdata* conf, int i, char* device, size_t device_size, char* type,
                    size_t type_size, char* host, size_t host_size, char* file, size_t file_size) {
  char key[2048];
  snprintf(key, sizeof(key), "%s%d", "COMLOG_DEVICE", i);
  if (!GetStr(conf, key, device, device_size)) {
    COMLOG_DIAG("can't get flag[%s]", key);
    return false;
  }
  DeviceKey(key, sizeof(key), device, "TYPE");
  if (!GetStr(conf, key, type, type_size)) {
    COMLOG_DIAG("can't get flag[%s]", key);
    return false;
  }
  if (!AppenderFactory::isAppender(type)) {
    COMLOG_DIAG("Unkown device type[%s] at flag[%s]", type, key);
    return false;
  }
  const bool tty = strcmp(type, "TTY") == 0;
  DeviceKey(key, sizeof(key), device, "PATH");
  if (!GetStr(conf, key, host, host_size) && !tty) {
    COMLOG_DIAG("can't get flag[%s]", key);
    return false;
  }
  DeviceKey(key, sizeof(key), device, "NAME");
  if (!GetStr(conf, key, file, file_size) && !tty) {
    COMLOG_DIAG("can't get flag[%s]", key);
    return false;
  }
  return true;
}

// Reads device i of the file into dev (a fresh default record). False after
// the diagnostic.
bool ReadDevice(const Ul_confdata* conf, int i, int pid, com_device_t* dev) {
  char device[256];
  char type[256];
  if (!ReadDeviceHead(conf, i, device, sizeof(device), type, sizeof(type), dev->host, sizeof(dev->host),
                      dev->file, sizeof(dev->file))) {
    return false;
  }
  xstrcpy(dev->type, sizeof(dev->type), type);

  char key[2048];
  char* reserved[4] = {dev->reserved1, dev->reserved2, dev->reserved3, dev->reserved4};
  for (int r = 0; r < 4; ++r) {
    char suffix[16];
    snprintf(suffix, sizeof(suffix), "RESERVED%d", r + 1);
    DeviceKey(key, sizeof(key), device, suffix);
    if (!GetStr(conf, key, reserved[r], sizeof(dev->reserved1))) reserved[r][0] = '\0';
  }

  // Every item of the device (and every COMLOG_DFS item) in file order.
  const size_t prefix_len = strlen(device);
  for (int k = 0; k < conf->num && dev->reserved_num < COM_RESERVEDNUM; ++k) {
    const Ul_confitem& item = conf->item[k];
    const bool mine = strncmp(item.name, device, prefix_len) == 0 && item.name[prefix_len] == '_';
    if (!mine && strncmp(item.name, "COMLOG_DFS", 10) != 0) continue;
    Ul_confitem& out = dev->reservedext[dev->reserved_num++];
    xstrcpy(out.name, sizeof(out.name), item.name);
    xstrcpy(out.value, sizeof(out.value), item.value);
  }

  if (pid < 0) {
    COMLOG_DIAG("Illegal para pid = %d", pid);
    return false;
  }
  if (strncmp(dev->type, "MERULKA", sizeof(dev->type)) == 0 && dev->reserved_num < COM_RESERVEDNUM) {
    Ul_confitem& out = dev->reservedext[dev->reserved_num++];
    DeviceKey(out.name, sizeof(out.name), device, "DISKLOG_PATH_ID");
    snprintf(out.value, sizeof(out.value), "%d", pid);
  }
  xstrcpy(dev->name, sizeof(dev->name), device);
  dev->set_reservedconf();

  int v = 0;
  DeviceKey(key, sizeof(key), device, "OPEN");
  if (GetInt(conf, key, &v)) dev->open = static_cast<char>(v);

  char text[2048];
  DeviceKey(key, sizeof(key), device, "SPLITE_TYPE");
  if (GetStr(conf, key, text, 31)) {
    if (strcmp(text, "TRUNCT") == 0) {
      dev->splite_type = COMLOG_TRUNCT;
    } else if (strcmp(text, "SIZECUT") == 0) {
      dev->splite_type = COMLOG_SIZECUT;
    } else if (strcmp(text, "DATECUT") == 0) {
      dev->splite_type = COMLOG_DATECUT;
    } else if (GetInt(conf, key, &v) && v >= COMLOG_TRUNCT && v <= COMLOG_DATECUT) {
      dev->splite_type = static_cast<char>(v);
    } else {
      COMLOG_DIAG("Error config for comlog: %s : %s", key, text);
    }
  }

  DeviceKey(key, sizeof(key), device, "SIZE");
  if (GetInt(conf, key, &v)) dev->log_size = v;
  DeviceKey(key, sizeof(key), device, "COMPRESS");
  if (GetInt(conf, key, &v)) dev->compress = static_cast<char>(v);
  DeviceKey(key, sizeof(key), device, "DATA_CRONOCUT");
  if (GetInt(conf, key, &v)) dev->cronocut = v;
  DeviceKey(key, sizeof(key), device, "DATA_CUTTIME");
  if (GetInt(conf, key, &v) && v > 0) dev->cuttime = v;

  int syslevel = 16;
  DeviceKey(key, sizeof(key), device, "SYSLEVEL");
  GetInt(conf, key, &syslevel);
  if (syslevel > 31) {
    COMLOG_DIAG("invalid %s = %d", device, syslevel);
  } else {
    dev->log_mask = 0;
    for (int b = 1; b <= syslevel; ++b) dev->log_mask |= uint64_t{1} << b;
  }
  DeviceKey(key, sizeof(key), device, "SELFLEVEL");
  if (GetStr(conf, key, text, 2047)) set_comdevice_selflog(dev, text);

  DeviceKey(key, sizeof(key), device, "AUTH");
  if (!GetStr(conf, key, dev->auth, sizeof(dev->auth))) dev->auth[0] = '\0';

  // A layout of the device's own; the caller owns it until it is registered.
  Layout* layout = nullptr;
  DeviceKey(key, sizeof(key), device, "LAYOUT");
  if (GetStr(conf, key, text, sizeof(text))) {
    layout = new (std::nothrow) Layout();
    if (layout != nullptr) layout->setPattern(text);
  }
  DeviceKey(key, sizeof(key), device, "LAYOUT_NDC");
  if (GetStr(conf, key, text, 2047)) {
    if (layout == nullptr) layout = new (std::nothrow) Layout();
    if (layout != nullptr) layout->setNdcPattern(text);
  }
  if (layout != nullptr) dev->layout = layout;
  return true;
}

// Deletes the devices' own layouts (not yet owned by the registry).
void DropLayouts(std::vector<com_device_t>* devs) {
  for (auto& d : *devs) {
    if (d.layout != comlog_get_def_layout()) delete d.layout;
    d.layout = comlog_get_def_layout();
  }
}

// Hands the devices' own layouts to the registry before the open, so that a
// failed open (which destroys the registry) frees them too. A device name
// registered twice keeps its first layout. Called holding the opening
// mutex, with the framework found off; when the process log was opened
// since, the layouts are dropped (the opening is refused).
void RegisterLayouts(std::vector<com_device_t>* devs) {
  NameMg* mg = com_get_log_switcher() == LOG_SWITCHER_NONE && init_log() == 0 ? comlog_get_nameMg() : nullptr;
  for (auto& d : *devs) {
    if (d.layout == comlog_get_def_layout()) continue;
    const int rc = mg != nullptr ? mg->set(d.name, d.layout) : -1;
    if (rc == 0) continue;
    Layout* kept = rc == 1 ? static_cast<Layout*>(mg->get(NameMg::TYPE_LAYOUT, d.name)) : nullptr;
    delete d.layout;
    d.layout = kept != nullptr ? kept : comlog_get_def_layout();
  }
}

}  // namespace

void (*comlog_load_pause)() = nullptr;

int set_comdevice_selflog(com_device_t* dev, const char* names) {
  if (dev == nullptr) return 0;
  std::unique_ptr<char[][1024]> list(new (std::nothrow) char[32][1024]);
  if (!list) return 0;
  const int n = xparserSelfLog(names, list.get(), 32);
  for (int i = 0; i < n; ++i) {
    const int id = createSelfLog(list[i]);
    if (id > 0) dev->log_mask |= uint64_t{1} << id;
  }
  return 0;
}

int reg_logstat(LogStat* ls, com_reload_fn_t fn, const char* path, const char* file) {
  std::lock_guard<std::mutex> lock(g_reg_mutex);
  if (g_reg.size() >= kMaxReg) return -1;
  reg_node node;
  node.logstat = ls;
  node.fn = fn;
  xstrcpy(node.path, sizeof(node.path), path);
  xstrcpy(node.file, sizeof(node.file), file);
  g_reg.push_back(node);
  return 0;
}

void comlog_clear_reglogstat() {
  std::lock_guard<std::mutex> lock(g_reg_mutex);
  g_reg.clear();
}

// Runs every entry's reload function and applies the levels it read. The
// entries are copied out first: a reload reads a file and reports through
// the log, which may wait (at the write gate, for an opening), and nothing
// may wait while it holds the registry's mutex (a close takes it).
static int reg_deal() {
  std::vector<reg_node> nodes;
  try {
    std::lock_guard<std::mutex> lock(g_reg_mutex);
    nodes = g_reg;
  } catch (const std::bad_alloc&) {
    return -1;
  }
  for (const reg_node& node : nodes) {
    com_logstat_t ls;
    if (node.fn == nullptr || node.fn(&ls, node.path, node.file) == -1) continue;
    comlog_set_log_level(ls.sysevents);
    if (node.logstat != nullptr) {
      node.logstat->setLevel(static_cast<uint32_t>(comlog_get_lower_syslevel(ls.sysevents)), ls.userevents);
    }
  }
  return 0;
}

int _def_loadconf_(com_logstat_t* ls, const char* path, const char* file) {
  if (ls == nullptr || path == nullptr || file == nullptr) {
    COMLOG_DIAG("invalid param");
    return -1;
  }
  ConfPtr conf = ReadConf(path, file);
  if (!conf) return -1;
  com_logstat_t read;
  read.sysevents = 16;
  GetInt(conf.get(), "COMLOG_LEVEL", &read.sysevents);
  if (!GetStr(conf.get(), "COMLOG_SELFDEFINE", read.userevents, 1023)) read.userevents[0] = '\0';

  int count = 0;
  GetInt(conf.get(), "COMLOG_DEVICE_NUM", &count);
  int rc = count < 1 ? -1 : 0;
  for (int i = 0; rc == 0 && i < count; ++i) {
    char device[255];
    char type[2047];
    com_device_t dev;
    if (!ReadDeviceHead(conf.get(), i, device, sizeof(device), type, sizeof(type), dev.host, 1023, dev.file,
                        255)) {
      rc = -1;
      break;
    }
    xstrcpy(dev.type, sizeof(dev.type), type);
    char key[2048];
    int open = 1;
    DeviceKey(key, sizeof(key), device, "OPEN");
    GetInt(conf.get(), key, &open);
    if (Appender* app = AppenderFactory::tryAppender(dev)) app->_open.store(open, std::memory_order_relaxed);
  }
  *ls = read;
  return rc;
}

}  // namespace comspace

using namespace comspace;

int com_loadlog(const char* path, const char* file) { return com_loadlog_ex(path, file, 0); }

int com_loadlog_ex(const char* path, const char* file, int pid) {
  ConfPtr conf = ReadConf(path, file);
  if (!conf) return -1;
  const Ul_confdata* c = conf.get();

  // Inside the gate and holding the opening mutex from here to the end of
  // the opening (which takes both again): a load refused because the
  // framework is open sets nothing, the settings are applied by the
  // opening once it can no longer fail, and the layouts registered below
  // are reached by no other opening (a failed one frees what the registry
  // holds while the framework is off).
  GateScope gate;
  std::lock_guard<std::recursive_mutex> open_lock(comlog_open_mutex());
  if (com_get_log_switcher() != LOG_SWITCHER_NONE) {
    COMLOG_DIAG("Log is open....");
    return -1;
  }

  char procname[256];
  if (!GetStr(c, "COMLOG_PROCNAME", procname, sizeof(procname))) xstrcpy(procname, sizeof(procname), "NoModuleName");
  com_logstat_t ls;
  GetInt(c, "COMLOG_LEVEL", &ls.sysevents);
  if (!GetStr(c, "COMLOG_SELFDEFINE", ls.userevents, sizeof(ls.userevents))) ls.userevents[0] = '\0';
  OpenSettings settings;
  char time_format[128];
  if (GetStr(c, "COMLOG_TIME_FORMAT", time_format, sizeof(time_format))) settings.time_format = time_format;
  int v = 0;
  if (GetInt(c, "COMLOG_LOGLENGTH", &v)) {
    settings.has_log_length = true;
    settings.log_length = v;
  }
  if (GetInt(c, "COMLOG_LOCALTIME", &v)) ls.localtime_nolock = v;
  int count = 0;
  GetInt(c, "COMLOG_DEVICE_NUM", &count);

  if (count < 1) {
    com_device_t dev;
    return comlog_openlog(procname, &dev, count, &ls, &settings);
  }
  // Devices are read one by one: each needs its own COMLOG_DEVICE<i> item,
  // so a count beyond the file's items fails before it costs memory.
  std::vector<com_device_t> devs;
  try {
    for (int i = 0; i < count; ++i) {
      devs.emplace_back();
      if (!ReadDevice(c, i, pid, &devs.back())) {
        DropLayouts(&devs);
        return -1;
      }
    }
  } catch (const std::bad_alloc&) {
    DropLayouts(&devs);
    return -1;
  }
  conf.reset();
  RegisterLayouts(&devs);
  if (comlog_load_pause != nullptr) comlog_load_pause();
  return comlog_openlog(procname, devs.data(), count, &ls, &settings);
}

// Both run inside the write gate: a close or reset deletes the filters they
// reach, and empties the reload registry, only once they are done.
int com_reglogstat(const char* path, const char* file) {
  GateScope gate;
  Category* c = com_getcategory();
  if (c == nullptr) return -1;
  LogStat* ls = c->logstat() != nullptr ? c->logstat() : comlog_get_def_logstat();
  return reg_logstat(ls, _def_loadconf_, path, file);
}

int com_changelogstat() {
  GateScope gate;
  return reg_deal();
}
