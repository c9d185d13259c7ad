// The framework's queues, thread loop and device records.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "comlog/com_device.h"
#include "comlog/layout.h"
#include "comlog/xqueue.h"
#include "comlog/xthread.h"
#include "ul_conf.h"

namespace {

using comspace::XQueue;
using comspace::XSigQu;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

TEST(XQueue, CapacityOrderAndWrap) {
  XQueue<std::string> q;
  EXPECT_EQ(q.push_front("x"), comspace::XQUEUE_FULL);  // never made
  EXPECT_EQ(q.create(1), -1);
  ASSERT_EQ(q.create(2), 0);
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(q.push_front("a"), 0);
  EXPECT_EQ(q.push_front("b"), 0);
  EXPECT_TRUE(q.full());
  EXPECT_EQ(q.push_front("c"), comspace::XQUEUE_FULL);
  std::string v;
  ASSERT_EQ(q.pop_back(&v), 0);
  EXPECT_EQ(v, "a");
  EXPECT_EQ(q.push_front("c"), 0);  // across the wrap
  std::string out[4];
  EXPECT_EQ(q.pop_backs(out, 0), 0);
  EXPECT_EQ(q.pop_backs(out, 4), 2);
  EXPECT_EQ(out[0], "b");
  EXPECT_EQ(out[1], "c");
  EXPECT_EQ(q.pop_back(&v), -1);

  XQueue<void*> ring;
  ASSERT_EQ(ring.create(3), 0);
  long next_in = 0;
  long next_out = 0;
  for (int round = 0; round < 10000; ++round) {
    while (!ring.full()) ring.push_front(reinterpret_cast<void*>(++next_in));
    void* got[2];
    ASSERT_EQ(ring.pop_backs(got, 2), 2);  // fewer than held: exactly n
    for (void* p : got) ASSERT_EQ(reinterpret_cast<long>(p), ++next_out);
  }
  EXPECT_EQ(ring.size(), 1);
  ring.clear();
  EXPECT_TRUE(ring.empty());
  ring.destroy();
  EXPECT_EQ(ring.push_front(nullptr), comspace::XQUEUE_FULL);
}

TEST(XSigQu, TimedPopsWakeAndStop) {
  XSigQu<void*> q;
  ASSERT_EQ(q.create(2), 0);
  EXPECT_EQ(q.create(2), -1);
  void* out[4];

  // Empty: 0 after the wait, at once without one.
  auto t0 = Clock::now();
  EXPECT_EQ(q.pop_backs(out, 4, 0), 0);
  EXPECT_EQ(q.pop_backs(out, 0, 1), 0);  // nothing asked: no wait
  EXPECT_LT(SecondsSince(t0), 0.5);
  t0 = Clock::now();
  EXPECT_EQ(q.pop_backs(out, 4, 1), 0);
  EXPECT_GE(SecondsSince(t0), 0.9);
  timespec past = {0, 0};
  EXPECT_EQ(q.pop_backs(out, 4, past), 0);

  // A push wakes the waiter early with its item.
  std::thread producer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    q.push_front(&q);
  });
  t0 = Clock::now();
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += 5;
  EXPECT_EQ(q.pop_backs(out, 4, deadline), 1);
  EXPECT_LT(SecondsSince(t0), 4.0);
  EXPECT_EQ(out[0], &q);
  producer.join();

  EXPECT_EQ(q.push_front(nullptr), 0);
  EXPECT_EQ(q.push_front(nullptr), 0);
  EXPECT_EQ(q.push_front(nullptr), comspace::XQUEUE_FULL);
  EXPECT_EQ(q.size(), 2);

  // Stopping wakes a waiter on an empty queue; afterwards both sides get -2
  // and what was left is drained.
  XSigQu<void*> idle;
  ASSERT_EQ(idle.create(4), 0);
  std::atomic<int> waiter_rc{1};
  std::thread consumer([&] { waiter_rc = idle.pop_backs(out, 4, 30); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  t0 = Clock::now();
  idle.stop_working();
  consumer.join();
  EXPECT_LT(SecondsSince(t0), 1.0);
  EXPECT_EQ(waiter_rc, comspace::XQUEUE_NOT_WORKING);

  q.stop_working();
  EXPECT_EQ(q.push_front(nullptr), comspace::XQUEUE_NOT_WORKING);
  EXPECT_EQ(q.pop_backs(out, 4, 1), comspace::XQUEUE_NOT_WORKING);
  EXPECT_EQ(q.drain(out, 4), 2);
  q.destroy();
  EXPECT_EQ(q.create(3), 0);  // made again after destroy
}

std::atomic<int> g_rounds{0};
int CountToFive(void* param) {
  ++*static_cast<std::atomic<int>*>(param);
  return ++g_rounds == 5 ? comspace::XTHREAD_STOP : comspace::XTHREAD_RUN;
}
int Forever(void*) {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return comspace::XTHREAD_RUN;
}

TEST(XThread, LoopsUntilStopAndDestructorEndsTheLoop) {
  std::atomic<int> calls{0};
  comspace::XThread t;
  ASSERT_EQ(t.start(CountToFive, &calls), 0);
  EXPECT_EQ(t.join(), 0);
  EXPECT_EQ(calls, 5);

  auto endless = std::make_unique<comspace::XThread>();
  ASSERT_EQ(endless->start(Forever, nullptr), 0);
  endless.reset();  // returns: the loop ends after its current round
}

TEST(ComDevice, DefaultsAndCopiesOwnTheirItems) {
  comspace::com_device_t dev;
  EXPECT_EQ(dev.log_size, 2048);
  EXPECT_EQ(dev.open, 1);
  EXPECT_EQ(dev.cuttime, 60);
  EXPECT_EQ(dev.log_mask, 0u);
  EXPECT_EQ(dev.splite_type, comspace::COMLOG_TRUNCT);
  EXPECT_EQ(dev.layout, comspace::comlog_get_def_layout());
  EXPECT_EQ(dev.reservedext.size(), static_cast<size_t>(COM_RESERVEDNUM));
  EXPECT_EQ(comspace::set_comdevice_default(nullptr), -1);

  auto src = std::make_unique<comspace::com_device_t>();
  for (int i = 0; i < 3; ++i) {
    snprintf(src->reservedext[i].name, sizeof(src->reservedext[i].name), "D_ITEM%d", i);
    snprintf(src->reservedext[i].value, sizeof(src->reservedext[i].value), "%d", 10 + i);
  }
  src->reserved_num = 3;
  src->set_reservedconf();
  comspace::com_device_t copy(*src);
  comspace::com_device_t assigned;
  assigned = *src;
  src.reset();  // the copies must not look into the freed record
  for (auto* d : {&copy, &assigned}) {
    int v = 0;
    EXPECT_EQ(ul_getconfint(&d->reservedconf, "D_ITEM2", &v), 1);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(d->reservedconf.num, 3);
  }
}

}  // namespace
