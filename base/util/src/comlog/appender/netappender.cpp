#include "comlog/appender/netappender.h"

#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

#include "comlog/appender/fileappender.h"
#include "comlog/diag.h"
#include "comlog/event.h"
#include "comlog/layout.h"
#include "comlog/namemg.h"
#include "comlog/sendsvr/netappendersvr.h"
#include "comlog/xutils.h"

namespace comspace {

namespace {

constexpr int kTalkTimeoutMs = 1000;  // open request and answer

// "NET:%s/%s" of PATH and NAME.
std::string RegistryName(const com_device_t& dev) {
  return std::string("NET:") + dev.host + "/" + dev.file;
}

}  // namespace

int deviceNetToFile(const com_device_t& net, com_device_t& file) {
  file = net;
  xstrcpy(file.type, sizeof(file.type), "FILE");
  server_t first;
  if (xparserSvrConf(net.host, &first, 1) == 0) {
    COMLOG_DIAG("can't parser host[%s]", net.host);
    return -1;
  }
  xstrcpy(file.host, sizeof(file.host), first.path[0] != '\0' ? first.path : "./");
  return 0;
}

NetAppender::~NetAppender() { close(nullptr); }

int NetAppender::open(void* server) {
  if (server == nullptr) {
    SendSvr* s = NetAppenderSvr::getServer(_device.host);
    if (s == nullptr || s->registAppender(this) != 0) {
      COMLOG_DIAG("sorry get server err[%s] or regist appender err", _device.host);
      return -1;
    }
    _sendsvr.store(s, std::memory_order_release);
    return 0;
  }
  const auto* svr = static_cast<const server_t*>(server);
  memset(&_req, 0, sizeof(_req));
  _req.head.log_id = LOGHEAD_OPEN_LOGID;
  _req.head.reserved = LOGHEAD_OPEN_RESERVED;
  _req.head.body_len = sizeof(logsvr_req_t);
  // Every text field is cut to its 31 characters and a NUL.
  xstrcpy(_req.req.path, sizeof(_req.req.path), svr->path);
  xstrcpy(_req.req.filename, sizeof(_req.req.filename), _device.file);
  xstrcpy(_req.req.auth, sizeof(_req.req.auth), _device.auth);
  _req.req.handle = 0;
  _req.req.compress = _device.compress != 0 ? 1 : 0;
  if (loghead_write(svr->sock, &_req.head, kTalkTimeoutMs, LOGHEAD_CHECK_MAGICNUM) != 0) {
    COMLOG_DIAG("open:write netappend fd[%d] err[%m]", svr->sock);
    return -1;
  }
  memset(&_res, 0, sizeof(_res));
  if (loghead_read(svr->sock, &_res.head, sizeof(_res), kTalkTimeoutMs, LOGHEAD_CHECK_MAGICNUM) != 0) {
    COMLOG_DIAG("open:read netappend fd[%d] err[%m]", svr->sock);
    return -1;
  }
  // An answer too short to hold the error code and the handle opens nothing.
  if (_res.head.body_len < offsetof(logsvr_res_t, count)) {
    COMLOG_DIAG("open:read netappend fd[%d] err[%m]", svr->sock);
    return -1;
  }
  if (_res.res.error_code != 0) {
    COMLOG_DIAG("open log err[%s %s] errno[%d]", _device.auth, _device.file, _res.res.error_code);
    return -1;
  }
  __atomic_store_n(&_id, static_cast<int>(_res.res.handle), __ATOMIC_RELEASE);
  return 0;
}

int NetAppender::close(void* /*arg*/) {
  __atomic_store_n(&_id, -1, __ATOMIC_RELEASE);
  return 0;
}

int NetAppender::stop() {
  if (SendSvr* s = _sendsvr.load(std::memory_order_acquire)) s->stop();
  return 0;
}

int NetAppender::reset() {
  if (SendSvr* s = _sendsvr.load(std::memory_order_acquire)) s->stop_connecting();
  return 0;
}

int NetAppender::print(Event* evt) {
  if (unInMask(static_cast<int>(evt->_log_level))) return 0;
  SendSvr* s = _sendsvr.load(std::memory_order_acquire);
  if (s == nullptr) {
    s = NetAppenderSvr::getServer(_device.host);
    if (s == nullptr) return -1;
    _sendsvr.store(s, std::memory_order_release);
  }
  _layout.load(std::memory_order_acquire)->format(evt);
  evt->_nowapp = this;
  const int rc = s->push(evt);
  if (rc == 0) return 0;
  if (_bkappender != nullptr) return _bkappender->print(evt);
  return rc;
}

int NetAppender::binprint(void* /*buf*/, int /*len*/) {
  COMLOG_DIAG("NetAppender::binprint() is not implemented.");
  return 0;
}

int NetAppender::syncid(void* /*arg*/) { return 0; }

Appender* NetAppender::getAppender(com_device_t& dev) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  const std::string name = RegistryName(dev);
  if (auto* found = static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name.c_str()))) return found;
  NetAppender* app = new (std::nothrow) NetAppender();
  if (app == nullptr) return nullptr;
  app->setDeviceInfo(dev);
  if (app->open(nullptr) != 0) {
    COMLOG_DIAG("sorry failt to open %s", name.c_str());
    delete app;
    return nullptr;
  }
  com_device_t file;
  if (deviceNetToFile(app->_device, file) == 0) {
    if (Appender* bk = FileAppender::getAppender(file)) {
      bk->setLayout(dev.layout);
      bk->_open.store(dev.open, std::memory_order_relaxed);
      app->_bkappender = bk;
    }
  }
  if (mg->set(name.c_str(), static_cast<Appender*>(app)) != 0) {
    // The sender must not keep a pointer to an appender that is dropped.
    app->_sendsvr.load()->unregistAppender(app);
    delete app;
    return nullptr;
  }
  return app;
}

Appender* NetAppender::tryAppender(com_device_t& dev) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  return static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, RegistryName(dev).c_str()));
}

}  // namespace comspace
