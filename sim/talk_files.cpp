#include "sim/talk_files.h"

#include <filesystem>
#include <limits>

#include "sim/wire.h"

namespace lumivex::sim {
namespace {

constexpr uint32_t kMaxDataBytes = std::numeric_limits<uint32_t>::max() - (kWavHeaderBytes - 8);

// A sid names a file in the folder and nothing else.
bool IsFileName(const std::string& sid) {
  if (sid.empty() || sid == "." || sid == "..") return false;
  for (unsigned char c : sid)
    if (c == '/' || c < 0x20) return false;
  return true;
}

bool WriteAt(std::FILE* file, long at, const std::string& bytes) {
  return std::fseek(file, at, SEEK_SET) == 0 && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

std::string Le32Text(uint32_t v) {
  std::string s(4, '\0');
  PutLe32(s, 0, v);
  return s;
}

}  // namespace

std::string WavHeader(int sampleRate, uint32_t dataBytes) {
  std::string h(kWavHeaderBytes, '\0');
  h.replace(0, 4, "RIFF");
  PutLe32(h, 4, dataBytes + static_cast<uint32_t>(kWavHeaderBytes - 8));
  h.replace(8, 8, "WAVEfmt ");
  PutLe32(h, 16, 16);  // the fmt chunk's size
  PutLe16(h, 20, 1);   // PCM
  PutLe16(h, 22, 1);   // mono
  PutLe32(h, 24, static_cast<uint32_t>(sampleRate));
  PutLe32(h, 28, static_cast<uint32_t>(sampleRate) * 2);  // bytes per second
  PutLe16(h, 32, 2);   // block
  PutLe16(h, 34, 16);  // bits
  h.replace(36, 4, "data");
  PutLe32(h, 40, dataBytes);
  return h;
}

TalkFiles::~TalkFiles() {
  for (auto& [sid, f] : files_)
    if (f->file) std::fclose(f->file);
}

bool TalkFiles::Open(const std::string& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir, ec)) {
    error = dir + ": cannot create the talk folder";
    return false;
  }
  dir_ = dir;
  return true;
}

TalkFiles::File* TalkFiles::FileOf(const std::string& sid, std::string& why) {
  if (!IsFileName(sid)) {
    why = "the sid \"" + sid + "\" cannot name a file";
    return nullptr;
  }
  std::lock_guard lock(mutex_);
  auto& f = files_[sid];
  if (!f) f = std::make_unique<File>();
  return f.get();
}

bool TalkFiles::Append(const std::string& sid, int sampleRate, const std::vector<int16_t>& samples,
                       std::string& why) {
  if (!enabled()) return true;
  File* f = FileOf(sid, why);
  if (!f) return false;
  std::lock_guard lock(f->mutex);
  const std::string path = (std::filesystem::path(dir_) / (sid + ".wav")).string();
  if (!f->file) {
    f->file = std::fopen(path.c_str(), "w+b");
    if (!f->file || !WriteAt(f->file, 0, WavHeader(sampleRate, 0)) || std::fflush(f->file) != 0) {
      why = path + ": cannot be written";
      if (f->file) std::fclose(f->file);
      f->file = nullptr;
      return false;
    }
    f->sampleRate = sampleRate;
  }
  if (sampleRate != f->sampleRate) {
    why = "talk audio at " + std::to_string(sampleRate) + " Hz for " + path + ", which holds " +
          std::to_string(f->sampleRate) + " Hz";
    return false;
  }
  std::string bytes(samples.size() * 2, '\0');
  for (std::size_t i = 0; i < samples.size(); ++i) PutLe16(bytes, 2 * i, static_cast<uint16_t>(samples[i]));
  if (bytes.size() > kMaxDataBytes - f->dataBytes) {
    why = path + " is full";
    return false;
  }
  const uint32_t total = f->dataBytes + static_cast<uint32_t>(bytes.size());
  // the sound first, then the sizes that cover it
  if (!WriteAt(f->file, static_cast<long>(kWavHeaderBytes + f->dataBytes), bytes) ||
      !WriteAt(f->file, 4, Le32Text(total + static_cast<uint32_t>(kWavHeaderBytes - 8))) ||
      !WriteAt(f->file, 40, Le32Text(total)) || std::fflush(f->file) != 0) {
    why = path + ": cannot be written";
    return false;
  }
  f->dataBytes = total;
  return true;
}

}  // namespace lumivex::sim
