// TraversalDatagram: one UDP datagram of the NAT traversal. Input: four
// characters of the device key, then the datagram. The rest is also sealed
// as the text of a datagram, so that the opened JSON is reached as often as
// the framing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/traversal_datagram.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace lumivex;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string key(input.substr(0, 4));
  if (key.size() != 4) return 0;
  std::string_view datagram = input.substr(4);
  Json::Value out;
  if (OpenableDatagram(datagram)) OpenTraversalDatagram(key, datagram, out);
  std::string sealed = fuzz::SealPlain(key, PunchPeerAddress, datagram, kDatagramHeaderBytes);
  if (OpenableDatagram(sealed) && OpenTraversalDatagram(key, sealed, out) && !out.isObject())
    __builtin_trap();
  return 0;
}
