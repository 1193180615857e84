#pragma once
// A private CA and a server certificate signed by it, made fresh at start, so
// clients check TLS against a CA that the system does not know.

#include <string>

namespace lumivex::sim {

struct Pki {
  std::string caCertPem;
  std::string serverCertPem;
  std::string serverKeyPem;
};

// Throws std::runtime_error when OpenSSL refuses (never expected).
// subjectAltNames in OpenSSL's form, e.g. "IP:127.0.0.1,DNS:localhost".
Pki MakePki(const std::string& subjectAltNames = "IP:127.0.0.1,DNS:localhost");

}  // namespace lumivex::sim
