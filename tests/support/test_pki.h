#pragma once
// A private CA and a server certificate for 127.0.0.1 / localhost, made fresh
// for a test run, so TLS is checked against a CA the system does not know.

#include <string>

namespace lumivex::test {

struct TestPki {
  std::string caCertPem;
  std::string serverCertPem;
  std::string serverKeyPem;
};

// Throws std::runtime_error when OpenSSL refuses (never expected).
// subjectAltNames in OpenSSL's form, e.g. "IP:127.0.0.1,DNS:localhost".
TestPki MakeTestPki(const std::string& subjectAltNames = "IP:127.0.0.1,DNS:localhost");

}  // namespace lumivex::test
