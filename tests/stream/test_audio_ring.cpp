// The audio rings: what they refuse, that a used entry is never written
// over, and that one producer and one consumer on two threads see every
// packet once and in order.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "stream/audio_ring.h"

namespace lumivex {
namespace {

// size bytes that tell packet n from its neighbours.
std::string Packet(int n, std::size_t size) {
  std::string p(size, static_cast<char>(n & 0x7F));
  for (std::size_t i = 0; i < std::min<std::size_t>(size, 4); ++i) p[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
  return p;
}

TEST(AudioRing, AFullEntryIsNeverOverwritten) {
  SpeexRing ring;
  for (int i = 0; i < kAudioRingEntries; ++i) ASSERT_EQ(ring.Store(Packet(i, 200), i), AudioPacketRing::Stored::kStored);
  EXPECT_EQ(ring.Store(Packet(99, 200), 99), AudioPacketRing::Stored::kFull);
  EXPECT_EQ(ring.droppedFull(), 1u);

  std::string_view payload;
  int32_t timestamp = -1;
  ASSERT_TRUE(ring.Front(payload, timestamp));
  EXPECT_TRUE(payload == Packet(0, 200));
  EXPECT_EQ(timestamp, 0);
  ring.Pop();
  ASSERT_EQ(ring.Store(Packet(32, 200), 32), AudioPacketRing::Stored::kStored);  // the freed entry
  for (int i = 1; i <= 32; ++i) {
    ASSERT_TRUE(ring.Front(payload, timestamp));
    EXPECT_TRUE(payload == Packet(i, 200)) << i;
    EXPECT_EQ(timestamp, i);
    ring.Pop();
  }
  EXPECT_FALSE(ring.Front(payload, timestamp));
  EXPECT_EQ(ring.stored(), 33u);
}

TEST(AudioRing, PacketsOfTheWrongSizeAreDropped) {
  SpeexRing speex;
  for (std::size_t size : {0u, 20u, 199u, 201u, 1024u})
    EXPECT_EQ(speex.Store(std::string(size, 'x'), 0), AudioPacketRing::Stored::kWrongSize) << size;
  EXPECT_EQ(speex.droppedSize(), 5u);
  EXPECT_EQ(speex.stored(), 0u);

  AacRing aac;
  EXPECT_EQ(aac.Store("", 0), AudioPacketRing::Stored::kWrongSize);
  EXPECT_EQ(aac.Store(std::string(1025, 'x'), 0), AudioPacketRing::Stored::kWrongSize);
  EXPECT_EQ(aac.Store(std::string(1, 'a'), 0), AudioPacketRing::Stored::kStored);
  EXPECT_EQ(aac.Store(std::string(1024, 'b'), 0), AudioPacketRing::Stored::kStored);
  std::string_view payload;
  int32_t timestamp;
  ASSERT_TRUE(aac.Front(payload, timestamp));
  EXPECT_EQ(payload, "a");
  aac.Pop();
  ASSERT_TRUE(aac.Front(payload, timestamp));
  EXPECT_TRUE(payload == std::string(1024, 'b'));
}

TEST(AudioRing, ResetEmptiesEveryEntry) {
  AacRing ring;
  for (int i = 0; i < 5; ++i) ring.Store(Packet(i, 300), i);
  ring.Reset();
  std::string_view payload;
  int32_t timestamp;
  EXPECT_FALSE(ring.Front(payload, timestamp));
  ASSERT_EQ(ring.Store(Packet(7, 10), 7), AudioPacketRing::Stored::kStored);
  ASSERT_TRUE(ring.Front(payload, timestamp));
  EXPECT_TRUE(payload == Packet(7, 10));
}

TEST(AudioRing, TwoThreadsMoveEveryPacketInOrder) {
  constexpr int kPackets = 20000;
  AacRing ring;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::thread producer([&] {
    for (int i = 0; i < kPackets && std::chrono::steady_clock::now() < deadline;) {
      if (ring.Store(Packet(i, 1 + i % 1024), i) == AudioPacketRing::Stored::kStored)
        ++i;
      else
        std::this_thread::yield();
    }
  });
  int next = 0;
  bool inOrder = true;
  while (next < kPackets && std::chrono::steady_clock::now() < deadline) {
    std::string_view payload;
    int32_t timestamp;
    if (!ring.Front(payload, timestamp)) {
      std::this_thread::yield();
      continue;
    }
    inOrder = inOrder && timestamp == next && payload == Packet(next, 1 + next % 1024);
    ring.Pop();
    ++next;
  }
  producer.join();
  EXPECT_EQ(next, kPackets);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(ring.stored(), static_cast<uint64_t>(kPackets));
}

TEST(AudioRing, TalkRingKeepsThirtyTwoBlocksAndDropsTheRest) {
  TalkRing ring;
  ring.Reset(3200);
  EXPECT_EQ(ring.Front(), nullptr);
  for (int i = 0; i < kAudioRingEntries; ++i) ASSERT_TRUE(ring.Push(reinterpret_cast<const uint8_t*>(Packet(i, 3200).data()), 3200));
  EXPECT_EQ(ring.count(), 32);
  const std::string late = Packet(99, 3200);
  EXPECT_FALSE(ring.Push(reinterpret_cast<const uint8_t*>(late.data()), 3200));
  const std::string partial(3199, 'p');
  ring.Pop();
  EXPECT_FALSE(ring.Push(reinterpret_cast<const uint8_t*>(partial.data()), partial.size()));  // a partial block
  EXPECT_TRUE(ring.Push(reinterpret_cast<const uint8_t*>(late.data()), 3200));
  for (int i = 1; i < kAudioRingEntries; ++i) {
    ASSERT_NE(ring.Front(), nullptr);
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(ring.Front()), 3200) == Packet(i, 3200)) << i;
    ring.Pop();
  }
  EXPECT_TRUE(std::string(reinterpret_cast<const char*>(ring.Front()), 3200) == late);
  ring.Pop();
  EXPECT_EQ(ring.count(), 0);
  ring.Pop();  // nothing to give back: no harm
  EXPECT_EQ(ring.count(), 0);
}

TEST(AudioRing, TalkRingTwoThreadsInOrder) {
  constexpr int kBlocks = 5000;
  TalkRing ring;
  ring.Reset(2048);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::thread producer([&] {
    for (int i = 0; i < kBlocks && std::chrono::steady_clock::now() < deadline;) {
      const std::string block = Packet(i, 2048);
      if (ring.Push(reinterpret_cast<const uint8_t*>(block.data()), block.size()))
        ++i;
      else
        std::this_thread::yield();
    }
  });
  int next = 0;
  bool inOrder = true;
  while (next < kBlocks && std::chrono::steady_clock::now() < deadline) {
    const uint8_t* block = ring.Front();
    if (!block) {
      std::this_thread::yield();
      continue;
    }
    inOrder = inOrder && std::string(reinterpret_cast<const char*>(block), 2048) == Packet(next, 2048);
    ring.Pop();
    ++next;
  }
  producer.join();
  EXPECT_EQ(next, kBlocks);
  EXPECT_TRUE(inOrder);
}

}  // namespace
}  // namespace lumivex
