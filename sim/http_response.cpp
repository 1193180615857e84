#include "sim/http_response.h"

namespace lumivex::sim {
namespace {

std::string HtmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

HttpResponse NotFoundPage(std::string_view target) {
  HttpResponse r;
  r.status = 404;
  r.contentType = "text/html; charset=utf-8";
  std::string path(target.substr(0, target.find('?')));
  r.body = "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n<body><h1>Not Found</h1>\n<p>" +
           HtmlEscaped(path.substr(0, 200)) + " is not here.</p></body></html>\n";
  return r;
}

}  // namespace lumivex::sim
