#include "pool/CompletionPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "Waiting.h"

namespace quill::pool {
namespace {

using testing_support::EventuallyTrue;

TEST(CompletionPortTest, HandsEachPacketToOneWaiterInPostingOrder) {
  constexpr int kPackets = 20000;
  constexpr int kWaiters = 4;
  CompletionPort port;
  std::vector<std::vector<std::uint32_t>> received(kWaiters);
  std::atomic<int> taken{0};
  std::atomic<int> finished{0};
  std::vector<std::thread> waiters;
  for (int w = 0; w < kWaiters; ++w) {
    waiters.emplace_back([&, w] {
      Packet packet;
      while (port.Get(packet)) {
        EXPECT_EQ(packet.key, packet.bytesTransferred * 3u);
        EXPECT_EQ(packet.overlapped, packet.bytesTransferred + 7u);
        received[w].push_back(packet.bytesTransferred);
        ++taken;
      }
      ++finished;
    });
  }
  for (std::uint32_t i = 0; i < kPackets; ++i) ASSERT_TRUE(port.Post({i, i * 3u, i + 7u}));
  ASSERT_TRUE(EventuallyTrue([&] { return taken.load() == kPackets; }));
  EXPECT_EQ(finished.load(), 0);
  port.Close();  // wakes every waiter blocked on the empty port
  ASSERT_TRUE(EventuallyTrue([&] { return finished.load() == kWaiters; }));
  for (auto& waiter : waiters) waiter.join();

  std::vector<int> seen(kPackets, 0);
  for (const auto& one : received) {
    // A single waiter sees its share in posting order.
    for (std::size_t k = 1; k < one.size(); ++k) EXPECT_LT(one[k - 1], one[k]);
    for (std::uint32_t value : one) ++seen[value];
  }
  for (int i = 0; i < kPackets; ++i) EXPECT_EQ(seen[i], 1) << i;
}

TEST(CompletionPortTest, ClosedPortRefusesPostsAndDropsWhatWasQueued) {
  CompletionPort port;
  ASSERT_TRUE(port.Post({1, 2, 3}));
  port.Close();
  Packet packet;
  EXPECT_FALSE(port.Get(packet));
  EXPECT_FALSE(port.Post({4, 5, 6}));
  EXPECT_FALSE(port.Get(packet));
}

}  // namespace
}  // namespace quill::pool
