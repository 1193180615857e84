#pragma once
// What the service hands the web server for one request.

#include <string>
#include <string_view>

namespace lumivex::sim {

// What the web server hands the service.
struct HttpRequest {
  std::string target;
  bool hasUserAgent = false;
  std::string userAgent;
};

struct HttpResponse {
  int status = 200;
  std::string contentType = "text/plain; charset=utf-8";
  std::string body;
  bool gzip = false;   // send with Content-Encoding: gzip
  bool gzipBomb = false;  // instead of the body, gzip of 1 GiB of zeros
  int delayMs = 0;     // wait this long before answering
  std::string refused;  // why the request was refused; empty when it was not
};

// The HTML page of an unknown path (and of the http404 fault).
HttpResponse NotFoundPage(std::string_view target);

}  // namespace lumivex::sim
