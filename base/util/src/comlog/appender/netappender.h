// NetAppender (NET): a remote log file on one of several log servers. It
// renders each line and queues it on the sender of its server list (shared
// by every appender of that list); lines the sender cannot take or send go
// to a local FILE back-up appender: NAME under the first server's path.
#ifndef COMLOG_APPENDER_NETAPPENDER_H_
#define COMLOG_APPENDER_NETAPPENDER_H_

#include <atomic>

#include "comlog/appender/appender.h"
#include "comlog/sendsvr/loghead.h"

namespace comspace {

class SendSvr;

// The back-up device of a NET device: a copy with type "FILE" whose PATH is
// the first server's path, or "./" when it has none. 0, or -1 when the
// server list does not parse.
int deviceNetToFile(const com_device_t& net, com_device_t& file);

class NetAppender : public Appender {
 public:
  // Open request and its answer, each header and body in one piece.
  struct req_t {
    loghead_t head;
    logsvr_req_t req;
  };
  struct res_t {
    loghead_t head;
    logsvr_res_t res;
  };

  NetAppender() = default;
  ~NetAppender() override;

  // NULL: joins the sender of the device's server list. A server_t*: opens
  // the remote file on that server's connection (on the sender's thread)
  // and keeps its handle in _id. 0, or -1.
  int open(void* server) override;
  // Forgets the remote handle. 0.
  int close(void* arg) override;
  // Stops the sender (its thread ends). 0.
  int stop() override;
  // A reset has begun, and the senders are deleted next, one after
  // another: the sender begins no further connection attempt or open, so
  // that each deletion waits for the one under way at most. 0.
  int reset() override;
  // Queues the rendered line on the sender; when it cannot, the back-up
  // appender writes it. 0, or the failure.
  int print(Event* evt) override;
  // Not available for remote files: reported, 0.
  int binprint(void* buf, int len) override;
  int syncid(void* arg) override;

  static Appender* getAppender(com_device_t& dev);
  static Appender* tryAppender(com_device_t& dev);

  req_t _req;
  res_t _res;
  std::atomic<SendSvr*> _sendsvr{nullptr};
};

static_assert(sizeof(NetAppender::req_t) == 148, "open request is header and body back to back");
static_assert(sizeof(NetAppender::res_t) == 48, "open answer is header and body back to back");

}  // namespace comspace

#endif  // COMLOG_APPENDER_NETAPPENDER_H_
