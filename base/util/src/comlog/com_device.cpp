#include "comlog/com_device.h"

#include <string.h>

#include <algorithm>

#include "comlog/layout.h"

namespace comspace {

com_device_t::com_device_t() { set_comdevice_default(this); }

com_device_t::com_device_t(const com_device_t& other) { *this = other; }

com_device_t& com_device_t::operator=(const com_device_t& other) {
  if (this == &other) return *this;
  memcpy(host, other.host, sizeof(host));
  memcpy(file, other.file, sizeof(file));
  memcpy(auth, other.auth, sizeof(auth));
  memcpy(type, other.type, sizeof(type));
  memcpy(reserved1, other.reserved1, sizeof(reserved1));
  memcpy(reserved2, other.reserved2, sizeof(reserved2));
  memcpy(reserved3, other.reserved3, sizeof(reserved3));
  memcpy(reserved4, other.reserved4, sizeof(reserved4));
  log_size = other.log_size;
  open = other.open;
  splite_type = other.splite_type;
  compress = other.compress;
  cuttime = other.cuttime;
  cronocut = other.cronocut;
  log_mask = other.log_mask;
  memcpy(name, other.name, sizeof(name));
  reserved_num = std::min<unsigned int>(other.reserved_num, COM_RESERVEDNUM);
  reservedext = other.reservedext;
  reservedext.resize(COM_RESERVEDNUM);
  layout = other.layout;
  set_reservedconf();
  return *this;
}

void com_device_t::set_reservedconf() {
  if (reserved_num > reservedext.size()) reserved_num = static_cast<unsigned int>(reservedext.size());
  reservedconf.item = reservedext.data();
  reservedconf.num = static_cast<int>(reserved_num);
  reservedconf.size = static_cast<int>(reserved_num);
}

int set_comdevice_default(com_device_t* dev) {
  if (dev == nullptr) return -1;
  dev->host[0] = dev->file[0] = dev->auth[0] = dev->type[0] = '\0';
  dev->reserved1[0] = dev->reserved2[0] = dev->reserved3[0] = dev->reserved4[0] = '\0';
  dev->log_size = 2048;
  dev->open = 1;
  dev->splite_type = COMLOG_TRUNCT;
  dev->compress = 0;
  dev->cuttime = 60;
  dev->cronocut = 0;
  dev->log_mask = 0;
  dev->name[0] = '\0';
  dev->reserved_num = 0;
  dev->reservedext.assign(COM_RESERVEDNUM, Ul_confitem());
  dev->set_reservedconf();
  dev->layout = comlog_get_def_layout();
  return 0;
}

}  // namespace comspace
