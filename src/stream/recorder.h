#pragma once
// MP4 recording of a live stream without re-encoding, cut into segments of
// the configured length. The files are fragmented MP4 flushed after every
// frame, so a segment being written stays playable when the process dies:
// at most the fragment in progress is lost.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "stream/storage_path.h"

struct AVFormatContext;
struct AVPacket;

namespace lumivex {

struct StreamParameters;
class StorageSettings;
struct UserSettings;

// The one H.264 track of a recording.
struct Mp4Track {
  int32_t width = 0, height = 0;
  int32_t m_VideoTimeGap = 0;  // milliseconds between frames
  std::string sps, pps;        // without start codes

  // The camera's parameter sets may come with a start code; it is dropped.
  static Mp4Track Of(const StreamParameters& stream);
};

// Ticks of 1/90000 s per frame; 0 when the gap is not positive.
int64_t SampleDuration(int32_t videoTimeGap);

// The avcC record of the track: version 1, profile, compatibility and level
// from SPS bytes 1 to 3, 4-byte lengths, one SPS, one PPS. Empty when the
// SPS is shorter than 4 bytes or either set is empty.
std::string AvcDecoderRecord(const std::string& sps, const std::string& pps);

// An Annex B frame (start codes of 3 or 4 bytes, one or more NAL units) as
// an MP4 sample: every start code replaced by the 4-byte big-endian length
// of its NAL unit. False when the frame does not begin with a start code or
// holds no NAL unit.
bool AnnexBToSample(const uint8_t* frame, std::size_t size, std::vector<uint8_t>& sample);

// One open MP4 file. Not thread-safe; SegmentRecorder guards it.
class Mp4Segment {
 public:
  Mp4Segment() = default;
  ~Mp4Segment();
  Mp4Segment(const Mp4Segment&) = delete;
  Mp4Segment& operator=(const Mp4Segment&) = delete;

  // Creates the file, which must not exist yet, and writes the header.
  // Any failure leaves nothing open and no file of its own making behind.
  bool Open(const std::string& path, const Mp4Track& track);
  // Appends one frame (Annex B, not modified). False when none is open, the
  // frame is malformed or the write fails.
  bool WriteFrame(const uint8_t* frame, std::size_t size, bool isKey);
  // Writes the trailer and closes the file; nothing when none is open.
  void Close();
  bool isOpen() const { return context_ != nullptr; }

 private:
  bool StartMuxer(const std::string& path, const Mp4Track& track, const std::string& record);
  void Release();

  AVFormatContext* context_ = nullptr;
  AVPacket* packet_ = nullptr;
  int64_t duration_ = 0;  // of one sample, in the stream's time base
  int64_t nextPts_ = 0;
  std::vector<uint8_t> sample_;
};

// The segment logic of one camera.
//
// Threads: SetUp, Tick, StartSaveToFile and WriteMp4Sample run on the
// session's frame-clock thread; isOpen, Close, currentPath and
// segmentPaths may also be called from others (the status painter, the
// stop). One mutex guards the open segment and the path fields.
class SegmentRecorder {
 public:
  using Clock = std::function<LocalStamp()>;

  static constexpr int32_t kDefaultFileLength = 20;  // minutes

  SegmentRecorder() = default;
  SegmentRecorder(const SegmentRecorder&) = delete;
  SegmentRecorder& operator=(const SegmentRecorder&) = delete;

  // Takes the user, the track and where the storage settings are (they must
  // outlive the recorder), and resets framesLeft to a full segment. Called
  // when the frame timer is set up.
  void SetUp(const UserSettings& settings, std::string_view sid, const StreamParameters& stream);
  // The source of local time for file names (LocalNow by default).
  void SetClock(Clock clock);

  // Opens a new segment in the day folder.
  bool StartSaveToFile();
  // The recording part of one frame-clock tick. False when a segment that
  // was due could not be started (a UDT session then stops recording).
  bool Tick(bool recording);
  // Appends one frame to the open segment. False when none is open or the
  // write fails; a failed write closes the segment.
  bool WriteMp4Sample(const uint8_t* frame, std::size_t size, bool isKey);

  void Close();
  bool isOpen() const;
  // The file of the open segment; empty when none.
  std::string currentPath() const;
  // Every segment file created since construction, oldest first.
  std::vector<std::string> segmentPaths() const;

  int32_t framesLeft = 0;

 private:
  int32_t FramesPerSegment() const;
  bool StartLocked();
  void CloseLocked();

  mutable std::mutex mutex_;
  // The folder and the segment length are read anew for each segment.
  const StorageSettings* storage_ = nullptr;
  std::string userName_, sid_;
  Mp4Track track_;
  Clock clock_ = LocalNow;
  Mp4Segment segment_;
  std::string openPath_;
  std::vector<std::string> createdPaths_;
};

}  // namespace lumivex
