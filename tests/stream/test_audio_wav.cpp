// WAV-file devices: what the output writes, read back byte by byte; what
// the input refuses; what it delivers.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "stream/audio_wav.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

using test::WaitFor;

std::string ReadFile(const std::string& path) { return test::ReadFileBytes(path); }
void WriteFile(const std::string& path, const std::string& bytes) { test::WriteFileBytes(path, bytes); }

uint32_t Le(const std::string& b, std::size_t at, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(b[at + i])) << (8 * i);
  return v;
}

std::string Pattern(std::size_t size, int seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  return s;
}

TEST(AudioWav, WrittenFileReadsBackByHand) {
  test::TempDir dir;
  const std::string path = dir.str() + "/out.wav";
  WavFileOutput output(path);
  std::atomic<int> done{0};
  ASSERT_TRUE(output.Open(PcmFormat{2, 16000}, [&] { ++done; }));
  const std::string a = Pattern(1280, 1), b = Pattern(640, 2);  // 20 ms and 10 ms of stereo
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(output.Write(reinterpret_cast<const uint8_t*>(a.data()), a.size()));
  ASSERT_TRUE(output.Write(reinterpret_cast<const uint8_t*>(b.data()), b.size()));
  EXPECT_FALSE(output.Write(reinterpret_cast<const uint8_t*>(b.data()), 3));  // not whole sample frames
  ASSERT_TRUE(WaitFor([&] { return done == 2; }));
  // Played in real time: not before the 30 ms of sound have passed.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(29));
  output.Close();

  const std::string f = ReadFile(path);
  ASSERT_EQ(f.size(), 44u + 1920u);
  EXPECT_EQ(f.substr(0, 4), "RIFF");
  EXPECT_EQ(Le(f, 4, 4), 36u + 1920u);
  EXPECT_EQ(f.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Le(f, 16, 4), 16u);
  EXPECT_EQ(Le(f, 20, 2), 1u);      // PCM
  EXPECT_EQ(Le(f, 22, 2), 2u);      // channels
  EXPECT_EQ(Le(f, 24, 4), 16000u);  // sample rate
  EXPECT_EQ(Le(f, 28, 4), 64000u);  // bytes per second
  EXPECT_EQ(Le(f, 32, 2), 4u);      // block align
  EXPECT_EQ(Le(f, 34, 2), 16u);     // bits
  EXPECT_EQ(f.substr(36, 4), "data");
  EXPECT_EQ(Le(f, 40, 4), 1920u);
  EXPECT_TRUE(f.substr(44) == a + b);
}

TEST(AudioWav, CloseDropsWhatIsQueuedAndCallsNoMore) {
  test::TempDir dir;
  WavFileOutput output(dir.str() + "/long.wav");
  std::atomic<int> done{0};
  ASSERT_TRUE(output.Open(PcmFormat{1, 8000}, [&] { ++done; }));
  const std::string tenSeconds(160000, '\0');
  ASSERT_TRUE(output.Write(reinterpret_cast<const uint8_t*>(tenSeconds.data()), tenSeconds.size()));
  output.Close();  // joins at once, well before the buffer is played
  EXPECT_EQ(done, 0);
  EXPECT_FALSE(output.Write(reinterpret_cast<const uint8_t*>(tenSeconds.data()), 2));
}

TEST(AudioWav, BadFilesAreRefused) {
  test::TempDir dir;
  const std::string good = WavHeader(PcmFormat{1, 8000}, 320) + Pattern(320, 3);
  auto withField = [&](std::size_t at, uint32_t value, int width) {
    std::string b = good;
    for (int i = 0; i < width; ++i) b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return b;
  };
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"truncated header", good.substr(0, 10)},
      {"truncated format chunk", good.substr(0, 30)},
      {"data shorter than its chunk", good.substr(0, good.size() - 1)},
      {"RIFF size past the end", withField(4, 100000, 4)},
      {"data size past the end", withField(40, 100000, 4)},
      {"format chunk size past the end", withField(16, 0xFFFFFFF0u, 4)},
      {"not PCM", withField(20, 3, 2)},
      {"8-bit", withField(34, 8, 2)},
      {"inconsistent block align", withField(32, 4, 2)},
      {"no WAVE", withField(8, 0x45564157 + 1, 4)},
  };
  for (const auto& [what, bytes] : cases) {
    const std::string path = dir.str() + "/bad.wav";
    WriteFile(path, bytes);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    WavInfo info;
    std::string error;
    EXPECT_FALSE(ReadWavHeader(file, bytes.size(), info, error)) << what;
    EXPECT_FALSE(error.empty()) << what;
    std::fclose(file);
    WavFileInput input(path);
    EXPECT_FALSE(input.Open(PcmFormat{1, 8000}, 320, [](const uint8_t*, std::size_t) {})) << what;
    EXPECT_FALSE(input.error().empty()) << what;
  }
}

TEST(AudioWav, InputDeliversWholeBlocksInRealTimeAndStopsAtTheEnd) {
  test::TempDir dir;
  const std::string path = dir.str() + "/in.wav";
  const std::string samples = Pattern(3 * 320 + 100, 5);  // three 20 ms blocks and a piece
  // An extra chunk before the data is skipped.
  std::string file = WavHeader(PcmFormat{1, 8000}, static_cast<uint32_t>(samples.size())) + samples;
  file.insert(36, std::string("LIST\x03\0\0\0abc\0", 12));
  file.replace(4, 4, std::string("\0\0\0\0", 4));
  const uint32_t riff = static_cast<uint32_t>(file.size() - 8);
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<char>((riff >> (8 * i)) & 0xFF);
  WriteFile(path, file);

  WavFileInput wrongRate(path);
  EXPECT_FALSE(wrongRate.Open(PcmFormat{1, 16000}, 640, [](const uint8_t*, std::size_t) {}));
  EXPECT_NE(wrongRate.error().find("8000"), std::string::npos);

  WavFileInput input(path);
  std::mutex mutex;
  std::string got;
  int blocks = 0;
  ASSERT_TRUE(input.Open(PcmFormat{1, 8000}, 320, [&](const uint8_t* data, std::size_t size) {
    std::lock_guard lock(mutex);
    got.append(reinterpret_cast<const char*>(data), size);
    ++blocks;
  }));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(input.Start());
  ASSERT_TRUE(WaitFor([&] { return input.finished(); }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(59));
  input.Close();
  std::lock_guard lock(mutex);
  EXPECT_EQ(blocks, 3);
  EXPECT_TRUE(got == samples.substr(0, 960));
}

}  // namespace
}  // namespace lumivex
