#pragma once
// Sockets bound to 127.0.0.1 on a free port, for tests that play a peer.

#include <cstdint>

namespace lumivex::test {

// A socket of type (SOCK_STREAM, SOCK_DGRAM) bound to 127.0.0.1:0; its port
// in port. -1 when the system refuses.
int BindLoopback(int type, uint16_t& port);

}  // namespace lumivex::test
