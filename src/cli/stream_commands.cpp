// "connect": one live session from the command line, the way the session
// thread runs it (negotiation, socket, handshake), then whole video frames
// with their checksums, so that they can be compared with what the camera
// sent.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "cli/client.h"
#include "core/logging.h"
#include "core/text.h"
#include "device/frame_assembler.h"
#include "device/negotiation.h"
#include "device/session_packet.h"
#include "device/socket_setup.h"
#include "device/stream_handshake.h"

namespace lumivex::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Socket establishment (with every fall-back) and handshake together.
constexpr auto kSetupLimit = 40s;
constexpr auto kFrameSlack = 10s;

// Sets the session's stop flag at a deadline, so that every wait of the
// session ends within 200 ms of it.
class StopAtDeadline {
 public:
  StopAtDeadline(DeviceConnection& conn, Clock::time_point deadline) : conn_(conn), deadline_(deadline) {
    thread_ = std::thread([this] { Watch(); });
  }
  ~StopAtDeadline() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void MoveTo(Clock::time_point deadline) {
    {
      std::lock_guard lock(mutex_);
      deadline_ = deadline;
    }
    wake_.notify_all();
  }
  bool expired() const { return expired_; }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    while (!done_) {
      if (Clock::now() >= deadline_) {
        expired_ = true;
        conn_.stop.Request();
        return;
      }
      wake_.wait_until(lock, deadline_);
    }
  }

  DeviceConnection& conn_;
  std::mutex mutex_;
  std::condition_variable wake_;
  Clock::time_point deadline_;  // guarded by mutex_
  bool done_ = false;           // guarded by mutex_
  std::atomic<bool> expired_{false};
  std::thread thread_;
};

int Failed(const char* consoleLine, const std::string& why) {
  if (consoleLine) LogLine(consoleLine);
  std::fprintf(stderr, "lumivexctl: %s\n", why.c_str());
  return kExitFailed;
}

void PrintParameters(Client& c, const StreamParameters& p) {
  auto& out = c.notifier();
  out.Print("width: " + std::to_string(p.width));
  out.Print("height: " + std::to_string(p.height));
  out.Print("time gap: " + std::to_string(p.m_VideoTimeGap));
  out.Print("bit rate: " + std::to_string(p.bitRate));
  out.Print(std::string("audio: ") + (p.audio == CameraAudio::kAac ? "aac " : "speex ") +
            std::to_string(p.m_AudioSample));
  out.Print("sps: " + HexLower(p.parameterSets.sps));
  out.Print("pps: " + HexLower(p.parameterSets.pps));
}

std::string FrameLine(const VideoFrame& frame) {
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08x", frame.Crc32());
  return "frame: " + std::to_string(frame.frameNumber) + " " + std::to_string(frame.bytes.size()) + " " + crc;
}

// Whole frames until wanted arrived, the camera closes, or the stop flag.
int ReceiveFrames(Client& c, DeviceConnection& conn, int wanted) {
  const std::string devKey = c.global().m_DevKeyValue.str();
  Transport transport = conn.transport();
  FrameAssembler assembler;
  SessionPacket packet;
  VideoFrame frame;
  VideoFragment fragment;
  int frames = 0;
  while (frames < wanted) {
    if (ReceiveSessionPacket(conn, transport, packet) != Received::kPacket) break;
    if (ParseVideoFragment(packet, fragment)) {
      if (assembler.Add(fragment, frame)) {
        c.notifier().Print(FrameLine(frame));
        ++frames;
      }
      continue;
    }
    Json::Value message;
    if (packet.type() == FLAG_INTERACTIVE && OpenSessionPacket(devKey, packet, message) &&
        message.isObject() && message["cmd"].isString() && EqualsIgnoreCase(message["cmd"].asString(), "close")) {
      std::fprintf(stderr, "lumivexctl: the camera closed the session\n");
      break;
    }
  }
  if (assembler.droppedFrames() > 0)
    std::fprintf(stderr, "lumivexctl: %d incomplete frames dropped\n", assembler.droppedFrames());
  if (frames < wanted) {
    std::fprintf(stderr, "lumivexctl: %d of %d frames received\n", frames, wanted);
    return kExitFailed;
  }
  return kExitOk;
}

bool FrameCount(const std::vector<std::string>& args, int& frames) {
  frames = 30;
  for (std::size_t i = 2; i + 1 < args.size(); ++i)
    if (args[i] == "--frames") {
      frames = DecimalPrefix(args[i + 1]);
      return frames >= 1 && frames <= 100000;
    }
  return true;
}

}  // namespace

int Connect(Client& c, bool (*mayWatch)(Client&, const CameraInfo&)) {
  int wanted = 0;
  if (!FrameCount(c.args(), wanted))
    return std::fprintf(stderr, "lumivexctl: --frames takes a number from 1 to 100000\n"), kExitUsage;
  int index = c.FindDevice(c.args()[1]);
  if (index < 0) return kExitFailed;
  CameraInfo info = *c.cameras().Get(index);
  if (!info.online()) return std::fprintf(stderr, "lumivexctl: %s is offline\n", info.sid.c_str()), kExitFailed;
  if (!mayWatch(c, info)) return kExitFailed;

  DeviceConnection conn;
  if (!RequestStart(c.context(), info.sid.str(), conn))
    return Failed("RequestStart() is falied and set STATUS_VIDEO_FAILED.", "the service gave no way to the camera");
  StopAtDeadline limit(conn, Clock::now() + kSetupLimit);
  if (!GetSocketByNATType(c.context(), conn))
    return Failed("GetSocketBuNATType() is failed andt set the STATUS_VIDEO_FALIED.", "no connection to the camera");
  c.notifier().Print("connection type: " + std::to_string(conn.m_DeviceNATType.load()));
  StreamParameters params;
  bool udt = conn.transport() == Transport::kUdt;
  if (!(udt ? Ctrl_Recv_Play_UDT : Ctrl_Recv_Play_TCP)(c.context(), conn, ConnectRequest{}, params, {}))
    return Failed(udt ? nullptr : "Ctrl_Recv_Play_TCP is failed and set STATUS_VIDEO_FAILED.",
                  "the camera's handshake failed");
  PrintParameters(c, params);
  // Four frame intervals a frame, with a bound on what a camera may announce.
  auto frameTime = std::chrono::milliseconds(std::clamp(params.m_VideoTimeGap, 1, 10000)) * 4 * wanted;
  limit.MoveTo(Clock::now() + kFrameSlack + frameTime);
  int rc = ReceiveFrames(c, conn, wanted);
  if (limit.expired()) std::fprintf(stderr, "lumivexctl: time limit reached\n");
  return rc;
}

}  // namespace lumivex::cli
