#include "device/traversal_datagram.h"

namespace lumivex {

bool SealTraversalDatagram(std::string_view devKey, uint8_t type, const JsonMessage& message,
                           std::string& out) {
  return Seal(devKey, type, message, kDatagramHeaderBytes, out);
}

bool OpenableDatagram(std::string_view datagram) {
  int32_t digits = LengthField(datagram);
  return datagram.size() >= kDatagramHeaderBytes && digits >= 1 && digits <= kMaxDatagramDigits;
}

bool OpenTraversalDatagram(std::string_view devKey, std::string_view datagram, Json::Value& out) {
  return OpenableDatagram(datagram) && Open(devKey, datagram, kDatagramHeaderBytes, out);
}

}  // namespace lumivex
