// The fault knobs the campaign drives: how they are read, and the gzip bomb
// inflating to what it claims. Their effect on a live session is checked end
// to end by tests/campaign.

#include <gtest/gtest.h>
#include <zlib.h>

#include "sim/scenario.h"
#include "sim/server.h"

namespace lumivex::sim {
namespace {

TEST(FaultKnobs, AreReadAndBounded) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(R"({"relay": {"resetAfterSeconds": 3},
    "faults": {"current": {"gzipBomb": true}},
    "devices": [{"sid": "a", "camera": {"garbageAfterSeconds": 1, "absurdLengthAfterSeconds": 2,
                                        "stallAfterSeconds": 3, "replyDelayMs": 2500}}]})",
                            s, error))
      << error;
  EXPECT_EQ(s.relayResetAfterSeconds, 3);
  EXPECT_TRUE(s.faults["current"].gzipBomb);
  const CameraConfig& c = s.devices[0].camera;
  EXPECT_EQ(c.garbageAfterSeconds, 1);
  EXPECT_EQ(c.absurdLengthAfterSeconds, 2);
  EXPECT_EQ(c.stallAfterSeconds, 3);
  EXPECT_EQ(c.replyDelayMs, 2500);
  for (const char* bad : {R"({"relay": {"resetAfterSeconds": -1}})", R"({"relay": {"reset": 1}})",
                          R"({"devices": [{"sid": "a", "camera": {"stallAfterSeconds": 0}}]})",
                          R"({"devices": [{"sid": "a", "camera": {"replyDelayMs": 60001}}]})"}) {
    Scenario t;
    EXPECT_FALSE(ParseScenario(bad, t, error)) << bad;
  }
}

// Inflated a chunk at a time: exactly 1 GiB of zeros from about 1 MiB.
TEST(FaultKnobs, GzipBombInflatesToOneGibibyteOfZeros) {
  const std::string& bomb = GzipBomb();
  ASSERT_FALSE(bomb.empty());
  EXPECT_LT(bomb.size(), 2u << 20);
  z_stream z{};
  ASSERT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bomb.data()));
  z.avail_in = static_cast<uInt>(bomb.size());
  static unsigned char out[1 << 16];
  uint64_t total = 0;
  bool zeros = true;
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = out;
    z.avail_out = sizeof out;
    rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t n = sizeof out - z.avail_out;
    for (std::size_t i = 0; i < n && zeros; i += 4096) zeros = out[i] == 0;
    total += n;
  }
  inflateEnd(&z);
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(total, kGzipBombBytes);
  EXPECT_TRUE(zeros);
}

}  // namespace
}  // namespace lumivex::sim
