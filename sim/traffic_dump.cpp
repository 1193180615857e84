#include "sim/traffic_dump.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include <json/writer.h>

namespace lumivex::sim {
namespace {

constexpr int kFilesPerFolder = 40;
constexpr int kPacketsPerType = 12;        // session_packet: of each type byte
constexpr std::size_t kStreamBytes = 12288;  // frame_ring: the start of a session
constexpr std::size_t kMinStreamBytes = 2048;
constexpr int kStreams = 8;

struct Dump {
  std::mutex mutex;
  std::filesystem::path dir;  // empty: off
  std::map<std::string, int> written;
  std::set<std::string> seen;  // folder + content: a repeated message is written once
  std::map<const void*, std::string> streams;  // the start of each link, key first
  std::map<const void*, bool> streamDone;
};

Dump& State() {
  static Dump dump;
  return dump;
}

// Read without the lock, so that a sim without --dump-dir pays nothing.
std::atomic<bool> enabled{false};
thread_local std::string lastKey = "0000";

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

// Under the lock.
void WriteLocked(Dump& d, const std::string& folder, std::string_view bytes, const std::string& counter) {
  int& n = d.written[counter];
  if (n >= (counter == folder ? kFilesPerFolder : kPacketsPerType)) return;
  if (!d.seen.insert(folder + '/' + std::string(bytes)).second) return;
  ++n;
  std::error_code ec;
  std::filesystem::create_directories(d.dir / folder, ec);
  char name[48];
  std::snprintf(name, sizeof name, "%s-%03d", counter == folder ? "sim" : counter.c_str() + folder.size() + 1, n);
  std::ofstream out(d.dir / folder / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Write(const std::string& folder, std::string_view bytes, const std::string& counter = {}) {
  Dump& d = State();
  std::lock_guard lock(d.mutex);
  if (d.dir.empty()) return;
  WriteLocked(d, folder, bytes, counter.empty() ? folder : counter);
}

const char* FolderOf(std::string_view operation) {
  if (operation == "login") return "login_reply";
  if (operation == "devList") return "device_list_reply";
  if (operation == "current") return "connection_answer";
  if (operation == "playBack") return "day_list_reply";
  if (operation == "bindUserList") return "bound_users_reply";
  if (operation == "initPassword") return "recovery_reply";
  return nullptr;
}

void FlushStreamLocked(Dump& d, const void* link) {
  auto it = d.streams.find(link);
  if (it == d.streams.end()) return;
  if (it->second.size() >= kMinStreamBytes) WriteLocked(d, "frame_ring", it->second, "frame_ring");
  d.streams.erase(it);
}

}  // namespace

bool StartTrafficDump(const std::string& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir)) {
    error = dir + ": cannot create the dump folder";
    return false;
  }
  Dump& d = State();
  std::lock_guard lock(d.mutex);
  d.dir = dir;
  enabled = true;
  return true;
}

void DumpWebReply(std::string_view keyValue, std::string_view body) {
  if (!enabled) return;
  std::string key(keyValue.substr(0, 4));
  key.resize(4, '0');
  Write("reply_decoder", key + std::string(body));
}

void DumpInnerReply(std::string_view operation, const Json::Value& inner) {
  if (!enabled || inner.isNull()) return;
  std::string text = Compact(inner);
  if (const char* folder = FolderOf(operation)) Write(folder, text);
  Write("inner_reply", text);
}

void DumpOwnKeyDocument(const Json::Value& document) {
  if (enabled) Write("version_reply", Compact(document));
}

void DumpSealed(const Json::Value& message, std::string_view keyValue, std::size_t headerSize) {
  if (!enabled) return;
  lastKey = std::string(keyValue.substr(0, 4));
  if (headerSize == 8 && message.isObject() && message.get("type", "").asString() == "connect")
    Write("stream_handshake", Compact(message));
}

void DumpCameraPacket(const void* link, std::string_view packet) {
  if (!enabled || packet.empty()) return;
  char type[24];
  std::snprintf(type, sizeof type, "session_packet/%02x", static_cast<unsigned>(static_cast<uint8_t>(packet[0])));
  Write("session_packet", lastKey + std::string(packet), type);
  Dump& d = State();
  std::lock_guard lock(d.mutex);
  if (d.dir.empty() || d.streamDone[link] || d.written["frame_ring"] >= kStreams) return;
  std::string& stream = d.streams[link];
  if (stream.empty()) stream = lastKey;
  stream.append(packet);
  if (stream.size() >= kStreamBytes) {
    FlushStreamLocked(d, link);
    d.streamDone[link] = true;
  }
}

void DumpLinkClosed(const void* link) {
  if (!enabled) return;
  Dump& d = State();
  std::lock_guard lock(d.mutex);
  if (d.dir.empty()) return;
  FlushStreamLocked(d, link);
  d.streamDone.erase(link);
}

void DumpDatagram(std::string_view keyValue, std::string_view datagram) {
  if (!enabled) return;
  std::string key(keyValue.substr(0, 4));
  key.resize(4, '0');
  Write("traversal_datagram", key + std::string(datagram));
}

void DumpLanAnswer(std::string_view answer) {
  if (enabled) Write("lan_answer", answer);
}

}  // namespace lumivex::sim
