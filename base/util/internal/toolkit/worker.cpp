#include "toolkit/worker.h"

#include <errno.h>

#include <new>
#include <system_error>

namespace toolkit {

bool StopToken::stop_requested() const {
  std::lock_guard<std::mutex> lock(s_->mu);
  return s_->stop;
}

bool StopToken::WaitFor(std::chrono::milliseconds wait) const {
  std::unique_lock<std::mutex> lock(s_->mu);
  return s_->cv.wait_for(lock, wait, [this] { return s_->stop; });
}

bool WorkerThread::Start(std::function<void(const StopToken&)> body) {
  if (thread_.joinable()) {
    errno = EBUSY;
    return false;
  }
  try {
    state_ = std::make_shared<StopToken::State>();
    StopToken token(state_);
    thread_ = std::thread([token, body = std::move(body)] { body(token); });
  } catch (const std::system_error& e) {
    errno = e.code().value();
    return false;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return false;
  }
  return true;
}

bool WorkerThread::StartPeriodic(std::chrono::milliseconds period, std::function<void()> fn) {
  return Start([period, fn = std::move(fn)](const StopToken& stop) {
    while (!stop.WaitFor(period)) fn();
  });
}

void WorkerThread::RequestStop() {
  if (!state_) return;
  {
    std::lock_guard<std::mutex> lock(state_->mu);
    state_->stop = true;
  }
  state_->cv.notify_all();
}

void WorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace toolkit
