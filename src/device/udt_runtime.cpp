#include "device/udt_runtime.h"

#include <sys/socket.h>

#include <exception>

namespace lumivex {

bool EnsureUdtStarted() {
  static const bool started = [] {
    try {
      return UDT::startup() != UDT::ERROR;
    } catch (const std::exception&) {  // its thread or table could not be made
      return false;
    }
  }();
  return started;
}

void CloseUdtAtOnce(UDTSOCKET socket) {
  linger none{0, 0};
  UDT::setsockopt(socket, 0, UDT_LINGER, &none, sizeof none);
  UDT::close(socket);
}

}  // namespace lumivex
