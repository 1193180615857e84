#include "stream/recorder.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "config/user_settings.h"
#include "device/stream_handshake.h"
#include "sim/clip.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

namespace fs = std::filesystem;

const sim::Clip& TestClip() {
  static sim::Clip clip;
  static std::once_flag once;
  std::call_once(once, [] {
    std::string error;
    if (!sim::EncodeClip({320, 180, 200000, "REC", 0}, clip, error)) ADD_FAILURE() << error;
  });
  return clip;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// The sample of a one-NAL frame: its 4-byte start code replaced by its length.
std::string LengthPrefixed(const std::string& frame) {
  return Be32(static_cast<uint32_t>(frame.size() - 4)) + frame.substr(4);
}

Mp4Track ClipTrack(int32_t gap) {
  const sim::Clip& clip = TestClip();
  return {clip.key.width, clip.key.height, gap, clip.sps, clip.pps};
}

struct Sample {
  std::string bytes;
  int64_t pts = 0, duration = 0;
  bool key = false;
};

struct Recording {
  int streams = 0;
  AVCodecID codec = AV_CODEC_ID_NONE;
  AVRational timeBase{0, 1};
  int width = 0, height = 0;
  std::string extradata;
  std::vector<Sample> samples;
};

// Reads a file back with libavformat's own demuxer.
bool ReadRecording(const std::string& path, Recording& out) {
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return false;
  bool ok = avformat_find_stream_info(input, nullptr) >= 0 && input->nb_streams > 0;
  if (ok) {
    const AVStream* stream = input->streams[0];
    out.streams = static_cast<int>(input->nb_streams);
    out.codec = stream->codecpar->codec_id;
    out.timeBase = stream->time_base;
    out.width = stream->codecpar->width;
    out.height = stream->codecpar->height;
    out.extradata.assign(reinterpret_cast<const char*>(stream->codecpar->extradata), stream->codecpar->extradata_size);
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(input, packet) >= 0) {
      out.samples.push_back({std::string(reinterpret_cast<const char*>(packet->data), packet->size), packet->pts, 0,
                             (packet->flags & AV_PKT_FLAG_KEY) != 0});
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    // The stored sample durations show in the timestamps and the stream's
    // length; the packets' own durations come from the SPS frame rate.
    for (std::size_t i = 0; i < out.samples.size(); ++i)
      out.samples[i].duration = (i + 1 < out.samples.size() ? out.samples[i + 1].pts : stream->duration) -
                                out.samples[i].pts;
  }
  avformat_close_input(&input);
  return ok;
}

// Decodes every sample with libavcodec's H.264 decoder, configured from the
// file's avcC; any decoding error fails. Returns the pictures that came out.
int DecodeAll(const Recording& recording) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->extradata = static_cast<uint8_t*>(av_mallocz(recording.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy(recording.extradata.begin(), recording.extradata.end(), ctx->extradata);
  ctx->extradata_size = static_cast<int>(recording.extradata.size());
  ctx->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int pictures = avcodec_open2(ctx, codec, nullptr) < 0 ? -1000 : 0;
  auto receive = [&] {
    while (avcodec_receive_frame(ctx, frame) >= 0) {
      pictures += frame->decode_error_flags == 0 ? 1 : -1000;
      av_frame_unref(frame);
    }
  };
  for (const Sample& s : recording.samples) {
    av_new_packet(packet, static_cast<int>(s.bytes.size()));
    std::copy(s.bytes.begin(), s.bytes.end(), packet->data);
    if (avcodec_send_packet(ctx, packet) < 0) pictures -= 1000;
    av_packet_unref(packet);
    receive();
  }
  avcodec_send_packet(ctx, nullptr);
  receive();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&ctx);
  return pictures;
}

// The timescale of the movie header, read by hand.
uint32_t MovieTimescale(const std::string& file) {
  std::size_t at = file.find("mvhd");
  if (at == std::string::npos || at + 32 > file.size()) return 0;
  std::size_t field = at + 4 + 4 + (file[at + 4] == 1 ? 16 : 8);
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<uint8_t>(file[field + i]);
  return value;
}

TEST(RecorderTest, SegmentReadsBackAsWritten) {
  const sim::Clip& clip = TestClip();
  ASSERT_EQ(clip.frames.size(), 30u);
  test::TempDir dir;
  const std::string path = (dir / "a.mp4").string();
  {
    Mp4Segment segment;
    ASSERT_TRUE(segment.Open(path, ClipTrack(40)));
    for (std::size_t i = 0; i < clip.frames.size(); ++i)
      ASSERT_TRUE(segment.WriteFrame(Bytes(clip.frames[i]), clip.frames[i].size(), clip.IsKeyFrame(i)));
    segment.Close();
    EXPECT_FALSE(segment.isOpen());
  }
  Recording rec;
  ASSERT_TRUE(ReadRecording(path, rec));
  EXPECT_EQ(rec.streams, 1);
  EXPECT_EQ(rec.codec, AV_CODEC_ID_H264);
  EXPECT_EQ(rec.timeBase.num, 1);
  EXPECT_EQ(rec.timeBase.den, 90000);
  EXPECT_EQ(rec.width, 320);
  EXPECT_EQ(rec.height, 180);
  EXPECT_EQ(MovieTimescale(test::ReadFileBytes(path)), 90000u);
  // avcC per ISO/IEC 14496-15: version, profile/compat/level, 0xFF, 0xE1, SPS, one PPS.
  const std::string avcc = std::string("\x01", 1) + clip.sps.substr(1, 3) + "\xFF\xE1" +
                           Be32(clip.sps.size()).substr(2) + clip.sps + "\x01" + Be32(clip.pps.size()).substr(2) +
                           clip.pps;
  EXPECT_EQ(rec.extradata, avcc);
  ASSERT_EQ(rec.samples.size(), clip.frames.size());
  for (std::size_t i = 0; i < rec.samples.size(); ++i) {
    EXPECT_EQ(rec.samples[i].duration, 3600) << i;
    EXPECT_EQ(rec.samples[i].pts, static_cast<int64_t>(i) * 3600) << i;
    EXPECT_EQ(rec.samples[i].key, clip.IsKeyFrame(i)) << i;
    EXPECT_EQ(rec.samples[i].bytes, LengthPrefixed(clip.frames[i])) << i;
  }
  EXPECT_EQ(DecodeAll(rec), 30);
}

TEST(RecorderTest, EveryStartCodeOfAFrameBecomesALength) {
  const sim::Clip& clip = TestClip();
  test::TempDir dir;
  const std::string path = (dir / "multi.mp4").string();
  const std::string idr = clip.frames[0].substr(4);
  // Parameter sets in front of the slice, with 3- and 4-byte start codes.
  const std::string frame = std::string("\0\0\1", 3) + clip.sps + std::string("\0\0\0\1", 4) + clip.pps +
                            std::string("\0\0\1", 3) + idr;
  const std::string original = frame;
  {
    Mp4Segment segment;
    ASSERT_TRUE(segment.Open(path, ClipTrack(66)));
    ASSERT_TRUE(segment.WriteFrame(Bytes(frame), frame.size(), true));
    for (std::size_t i = 1; i < clip.frames.size(); ++i)
      ASSERT_TRUE(segment.WriteFrame(Bytes(clip.frames[i]), clip.frames[i].size(), false));
  }
  EXPECT_EQ(frame, original);
  Recording rec;
  ASSERT_TRUE(ReadRecording(path, rec));
  ASSERT_EQ(rec.samples.size(), 30u);
  EXPECT_EQ(rec.samples[0].bytes,
            Be32(clip.sps.size()) + clip.sps + Be32(clip.pps.size()) + clip.pps + Be32(idr.size()) + idr);
  EXPECT_EQ(rec.samples[1].duration, 6000);
  EXPECT_EQ(DecodeAll(rec), 30);
}

TEST(RecorderTest, MalformedFramesAreRefused) {
  std::vector<uint8_t> sample;
  for (const std::string& bad : {std::string(), std::string("\x65\x88", 2), std::string("\0\1\x65", 3),
                                 std::string("\0\0\0\1", 4), std::string("\0\0\0\0", 4)})
    EXPECT_FALSE(AnnexBToSample(Bytes(bad), bad.size(), sample)) << bad.size();
  // Trailing zeros belong to no NAL unit.
  const std::string padded("\0\0\0\1\x65\x88\0\0", 8);
  ASSERT_TRUE(AnnexBToSample(Bytes(padded), padded.size(), sample));
  EXPECT_EQ(std::string(sample.begin(), sample.end()), std::string("\0\0\0\2\x65\x88", 6));

  test::TempDir dir;
  Mp4Segment segment;
  ASSERT_TRUE(segment.Open((dir / "m.mp4").string(), ClipTrack(40)));
  EXPECT_FALSE(segment.WriteFrame(Bytes("garbage"), 7, true));
  EXPECT_TRUE(segment.isOpen());  // bad input is refused; the file goes on
}

TEST(RecorderTest, SampleDurationFollowsTheFrameGap) {
  EXPECT_EQ(SampleDuration(40), 3600);
  EXPECT_EQ(SampleDuration(66), 6000);
  EXPECT_EQ(SampleDuration(33), 3000);  // 90000 / 30
  EXPECT_EQ(SampleDuration(1000), 90000);
  EXPECT_EQ(SampleDuration(1001), 90090);
  EXPECT_EQ(SampleDuration(0), 0);
  EXPECT_EQ(SampleDuration(-40), 0);
}

TEST(RecorderTest, OpenNeverOverwritesAndLeavesNothingOnFailure) {
  test::TempDir dir;
  const fs::path existing = dir / "old.mp4";
  test::WriteFileBytes(existing, "earlier segment");
  Mp4Segment segment;
  EXPECT_FALSE(segment.Open(existing.string(), ClipTrack(40)));
  EXPECT_EQ(test::ReadFileBytes(existing), "earlier segment");
  EXPECT_FALSE(segment.isOpen());

  Mp4Track shortSps = ClipTrack(40);
  shortSps.sps = shortSps.sps.substr(0, 2);
  Mp4Track noGap = ClipTrack(0);
  for (const Mp4Track& bad : {shortSps, noGap}) {
    EXPECT_FALSE(segment.Open((dir / "bad.mp4").string(), bad));
    EXPECT_FALSE(fs::exists(dir / "bad.mp4"));
  }
  EXPECT_FALSE(segment.Open((dir / "missing/x.mp4").string(), ClipTrack(40)));

  ASSERT_TRUE(segment.Open((dir / "new.mp4").string(), ClipTrack(40)));
  EXPECT_FALSE(segment.Open((dir / "other.mp4").string(), ClipTrack(40)));
  EXPECT_FALSE(fs::exists(dir / "other.mp4"));
}

// The child writes three seconds and dies without closing anything. Only
// the first frame is flagged key, so only time can close the fragments.
TEST(RecorderTest, KilledWriterLeavesAPlayableFile) {
  const sim::Clip& clip = TestClip();
  test::TempDir dir;
  const std::string path = (dir / "killed.mp4").string();
  const Mp4Track track = ClipTrack(sim::kClipTimeGapMs);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Mp4Segment segment;
    if (!segment.Open(path, track)) _exit(2);
    for (std::size_t i = 0; i < 45; ++i) {
      const std::string& frame = clip.frames[i % 30];
      if (!segment.WriteFrame(Bytes(frame), frame.size(), i == 0)) _exit(3);
    }
    raise(SIGKILL);
    _exit(4);
  }
  int status = 0;
  if (!test::WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, std::chrono::seconds(30))) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the writer did not end";
  }
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);

  Recording rec;
  ASSERT_TRUE(ReadRecording(path, rec));
  EXPECT_EQ(rec.timeBase.den, 90000);
  // Fragments of 15 frames (1 s): only the third may be lost.
  ASSERT_GE(rec.samples.size(), 30u);
  ASSERT_LE(rec.samples.size(), 45u);
  for (std::size_t i = 0; i < rec.samples.size(); ++i) {
    EXPECT_EQ(rec.samples[i].bytes, LengthPrefixed(clip.frames[i % 30])) << i;
    EXPECT_EQ(rec.samples[i].duration, 6000) << i;
    EXPECT_EQ(rec.samples[i].key, i == 0) << i;
  }
}

// Settings whose FileLength of one minute at a frame gap of 12 s makes
// segments of five frames.
struct ShortSegments {
  test::TempDir dir;
  UserSettings settings;
  StreamParameters stream;
  SegmentRecorder recorder;
  LocalStamp stamp{2014, 5, 20, 8, 0, 0};

  ShortSegments() {
    settings.storage.Update([this](StorageFolders& f) {
      f.VideoPath.Set(dir.str() + "/");
      f.FileLength = 1;
    });
    settings.userName = "alice";
    const sim::Clip& clip = TestClip();
    stream.width = clip.key.width;
    stream.height = clip.key.height;
    stream.m_VideoTimeGap = 12000;
    stream.parameterSets.sps = ParameterSetPackage::Record(clip.sps);  // as the camera sends it
    stream.parameterSets.pps = clip.pps;
    recorder.SetClock([this] { return stamp; });
    recorder.SetUp(settings, "CAM7", stream);
  }

  // One tick and its frame; true when the frame went into a segment.
  bool Frame(std::size_t i) {
    recorder.Tick(true);
    const std::string& frame = TestClip().frames[i % 30];
    return recorder.WriteMp4Sample(Bytes(frame), frame.size(), TestClip().IsKeyFrame(i % 30));
  }
};

TEST(RecorderTest, SegmentLengthComesFromFileLength) {
  ShortSegments s;
  EXPECT_EQ(s.recorder.framesLeft, 5);
  s.settings.storage.Update([](StorageFolders& f) { f.FileLength = 20; });
  s.stream.m_VideoTimeGap = 40;
  s.recorder.SetUp(s.settings, "CAM7", s.stream);
  EXPECT_EQ(s.recorder.framesLeft, 30000);
  s.settings.storage.Update([](StorageFolders& f) { f.FileLength = 0; });  // the default of 20 minutes
  s.recorder.SetUp(s.settings, "CAM7", s.stream);
  EXPECT_EQ(s.recorder.framesLeft, 30000);
}

TEST(RecorderTest, NextSegmentBeginsWithTheFollowingFrame) {
  ShortSegments s;
  std::vector<std::size_t> written;
  for (std::size_t i = 0; i < 17; ++i) {
    s.stamp.second = static_cast<int>(i);  // every tick in a second of its own
    if (s.Frame(i)) written.push_back(i);
  }
  s.recorder.Tick(false);
  EXPECT_FALSE(s.recorder.isOpen());
  EXPECT_EQ(s.recorder.currentPath(), "");
  ASSERT_EQ(written.size(), 17u);

  const std::vector<std::string> paths = s.recorder.segmentPaths();
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(paths[0], s.dir.str() + "/alice/2014-05-20/2014-05-20-08-00-00-CAM7.mp4");
  std::size_t next = 0;
  std::vector<std::size_t> counts;
  for (const std::string& path : paths) {
    Recording rec;
    ASSERT_TRUE(ReadRecording(path, rec)) << path;
    EXPECT_EQ(rec.samples.at(0).pts, 0);
    EXPECT_EQ(rec.samples.at(0).duration, 90 * 12000);  // gap above 1000 ms
    for (const Sample& sample : rec.samples) EXPECT_EQ(sample.bytes, LengthPrefixed(TestClip().frames[next++]));
    counts.push_back(rec.samples.size());
  }
  EXPECT_EQ(next, 17u);  // no frame lost or doubled at the cuts
  // Every segment holds the configured length; the last one is cut short.
  EXPECT_EQ(counts, (std::vector<std::size_t>{5, 5, 5, 2}));
}

TEST(RecorderTest, SegmentInTheSameSecondWaitsForTheClock) {
  ShortSegments s;
  for (std::size_t i = 0; i < 5; ++i) ASSERT_TRUE(s.Frame(i));
  const std::string first = s.recorder.currentPath();
  // The cut comes in the same second: the name is taken.
  EXPECT_FALSE(s.Frame(5));
  EXPECT_FALSE(s.recorder.isOpen());
  const std::string firstBytes = test::ReadFileBytes(first);
  EXPECT_FALSE(s.Frame(6));
  EXPECT_EQ(s.recorder.segmentPaths().size(), 1u);

  s.stamp.second = 1;
  for (std::size_t i = 7; i < 12; ++i) EXPECT_TRUE(s.Frame(i)) << i;
  const std::string second = s.recorder.currentPath();
  s.recorder.Close();
  EXPECT_NE(second, first);
  EXPECT_EQ(test::ReadFileBytes(first), firstBytes);
  Recording rec;
  ASSERT_TRUE(ReadRecording(second, rec));
  ASSERT_EQ(rec.samples.size(), 5u);
  EXPECT_EQ(rec.samples[0].bytes, LengthPrefixed(TestClip().frames[7]));
}

TEST(RecorderTest, UnsafeUserNameRecordsNothing) {
  ShortSegments s;
  s.settings.userName = "../x";
  s.recorder.SetUp(s.settings, "CAM7", s.stream);
  EXPECT_FALSE(s.recorder.StartSaveToFile());
  EXPECT_FALSE(s.Frame(0));
  EXPECT_TRUE(s.recorder.segmentPaths().empty());
  EXPECT_TRUE(fs::is_empty(s.dir.path()));
}

}  // namespace
}  // namespace lumivex

namespace lumivex {
namespace {

// The settings sheet may change the folder and the length while a session
// records: the next segment follows them; the open one is not cut.
TEST(RecorderTest, NextSegmentFollowsChangedSettings) {
  ShortSegments s;
  test::TempDir other;
  for (std::size_t i = 0; i < 3; ++i) ASSERT_TRUE(s.Frame(i));
  s.settings.storage.Update([&](StorageFolders& f) {
    f.VideoPath.Set(other.str() + "/");
    f.FileLength = 2;  // ten frames at 12 s
  });
  for (std::size_t i = 3; i < 15; ++i) {
    s.stamp.second = static_cast<int>(i);
    ASSERT_TRUE(s.Frame(i)) << i;
  }
  s.recorder.Close();
  const std::vector<std::string> paths = s.recorder.segmentPaths();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0].rfind(s.dir.str() + "/alice/", 0), 0u) << paths[0];
  EXPECT_EQ(paths[1].rfind(other.str() + "/alice/", 0), 0u) << paths[1];
  Recording first, second;
  ASSERT_TRUE(ReadRecording(paths[0], first));
  ASSERT_TRUE(ReadRecording(paths[1], second));
  EXPECT_EQ(first.samples.size(), 5u);
  EXPECT_EQ(second.samples.size(), 10u);
}

}  // namespace
}  // namespace lumivex
