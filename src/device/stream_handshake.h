#pragma once
// The session handshake on a freshly opened socket: connect, the camera's
// reply with the stream parameters, startup.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <json/value.h>

#include "device/connection.h"

namespace lumivex {

struct ServiceContext;

// The H.264 parameter sets of the reply, as the camera sent them (Base64
// decoded, each at most kMaxSetBytes, since the decoder record holds a start
// code and 59 bytes).
struct ParameterSetPackage {
  static constexpr std::size_t kMaxSetBytes = 59;
  std::string sps, pps;

  // Start code 00 00 00 01 followed by the set: what the decoder is fed.
  static std::string Record(const std::string& set) { return std::string("\0\0\0\1", 4) + set; }
};

enum class CameraAudio { kSpeex, kAac };

// A recording is one hour of a day: a connect reply announcing a longer one
// (up to the 2147483647 a camera may send) is malformed.
inline constexpr int32_t kMaxPlaybackGap = 86400;

struct StreamParameters {
  int32_t width = 0, height = 0;
  int32_t m_VideoTimeGap = 0;  // milliseconds between frames
  int32_t bitRate = 0;         // live only
  int32_t playbackGap = 0;     // playback only: seconds of the recording, 0 to kMaxPlaybackGap
  std::string playbackInitTime;  // playback only: fourteen digits
  CameraAudio audio = CameraAudio::kSpeex;
  int32_t m_AudioSample = 8000;
  ParameterSetPackage parameterSets;
};

struct ConnectRequest {
  bool playback = false;
  std::string requestDate;  // playback: the selected hour ("20140520-08")
};

// The step that opens the decoder with the parameter sets; false ends the
// handshake. Without one the sets are only checked (ValidParameterSets).
using OpenDecoderStep = std::function<bool(const StreamParameters&)>;

// Each set non-empty and, after an optional start code, a NAL unit of type 7
// (SPS) or 8 (PPS) with the forbidden bit clear.
bool ValidParameterSets(const ParameterSetPackage& sets);

// Reads and checks the connect reply; false for anything but the expected
// members as JSON strings, an "audioType" that is absent, null or "aac",
// and for playback a "playbackGap" from 0 to kMaxPlaybackGap.
bool ParseConnectReply(const Json::Value& reply, bool playback, StreamParameters& out);

// TCP (types 2, 3, 5) and UDT (type 4) forms. On success the camera has
// received startup and streams; out holds the parameters.
bool Ctrl_Recv_Play_TCP(ServiceContext& ctx, DeviceConnection& conn, const ConnectRequest& request,
                        StreamParameters& out, const OpenDecoderStep& openDecoder = {});
bool Ctrl_Recv_Play_UDT(ServiceContext& ctx, DeviceConnection& conn, const ConnectRequest& request,
                        StreamParameters& out, const OpenDecoderStep& openDecoder = {});

}  // namespace lumivex
