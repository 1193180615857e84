#include "stream/audio_wav.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/logging.h"

namespace lumivex {
namespace {

constexpr auto kWaitStep = std::chrono::milliseconds(200);
constexpr uint16_t kFormatPcm = 1;
// The RIFF size field is 32 bits wide and counts the 36 header bytes after it.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void PutLe(std::string& bytes, std::size_t offset, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetLe(const uint8_t* bytes, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return value;
}

bool ReadAt(std::FILE* file, uint64_t offset, uint8_t* out, std::size_t size) {
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(out, 1, size, file) == size;
}

bool ParseFormat(const uint8_t* fmt, PcmFormat& out, std::string& error) {
  const uint32_t tag = GetLe(fmt, 2), channels = GetLe(fmt + 2, 2), rate = GetLe(fmt + 4, 4);
  const uint32_t byteRate = GetLe(fmt + 8, 4), blockAlign = GetLe(fmt + 12, 2), bits = GetLe(fmt + 14, 2);
  if (tag != kFormatPcm) return error = "not PCM (format tag " + std::to_string(tag) + ")", false;
  if (bits != 16) return error = "not 16-bit PCM (" + std::to_string(bits) + " bits)", false;
  out = PcmFormat{static_cast<int>(channels), static_cast<int>(std::min<uint32_t>(rate, 1u << 30)), 16};
  if (!out.valid()) return error = "unsupported channels or sample rate", false;
  if (blockAlign != static_cast<uint32_t>(out.blockAlign()) || byteRate != static_cast<uint32_t>(out.bytesPerSecond()))
    return error = "inconsistent block align or byte rate", false;
  return true;
}

}  // namespace

std::string WavHeader(const PcmFormat& format, uint32_t dataBytes) {
  std::string h(kWavHeaderBytes, '\0');
  std::memcpy(h.data(), "RIFF", 4);
  PutLe(h, 4, static_cast<uint32_t>(std::min<uint64_t>(36ull + dataBytes, 0xFFFFFFFFull)), 4);
  std::memcpy(h.data() + 8, "WAVEfmt ", 8);
  PutLe(h, 16, 16, 4);
  PutLe(h, 20, kFormatPcm, 2);
  PutLe(h, 22, static_cast<uint32_t>(format.channels), 2);
  PutLe(h, 24, static_cast<uint32_t>(format.sampleRate), 4);
  PutLe(h, 28, static_cast<uint32_t>(format.bytesPerSecond()), 4);
  PutLe(h, 32, static_cast<uint32_t>(format.blockAlign()), 2);
  PutLe(h, 34, static_cast<uint32_t>(format.bitsPerSample), 2);
  std::memcpy(h.data() + 36, "data", 4);
  PutLe(h, 40, dataBytes, 4);
  return h;
}

bool ReadWavHeader(std::FILE* file, uint64_t fileBytes, WavInfo& out, std::string& error) {
  uint8_t riff[12];
  if (fileBytes < sizeof riff || !ReadAt(file, 0, riff, sizeof riff)) return error = "truncated header", false;
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    return error = "not a RIFF WAVE file", false;
  const uint64_t end = 8ull + GetLe(riff + 4, 4);
  if (end > fileBytes) return error = "the RIFF size runs past the end of the file", false;
  bool haveFormat = false;
  for (uint64_t at = sizeof riff; at + 8 <= end;) {
    uint8_t chunk[8];
    if (!ReadAt(file, at, chunk, sizeof chunk)) return error = "truncated chunk header", false;
    const uint64_t size = GetLe(chunk + 4, 4), body = at + 8;
    if (body + size > end) return error = "a chunk runs past the end of the file", false;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      uint8_t fmt[16];
      if (size < sizeof fmt) return error = "format chunk too short", false;
      if (!ReadAt(file, body, fmt, sizeof fmt)) return error = "truncated format chunk", false;
      if (!ParseFormat(fmt, out.format, error)) return false;
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return error = "data before the format chunk", false;
      out.dataOffset = body;
      out.dataBytes = size - size % static_cast<uint64_t>(out.format.blockAlign());
      return true;
    }
    at = body + size + (size & 1);  // chunks are padded to even sizes
  }
  return error = haveFormat ? "no data chunk" : "no format chunk", false;
}

bool WavFileOutput::Open(const PcmFormat& format, std::function<void()> bufferDone) {
  if (!format.valid() || !bufferDone) return false;
  std::lock_guard lock(mutex_);
  if (file_ || player_.joinable()) return false;
  std::string header = WavHeader(format, 0);
  file_ = std::fopen(path_.c_str(), "wb");
  if (!file_ || std::fwrite(header.data(), 1, header.size(), file_) != header.size()) {
    LogLine("wav output: cannot write " + path_);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return false;
  }
  format_ = format;
  dataBytes_ = 0;
  bufferDone_ = std::move(bufferDone);
  due_.clear();
  lastDue_ = Clock::now();
  quit_ = false;
  player_ = std::thread(&WavFileOutput::Play, this);
  return true;
}

bool WavFileOutput::Write(const uint8_t* data, std::size_t size) {
  std::lock_guard lock(mutex_);
  if (!file_ || !data || size == 0 || size % static_cast<std::size_t>(format_.blockAlign()) != 0 ||
      dataBytes_ + size > kMaxDataBytes)
    return false;
  if (std::fwrite(data, 1, size, file_) != size) return false;
  dataBytes_ += size;
  const auto duration = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(size) / format_.bytesPerSecond()));
  lastDue_ = std::max(lastDue_, Clock::now()) + duration;
  due_.push_back(lastDue_);
  wake_.notify_all();
  return true;
}

void WavFileOutput::Close() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (player_.joinable()) player_.join();
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::string header = WavHeader(format_, static_cast<uint32_t>(dataBytes_));
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), file_) != header.size())
    LogLine("wav output: cannot finish the header of " + path_);
  std::fclose(file_);
  file_ = nullptr;
  due_.clear();
}

void WavFileOutput::Play() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    const auto now = Clock::now();
    if (due_.empty()) {
      wake_.wait_for(lock, kWaitStep);
    } else if (now < due_.front()) {
      wake_.wait_until(lock, std::min(due_.front(), now + kWaitStep));
    } else {
      due_.pop_front();
      auto done = bufferDone_;
      lock.unlock();
      done();
      lock.lock();
    }
  }
}

bool WavFileInput::Open(const PcmFormat& format, std::size_t blockBytes,
                        std::function<void(const uint8_t*, std::size_t)> block) {
  auto fail = [this](std::string why) {
    LogLine("wav input: " + path_ + ": " + why);
    std::lock_guard lock(mutex_);
    error_ = std::move(why);
    if (file_) std::fclose(file_);
    file_ = nullptr;
    return false;
  };
  if (file_ || capture_.joinable()) return false;  // open already
  if (!format.valid() || blockBytes == 0 || blockBytes % static_cast<std::size_t>(format.blockAlign()) != 0 || !block)
    return fail("unusable capture format");
  file_ = std::fopen(path_.c_str(), "rb");
  if (!file_) return fail("cannot open the file");
  std::string why;
  if (std::fseek(file_, 0, SEEK_END) != 0) return fail("cannot read the file");
  long size = std::ftell(file_);
  if (size < 0 || !ReadWavHeader(file_, static_cast<uint64_t>(size), info_, why)) return fail(why.empty() ? "cannot read the file" : why);
  if (!(info_.format == format))
    return fail("the file is " + std::to_string(info_.format.channels) + " channel(s) at " +
                std::to_string(info_.format.sampleRate) + " Hz, not " + std::to_string(format.channels) + " at " +
                std::to_string(format.sampleRate) + " Hz");
  if (std::fseek(file_, static_cast<long>(info_.dataOffset), SEEK_SET) != 0) return fail("cannot read the file");
  blockBytes_ = blockBytes;
  block_ = std::move(block);
  finished_ = false;
  std::lock_guard lock(mutex_);
  quit_ = false;
  error_.clear();
  return true;
}

bool WavFileInput::Start() {
  if (!file_ || capture_.joinable()) return false;
  capture_ = std::thread(&WavFileInput::Capture, this);
  return true;
}

void WavFileInput::Close() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (capture_.joinable()) capture_.join();
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

std::string WavFileInput::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool WavFileInput::WaitUntil(Clock::time_point when) {
  std::unique_lock lock(mutex_);
  while (!quit_ && Clock::now() < when) wake_.wait_until(lock, std::min(when, Clock::now() + kWaitStep));
  return !quit_;
}

void WavFileInput::Capture() {
  std::vector<uint8_t> block(blockBytes_);
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(blockBytes_) / info_.format.bytesPerSecond()));
  uint64_t left = info_.dataBytes;
  // A block is captured once its duration has passed.
  for (auto due = Clock::now() + period; WaitUntil(due); due += period) {
    if (left < blockBytes_ || std::fread(block.data(), 1, blockBytes_, file_) != blockBytes_) {
      finished_ = true;
      return;
    }
    left -= blockBytes_;
    block_(block.data(), block.size());
  }
}

std::unique_ptr<AudioOutput> WavFileDevices::MakeOutput() {
  if (outputPath_.empty()) return nullptr;
  return std::make_unique<WavFileOutput>(outputPath_);
}

std::unique_ptr<AudioInput> WavFileDevices::MakeInput() {
  if (inputPath_.empty()) return nullptr;
  return std::make_unique<WavFileInput>(inputPath_);
}

}  // namespace lumivex
