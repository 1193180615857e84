#include "stream/recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include "config/user_settings.h"
#include "core/logging.h"
#include "device/stream_handshake.h"

namespace lumivex {
namespace {

constexpr int kTimeScale = 90000;

std::string WithoutStartCode(const std::string& set) {
  if (set.compare(0, 4, std::string("\0\0\0\1", 4)) == 0) return set.substr(4);
  if (set.compare(0, 3, std::string("\0\0\1", 3)) == 0) return set.substr(3);
  return set;
}

void PutBigEndian(std::string& out, uint32_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}

// Position of the next 00 00 01 at or after from; size when there is none.
std::size_t NextStartCode(const uint8_t* data, std::size_t size, std::size_t from) {
  for (std::size_t i = from; i + 2 < size; ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return i;
  return size;
}

void AppendNal(const uint8_t* begin, const uint8_t* end, std::vector<uint8_t>& sample) {
  // Zeros before a start code belong to it (or are trailing padding), not to the NAL unit.
  while (end > begin && end[-1] == 0) --end;
  const auto length = static_cast<uint32_t>(end - begin);
  if (length == 0) return;
  for (int shift = 24; shift >= 0; shift -= 8) sample.push_back(static_cast<uint8_t>(length >> shift));
  sample.insert(sample.end(), begin, end);
}

// The fragments make the file readable up to the last one written; a
// fragment closes at every key frame and after at most one second.
AVDictionary* MuxerOptions() {
  AVDictionary* options = nullptr;
  av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
  av_dict_set(&options, "frag_duration", "1000000", 0);  // microseconds
  av_dict_set(&options, "movie_timescale", "90000", 0);
  av_dict_set(&options, "video_track_timescale", "90000", 0);
  av_dict_set(&options, "skip_iods", "0", 0);
  av_dict_set(&options, "iods_video_profile", "127", 0);  // video profile level 0x7F
  return options;
}

}  // namespace

Mp4Track Mp4Track::Of(const StreamParameters& stream) {
  Mp4Track track;
  track.width = stream.width;
  track.height = stream.height;
  track.m_VideoTimeGap = stream.m_VideoTimeGap;
  track.sps = WithoutStartCode(stream.parameterSets.sps);
  track.pps = WithoutStartCode(stream.parameterSets.pps);
  return track;
}

int64_t SampleDuration(int32_t videoTimeGap) {
  if (videoTimeGap <= 0) return 0;
  // Above 1000 ms the frame rate 1000 / gap is 0 in integers; then the gap
  // itself, in 1/90000 s, is the duration.
  if (videoTimeGap > 1000) return int64_t{90} * videoTimeGap;
  return kTimeScale / (1000 / videoTimeGap);
}

std::string AvcDecoderRecord(const std::string& sps, const std::string& pps) {
  if (sps.size() < 4 || pps.empty() || sps.size() > 0xFFFF || pps.size() > 0xFFFF) return {};
  std::string record;
  record += '\x01';                      // configuration version
  record.append(sps, 1, 3);              // profile, compatibility, level
  record += static_cast<char>(0xFF);     // 4-byte lengths
  record += static_cast<char>(0xE1);     // one SPS
  PutBigEndian(record, static_cast<uint32_t>(sps.size()), 2);
  record += sps;
  record += '\x01';                      // one PPS
  PutBigEndian(record, static_cast<uint32_t>(pps.size()), 2);
  record += pps;
  return record;
}

bool AnnexBToSample(const uint8_t* frame, std::size_t size, std::vector<uint8_t>& sample) {
  sample.clear();
  if (!frame || size > std::numeric_limits<uint32_t>::max()) return false;
  std::size_t zeros = 0;
  while (zeros < size && frame[zeros] == 0) ++zeros;
  if (zeros < 2 || zeros == size || frame[zeros] != 1) return false;
  std::size_t start = zeros + 1;
  while (start < size) {
    std::size_t next = NextStartCode(frame, size, start);
    AppendNal(frame + start, frame + next, sample);
    start = next + 3;
  }
  return !sample.empty();
}

Mp4Segment::~Mp4Segment() { Close(); }

bool Mp4Segment::Open(const std::string& path, const Mp4Track& track) {
  if (isOpen()) return false;
  const std::string record = AvcDecoderRecord(track.sps, track.pps);
  if (record.empty() || SampleDuration(track.m_VideoTimeGap) <= 0 || track.width <= 0 || track.height <= 0) {
    LogLine("MP4 segment: the stream parameters do not describe a track");
    return false;
  }
  // The exclusive create is what guarantees that a segment is never
  // overwritten; the muxer then opens the file that is now ours.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    LogLine("MP4 segment: cannot create " + path + ": " + std::strerror(errno));
    return false;
  }
  ::close(fd);
  if (!StartMuxer(path, track, record)) {
    LogLine("MP4 segment: cannot start " + path);
    Release();
    ::unlink(path.c_str());
    return false;
  }
  return true;
}

bool Mp4Segment::StartMuxer(const std::string& path, const Mp4Track& track, const std::string& record) {
  if (avformat_alloc_output_context2(&context_, nullptr, "mp4", path.c_str()) < 0) return false;
  AVStream* stream = avformat_new_stream(context_, nullptr);
  if (!stream) return false;
  stream->time_base = {1, kTimeScale};
  AVCodecParameters* par = stream->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = AV_CODEC_ID_H264;
  par->width = track.width;
  par->height = track.height;
  par->extradata = static_cast<uint8_t*>(av_mallocz(record.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!par->extradata) return false;
  std::memcpy(par->extradata, record.data(), record.size());
  par->extradata_size = static_cast<int>(record.size());

  if (avio_open(&context_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  AVDictionary* options = MuxerOptions();
  const int rc = avformat_write_header(context_, &options);
  av_dict_free(&options);
  if (rc < 0) return false;
  avio_flush(context_->pb);
  packet_ = av_packet_alloc();
  if (context_->pb->error < 0 || !packet_) return false;
  // The muxer may have chosen another time base; keep the durations exact in it.
  duration_ = av_rescale_q(SampleDuration(track.m_VideoTimeGap), AVRational{1, kTimeScale}, stream->time_base);
  nextPts_ = 0;
  return true;
}

bool Mp4Segment::WriteFrame(const uint8_t* frame, std::size_t size, bool isKey) {
  if (!isOpen()) return false;
  if (!AnnexBToSample(frame, size, sample_) || sample_.size() > INT_MAX) {
    LogLine("MP4 segment: a malformed frame refused");
    return false;
  }
  packet_->data = sample_.data();
  packet_->size = static_cast<int>(sample_.size());
  packet_->stream_index = 0;
  packet_->pts = packet_->dts = nextPts_;
  packet_->duration = duration_;
  packet_->flags = isKey ? AV_PKT_FLAG_KEY : 0;
  int rc = av_write_frame(context_, packet_);
  packet_->data = nullptr;
  packet_->size = 0;
  // The bytes of a finished fragment go to the file at once, not when the
  // I/O buffer happens to fill.
  if (rc >= 0) avio_flush(context_->pb);
  if (rc < 0 || context_->pb->error < 0) {
    // The file keeps what was written; the trailer could not follow anyway.
    LogLine("MP4 segment: write failed, segment closed");
    Release();
    return false;
  }
  nextPts_ += duration_;
  return true;
}

void Mp4Segment::Close() {
  if (!isOpen()) return;
  if (av_write_trailer(context_) < 0) LogLine("MP4 segment: trailer not written");
  Release();
}

void Mp4Segment::Release() {
  if (context_) {
    if (context_->pb) avio_closep(&context_->pb);
    avformat_free_context(context_);
    context_ = nullptr;
  }
  av_packet_free(&packet_);
}

void SegmentRecorder::SetUp(const UserSettings& settings, std::string_view sid, const StreamParameters& stream) {
  std::lock_guard lock(mutex_);
  storage_ = &settings.storage;
  userName_ = settings.userName.str();
  sid_ = sid;
  track_ = Mp4Track::Of(stream);
  framesLeft = FramesPerSegment();
}

void SegmentRecorder::SetClock(Clock clock) {
  std::lock_guard lock(mutex_);
  clock_ = clock ? std::move(clock) : Clock(LocalNow);
}

int32_t SegmentRecorder::FramesPerSegment() const {
  if (track_.m_VideoTimeGap <= 0) return 0;
  const int32_t fileLength = storage_ ? storage_->Get().FileLength : 0;
  const int64_t minutes = fileLength > 0 ? fileLength : kDefaultFileLength;
  const int64_t frames = minutes * 60000 / track_.m_VideoTimeGap;
  return static_cast<int32_t>(std::min<int64_t>(frames, std::numeric_limits<int32_t>::max()));
}

bool SegmentRecorder::StartSaveToFile() {
  std::lock_guard lock(mutex_);
  return StartLocked();
}

bool SegmentRecorder::StartLocked() {
  LogLine("StartSaveToFile");
  CloseLocked();
  std::string path;
  // The folder as the settings hold it now: the sheet may have changed it.
  const std::string videoPath = storage_ ? storage_->Get().VideoPath.str() : "";
  if (!PrepareStampedPath(videoPath, userName_, sid_, clock_(), "mp4", path)) {
    LogLine("StartSaveToFile: no recording folder below " + videoPath);
    return false;
  }
  if (!segment_.Open(path, track_)) return false;
  openPath_ = path;
  createdPaths_.push_back(path);
  return true;
}

bool SegmentRecorder::Tick(bool recording) {
  std::lock_guard lock(mutex_);
  if (!recording) {
    CloseLocked();
    return true;
  }
  bool opened = false;
  if (!segment_.isOpen()) opened = StartLocked();
  const int32_t taken = framesLeft--;
  if (taken > 0) return true;
  // A segment opened by this very tick is already the new one. Closing it
  // and starting another within the same second would fail on the name,
  // and again on every later tick: recording would never resume.
  if (!opened) opened = StartLocked();
  // The cutting tick's frame is the new segment's first: count it, so that
  // every segment holds the configured length.
  framesLeft = opened ? FramesPerSegment() - 1 : 0;
  return opened;
}

bool SegmentRecorder::WriteMp4Sample(const uint8_t* frame, std::size_t size, bool isKey) {
  std::lock_guard lock(mutex_);
  if (segment_.WriteFrame(frame, size, isKey)) return true;
  if (!segment_.isOpen()) openPath_.clear();
  return false;
}

void SegmentRecorder::Close() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

void SegmentRecorder::CloseLocked() {
  segment_.Close();
  openPath_.clear();
}

bool SegmentRecorder::isOpen() const {
  std::lock_guard lock(mutex_);
  return segment_.isOpen();
}

std::string SegmentRecorder::currentPath() const {
  std::lock_guard lock(mutex_);
  return openPath_;
}

std::vector<std::string> SegmentRecorder::segmentPaths() const {
  std::lock_guard lock(mutex_);
  return createdPaths_;
}

}  // namespace lumivex
