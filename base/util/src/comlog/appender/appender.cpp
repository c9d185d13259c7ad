#include "comlog/appender/appender.h"

#include "comlog/layout.h"

namespace comspace {

Appender::Appender() : _layout(comlog_get_def_layout()) {}

Appender::~Appender() = default;

int Appender::stop() { return 0; }
int Appender::reset() { return 0; }
int Appender::flush() { return 0; }
int Appender::init() { return 0; }
int Appender::syncid(void* /*arg*/) { return 0; }

int Appender::setLayout(Layout* layout) {
  _layout.store(layout != nullptr ? layout : comlog_get_def_layout(), std::memory_order_release);
  return 0;
}

int Appender::emptyMask() {
  _mask.store(0, std::memory_order_relaxed);
  return 0;
}

int Appender::resetMask() {
  _mask.store(COMLOG_SYSLEVEL_MASK, std::memory_order_relaxed);
  return 0;
}

int Appender::addMask(int id) {
  _mask.fetch_or(uint64_t{1} << (id & 63), std::memory_order_relaxed);
  return 0;
}

int Appender::delMask(int id) {
  _mask.fetch_and(~(uint64_t{1} << (id & 63)), std::memory_order_relaxed);
  return 0;
}

int Appender::setDeviceInfo(const com_device_t& dev) {
  _device = dev;
  _mask.store(dev.log_mask, std::memory_order_relaxed);
  return 0;
}

}  // namespace comspace
