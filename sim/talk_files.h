#pragma once
// --talk-dir DIR: the talk-back each camera heard, as DIR/<sid>.wav (16-bit
// PCM mono), created at the sid's first sound of the run and appended to
// across its packets and connections. The RIFF sizes are rewritten after
// every append, so the file reads as a whole WAV file at any moment.

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lumivex::sim {

inline constexpr std::size_t kWavHeaderBytes = 44;

// The canonical 44-byte header of 16-bit PCM mono.
std::string WavHeader(int sampleRate, uint32_t dataBytes);

class TalkFiles {
 public:
  TalkFiles() = default;
  ~TalkFiles();
  TalkFiles(const TalkFiles&) = delete;
  TalkFiles& operator=(const TalkFiles&) = delete;

  // Creates dir when missing.
  bool Open(const std::string& dir, std::string& error);
  bool enabled() const { return !dir_.empty(); }
  // True, doing nothing, unless open. False with why when the sid is no
  // file name, the file has another rate, is full or cannot be written.
  bool Append(const std::string& sid, int sampleRate, const std::vector<int16_t>& samples, std::string& why);

 private:
  struct File {
    std::mutex mutex;
    std::FILE* file = nullptr;
    int sampleRate = 0;
    uint32_t dataBytes = 0;
  };
  File* FileOf(const std::string& sid, std::string& why);

  std::string dir_;
  std::mutex mutex_;  // the map; each file has its own
  std::map<std::string, std::unique_ptr<File>> files_;
};

}  // namespace lumivex::sim
