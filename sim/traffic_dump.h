#pragma once
// --dump-dir: what the sim sends, one file per message, in folders named
// after the fuzz target that eats it (fuzz/README.md), as seeds for the
// fuzz targets. Each folder keeps at most a few dozen files; everything is
// a no-op until StartTrafficDump names a folder. Thread-safe.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <json/value.h>

namespace lumivex::sim {

// False when the folder cannot be made.
bool StartTrafficDump(const std::string& dir, std::string& error);

// A web reply body under the session's shared key, or an own-key one.
void DumpWebReply(std::string_view keyValue, std::string_view body);
// The inner document an operation seals for the client.
void DumpInnerReply(std::string_view operation, const Json::Value& inner);
// A reply document of the older operations (own key, no inner layer).
void DumpOwnKeyDocument(const Json::Value& document);
// A camera message sealed under keyValue: the connect reply's text goes to
// the handshake's folder; the key is remembered for this thread's packets.
void DumpSealed(const Json::Value& message, std::string_view keyValue, std::size_t headerSize);
// A packet a camera sends on link, and the end of that link.
void DumpCameraPacket(const void* link, std::string_view packet);
void DumpLinkClosed(const void* link);
void DumpDatagram(std::string_view keyValue, std::string_view datagram);
void DumpLanAnswer(std::string_view answer);

}  // namespace lumivex::sim
