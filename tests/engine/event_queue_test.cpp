// The queue between the runs' threads and a front end's thread: order kept,
// a wait that ends at its deadline, a sleeping taker woken by a push.
#include "engine/event_queue.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zorvik::engine {
namespace {

using namespace std::chrono_literals;
using Clock = EventQueue<int>::Clock;

// Two runs posting at once: each run's items come out in its own order.
TEST(EventQueue, KeepsEachPostersOrder) {
  EventQueue<std::pair<int, int>> queue;
  constexpr int kEach = 2000;
  auto poster = [&queue](int run) {
    for (int i = 0; i < kEach; ++i) queue.push({run, i});
  };
  std::thread first(poster, 0);
  std::thread second(poster, 1);
  std::vector<int> next(2, 0);
  for (int taken = 0; taken < 2 * kEach; ++taken) {
    const auto item = queue.takeWithin(10s);
    ASSERT_TRUE(item.has_value()) << "after " << taken << " items";
    ASSERT_EQ(item->second, next[static_cast<std::size_t>(item->first)]) << "run " << item->first;
    ++next[static_cast<std::size_t>(item->first)];
  }
  first.join();
  second.join();
  EXPECT_FALSE(queue.take(Clock::now()).has_value()) << "nothing more than was pushed";
}

TEST(EventQueue, AnEmptyQueueGivesNothingOnceTheDeadlineHasPassed) {
  EventQueue<std::string> queue;
  const auto start = Clock::now();
  EXPECT_FALSE(queue.takeWithin(30ms).has_value());
  EXPECT_GE(Clock::now() - start, 30ms) << "returned before its deadline";
  EXPECT_FALSE(queue.take(start).has_value()) << "a deadline already over";
}

// A pause that ended while events were waiting: the events still come first.
TEST(EventQueue, AnItemThereAlreadyComesOutAfterTheDeadline) {
  EventQueue<std::string> queue;
  queue.push("event");
  EXPECT_EQ(queue.take(Clock::now() - 1s), "event");
}

// The taker sleeps (its deadline far off) until another thread pushes; it
// must wake then, not at its deadline.
TEST(EventQueue, APushWakesTheSleepingTaker) {
  EventQueue<std::string> queue;
  std::promise<void> waiting;
  auto taken = std::async(std::launch::async, [&] {
    waiting.set_value();
    return queue.take(Clock::now() + 60s);
  });
  waiting.get_future().wait();
  std::this_thread::sleep_for(20ms);  // most likely asleep in take() by now; either way it must get the item
  queue.push("wake");
  ASSERT_EQ(taken.wait_for(30s), std::future_status::ready) << "the push did not wake the taker";
  EXPECT_EQ(taken.get(), "wake");
}

// Items that own resources move through; nothing is copied.
TEST(EventQueue, MovesItemsThrough) {
  EventQueue<std::unique_ptr<int>> queue;
  queue.push(std::make_unique<int>(7));
  const auto item = queue.take();
  ASSERT_TRUE(item.has_value());
  EXPECT_EQ(**item, 7);
}

}  // namespace
}  // namespace zorvik::engine
