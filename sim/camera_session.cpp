#include "sim/camera_session.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "sim/camera_stream.h"
#include "sim/playback_stream.h"
#include "sim/playback_time.h"
#include "sim/sim_log.h"
#include "webservice/crypto.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kConnectMembers[] = {"type", "identity", "umac",           "sid",
                                           "netType", "link-type", "video-playback", "protocol"};

// Reads and drops everything until the client hangs up or the sim stops.
void Drain(Link& link, PacketSplitter& splitter, const std::atomic<bool>& stop) {
  std::string packet, why;
  while (!stop && ReceivePacket(link, splitter, 200, packet, why) >= 0) {
  }
}

// "video-playback" "0" live, or "1" with the hour to play back.
std::string CheckPlaybackMembers(const Json::Value& m) {
  const std::string playback = m["video-playback"].asString();
  const bool dated = m.isMember("request-date");
  if (playback == "0")
    return dated ? "\"request-date\" with \"video-playback\" \"0\" (live)" : std::string();
  if (playback != "1") return "\"video-playback\" is \"" + playback + "\" (expected \"0\" or \"1\")";
  if (!dated) return "\"video-playback\" \"1\" without \"request-date\"";
  RequestHour hour;
  std::string why;
  return ParseRequestHour(m["request-date"].asString(), hour, why) ? std::string() : why;
}

}  // namespace

uint32_t FirstFrameNumber(SimCamera& camera) {
  if (camera.config.fixedFirstFrame) return static_cast<uint32_t>(camera.config.firstFrameNumber);
  return static_cast<uint32_t>(camera.nextStreamBase.fetch_add(1000000));
}

std::string LogText(const Json::Value& message) {
  std::string text = CompactJson(message);
  text.pop_back();
  return text;
}

bool ReadConnect(Link& link, const KeyRing& keys, PacketSplitter& splitter, const std::atomic<bool>& stop,
                 const std::string& who, ConnectRequest& out) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectWaitMs);
  const std::string peer = link.Describe();
  std::string packet, why;
  while (!stop) {
    if (Clock::now() >= deadline) {
      LogNote(who + ": " + peer + " sent no connect message within " + std::to_string(kConnectWaitMs / 1000) + " s");
      return false;
    }
    int rc = ReceivePacket(link, splitter, 200, packet, why);
    if (rc == kStreamEnded) {
      LogNote(who + ": " + peer + " ended before its connect message: " + why);
      return false;
    }
    if (rc == kStreamUnfollowable) {
      LogRefused(who, peer + ": " + why);
      return false;
    }
    if (rc == 0) continue;
    if (static_cast<uint8_t>(packet[0]) != kInteractive) {
      LogRefused(who, peer + ": the first packet is not an interactive packet");
      return false;
    }
    if (!OpenWithAnyKey(packet, keys ? keys() : std::vector<SessionKey>{}, kPacketHeader, out.message, out.key)) {
      LogRefused(who, peer + ": the connect packet opens with no session's keyValue");
      return false;
    }
    out.packet = std::move(packet);
    return true;
  }
  return false;
}

std::string CheckConnect(const Json::Value& m, const std::string& sid, const SessionKey& key, bool udt) {
  for (const std::string& name : m.getMemberNames()) {
    const bool known = std::find(std::begin(kConnectMembers), std::end(kConnectMembers), name) !=
                       std::end(kConnectMembers);
    if (!known && name != "request-date") return "unexpected member \"" + name + "\"";
    if (!m[name].isString()) return "\"" + name + "\" is not a JSON string";
  }
  for (const char* name : kConnectMembers)
    if (!m.isMember(name)) return std::string("no \"") + name + "\"";
  auto is = [&](const char* name, const char* value) { return m[name].asString() == value; };
  if (!is("type", "connect")) return "\"type\" is not \"connect\"";
  if (!is("identity", "client")) return "\"identity\" is not \"client\"";
  if (m["sid"].asString() != sid) return "\"sid\" is \"" + m["sid"].asString() + "\", this camera is " + sid;
  const std::string umac = m["umac"].asString();
  if (umac.find(',') == std::string::npos) return "\"umac\" is not \"<user>,<mac>\"";
  if (!key.umac.empty() && umac != key.umac) return "\"umac\" is \"" + umac + "\", the session's is " + key.umac;
  if (!is("netType", "4")) return "\"netType\" is not \"4\"";
  const std::string link = m["link-type"].asString();
  if (udt ? link != "4" : (link != "2" && link != "3" && link != "5"))
    return "\"link-type\" \"" + link + (udt ? "\" over UDT (expected 4)" : "\" over TCP (expected 2, 3 or 5)");
  if (!is("protocol", udt ? "3.0" : "v2.0"))
    return std::string("\"protocol\" is not \"") + (udt ? "3.0" : "v2.0") + "\"";
  return CheckPlaybackMembers(m);
}

CameraAudio AudioFor(const CameraConfig& config, bool udt) {
  return udt && config.audio == CameraAudio::kAac ? CameraAudio::kSpeex : config.audio;
}

Json::Value ConnectReply(const Clip& clip, int bitRate, CameraAudio audio, int audioSample) {
  Json::Value r(Json::objectValue);
  r["type"] = "connect";
  r["width"] = std::to_string(clip.key.width);
  r["height"] = std::to_string(clip.key.height);
  r["timeGap"] = std::to_string(kClipTimeGapMs);
  r["bitRate"] = std::to_string(bitRate);
  if (audio == CameraAudio::kAac) {
    r["audioType"] = "aac";
    r["audioSample"] = std::to_string(audioSample);
  }
  r["sps"] = Base64Encode(clip.sps);
  r["pps"] = Base64Encode(clip.pps);
  return r;
}

void ServeCamera(Link& link, bool udt, SimCamera& camera, const ConnectRequest& request, PacketSplitter& splitter,
                 CameraServices& services) {
  const std::string who = "camera " + camera.sid;
  LogNote(who + " got " + LogText(request.message) + " from " + link.Describe());
  if (std::string why = CheckConnect(request.message, camera.sid, request.key, udt); !why.empty())
    return LogRefused(who, why);
  const CameraConfig& config = camera.config;
  if (config.neverAnswer) {
    LogNote(who + " does not answer (neverAnswer)");
    return Drain(link, splitter, services.stop);
  }
  if (request.message["video-playback"].asString() == "1")
    return ServePlayback(link, udt, camera, request, splitter, services);
  auto clip = services.clips.Request({config.width, config.height, config.bitRate, camera.name, 0}).get();
  if (!clip) return LogError(who + ": no clip to stream, hanging up");

  const CameraAudio audio = AudioFor(config, udt);
  CameraStream stream({link, camera, request.key, splitter, services, udt, request.message["umac"].asString()}, clip,
                      audio);
  if (config.mediaBeforeReply && !stream.SendEarlyMedia()) return;
  std::string reply;
  if (!SealMessage(kInteractive, ConnectReply(*clip, config.bitRate, audio, config.audioSample),
                   request.key.keyValue, kPacketHeader, reply))
    return LogError(who + ": the connect reply cannot be sealed");
  if (config.replyDelayMs > 0) {
    LogNote(who + " holds the reply " + std::to_string(config.replyDelayMs) + " ms (replyDelayMs)");
    // the client sends nothing before the reply: wait, watching only the stop
    const auto until = Clock::now() + std::chrono::milliseconds(config.replyDelayMs);
    while (!services.stop && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (services.stop) return;
  }
  if (!link.Send(reply)) return LogNote(who + ": the client is gone before the reply");
  if (!stream.AwaitStartup()) return;
  stream.Run();
}

int ReceivePacket(Link& link, PacketSplitter& splitter, int waitMs, std::string& packet, std::string& why) {
  auto next = [&]() {
    int rc = splitter.Next(packet);
    if (rc >= 0) return rc;
    why = "a packet of unknown type or impossible length";
    return kStreamUnfollowable;
  };
  if (int rc = next(); rc != 0) return rc;
  int ready = link.Wait(waitMs);
  if (ready == 0) return 0;
  if (ready < 0) {
    why = "the connection failed";
    return kStreamEnded;
  }
  char buffer[8192];
  int n = link.Read(buffer, sizeof buffer);
  if (n == 0 || n == -1) {
    why = n == 0 ? "the client hung up" : "the connection failed";
    return kStreamEnded;
  }
  if (n > 0) splitter.Add(buffer, static_cast<std::size_t>(n));
  return next();
}

}  // namespace lumivex::sim
