#pragma once
// One connection to a simulated camera, over TCP (direct or through the
// relay) or UDT (after NAT traversal): the connect message, the connect
// reply, startup, then the live stream or the playback of a recorded hour
// until the client leaves, a fault knob ends it, or the sim stops.

#include <json/json.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "sim/audio_clip.h"
#include "sim/camera_config.h"
#include "sim/clip.h"
#include "sim/control_log.h"
#include "sim/frame_log.h"
#include "sim/link.h"
#include "sim/session_key.h"
#include "sim/talk_files.h"
#include "sim/wire.h"

namespace lumivex::sim {

inline constexpr int kConnectWaitMs = 10000;  // for the first packet of a connection

struct SimCamera {
  std::string sid;
  std::string name;
  CameraConfig config;
  std::string videoDaylist;  // the hours it has recordings of, as playBack.do lists them
  // Each stream numbers its frames from a fresh million, so that the frame
  // log's "<sid> <number>" is unique for the whole run.
  std::atomic<int32_t> nextStreamBase{0};
};

// The number of a new stream's first frame: from a fresh million, or the
// camera's firstFrameNumber knob. Streams count on with a wrap round.
uint32_t FirstFrameNumber(SimCamera& camera);

// What all cameras share.
struct CameraServices {
  ClipCache& clips;
  AudioCache& audio;
  FrameLog& frameLog;
  ControlLog& controlLog;
  TalkFiles& talkFiles;
  const std::atomic<bool>& stop;
};

struct ConnectRequest {
  std::string packet;  // the bytes as they came
  SessionKey key;      // the session whose keyValue opened it
  Json::Value message;
};

// Reads the first packet of a connection, which must be an interactive
// packet that opens with one of keys; the bytes after it stay in splitter.
// A failure is logged under who: as a refusal when the client broke the
// protocol, as a note when it hung up or said nothing.
bool ReadConnect(Link& link, const KeyRing& keys, PacketSplitter& splitter, const std::atomic<bool>& stop,
                 const std::string& who, ConnectRequest& out);

// One whole packet from splitter, reading from link when it has none: 1 a
// packet, 0 none within waitMs, or one of these (why says more).
inline constexpr int kStreamEnded = -1;         // the peer hung up or the connection failed
inline constexpr int kStreamUnfollowable = -2;  // an unknown type or an impossible length
int ReceivePacket(Link& link, PacketSplitter& splitter, int waitMs, std::string& packet, std::string& why);

// Checks the connect message and plays the camera on link. udt: the
// connection came through NAT traversal.
void ServeCamera(Link& link, bool udt, SimCamera& camera, const ConnectRequest& request, PacketSplitter& splitter,
                 CameraServices& services);

// The reasons a connect message is refused; empty when it is sound.
std::string CheckConnect(const Json::Value& message, const std::string& sid, const SessionKey& key, bool udt);

// The reply's members, all JSON strings.
Json::Value ConnectReply(const Clip& clip, int bitRate, CameraAudio audio, int audioSample);

// The audio a connection carries: UDT sessions take only Speex.
CameraAudio AudioFor(const CameraConfig& config, bool udt);

// The message without its trailing newline, for log lines.
std::string LogText(const Json::Value& message);

}  // namespace lumivex::sim
