// One background thread with a prompt, clean stop: the thread body gets a
// StopToken, sleeps on it (waking at once when a stop is asked) and returns
// when a stop is asked. Stop() asks and joins; the destructor stops too, so a
// worker never outlives its owner.
#ifndef UL_TOOLKIT_WORKER_H_
#define UL_TOOLKIT_WORKER_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace toolkit {

// What a worker's body is given to learn of a stop; only a WorkerThread makes
// one (its State is private).
class StopToken {
 public:
  bool stop_requested() const;
  // Sleeps for the given time or until a stop is asked; true when a stop was
  // asked.
  bool WaitFor(std::chrono::milliseconds wait) const;

 private:
  friend class WorkerThread;
  struct State {
    std::mutex mu;
    std::condition_variable cv;
    bool stop = false;
  };
  explicit StopToken(std::shared_ptr<State> s) : s_(std::move(s)) {}
  std::shared_ptr<State> s_;
};

class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread() { Stop(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs body on a new thread. False (errno set) when the thread cannot be
  // created (memory running out included: nothing is thrown) or this worker
  // already runs one.
  bool Start(std::function<void(const StopToken&)> body);

  // Runs fn once per period until stopped; the first call comes after one
  // period. A stop never waits for the rest of a period.
  bool StartPeriodic(std::chrono::milliseconds period, std::function<void()> fn);

  // Asks the body to stop and wakes its WaitFor; does not wait.
  void RequestStop();
  // Waits for the thread to end (nothing when none runs). Must not be called
  // from the worker's own thread.
  void Join();
  void Stop() {
    RequestStop();
    Join();
  }
  bool running() const { return thread_.joinable(); }

 private:
  std::shared_ptr<StopToken::State> state_;
  std::thread thread_;
};

}  // namespace toolkit

#endif  // UL_TOOLKIT_WORKER_H_
