#include "device/udt_runtime.h"

#include <udt/udt.h>

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

}  // namespace lumivex
