#pragma once
// The cameras' clock: milliseconds since the sim started, in the packets'
// timestamps and the control log alike.

#include <cstdint>

namespace lumivex::sim {

int32_t StreamClockMs();

}  // namespace lumivex::sim
