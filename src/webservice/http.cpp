#include "webservice/http.h"

#include <curl/curl.h>
#include <signal.h>

#include <atomic>
#include <memory>

#include "core/global.h"
#include "core/logging.h"
#include "webservice/envelope.h"

namespace lumivex {
namespace {

struct Transfer {
  const DownloadRequest* request;
  uint64_t bytes = 0;
  bool tooLong = false;
  bool aborted = false;
  bool cancelled = false;
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  size_t n = size * count;
  if (t->bytes + n > t->request->maxBytes) {
    t->tooLong = true;
    return 0;  // makes libcurl fail the transfer
  }
  if (t->request->sink && !t->request->sink(data, n)) {
    t->aborted = true;
    return 0;
  }
  t->bytes += n;
  return n;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  if (t->request->options.cancel.cancelled()) {
    t->aborted = t->cancelled = true;
    return 1;
  }
  if (t->request->progress && !t->request->progress(static_cast<uint64_t>(now), static_cast<uint64_t>(total))) {
    t->aborted = true;
    return 1;
  }
  return 0;
}

std::atomic<bool> g_traceHttp{false};

NetworkCause CauseOf(CURLcode code) {
  switch (code) {
    case CURLE_OK: return NetworkCause::kNone;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return NetworkCause::kNotResolved;
    case CURLE_COULDNT_CONNECT: return NetworkCause::kNotConnected;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return NetworkCause::kTlsVerification;
    case CURLE_OPERATION_TIMEDOUT: return NetworkCause::kTimedOut;
    default: return NetworkCause::kOther;
  }
}

void ApplyOptions(CURL* curl, const TransportOptions& o) {
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, o.tlsVerify ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, o.tlsVerify ? 2L : 0L);
  if (!o.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, o.caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(o.totalTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // every encoding libcurl inflates
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for DNS time-outs
  curl_easy_setopt(curl, CURLOPT_VERBOSE, g_traceHttp ? 1L : 0L);
  if (!o.userAgent.empty()) curl_easy_setopt(curl, CURLOPT_USERAGENT, o.userAgent.c_str());
}

}  // namespace

const char* NetworkCauseText(NetworkCause cause) {
  switch (cause) {
    case NetworkCause::kNotResolved: return "无法解析服务器地址";
    case NetworkCause::kNotConnected: return "无法连接到服务器";
    case NetworkCause::kTlsVerification: return "服务器证书验证失败";
    case NetworkCause::kTimedOut: return "连接服务器超时";
    default: return "";
  }
}

TransportOptions TransportOptionsOf(const Global& g) {
  TransportOptions o;
  o.caFile = g.caFile;
  o.tlsVerify = g.tlsVerify;
  return o;
}

void SetHttpTrace(bool on) { g_traceHttp = on; }

TransportOptions ThumbnailTransportOptions(const Global& g) {
  TransportOptions o = TransportOptionsOf(g);
  o.userAgent = "velmor-Windows";
  return o;
}

bool InitHttpLibrary() {
  // With CURLOPT_NOSIGNAL libcurl leaves SIGPIPE alone, and a peer that hangs
  // up during a TLS write would end the process.
  ::signal(SIGPIPE, SIG_IGN);
  return curl_global_init(CURL_GLOBAL_SSL) == CURLE_OK;
}

void CleanupHttpLibrary() { curl_global_cleanup(); }

DownloadResult DownloadUrl(const DownloadRequest& request) {
  DownloadResult result;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    result.error = "cannot create a transfer handle";
    return result;
  }
  Transfer t{&request};
  curl_easy_setopt(curl.get(), CURLOPT_URL, request.url.c_str());
  ApplyOptions(curl.get(), request.options);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, OnData);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &t);
  // Also without a progress sink: the callback is where a cancellation is seen.
  curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
  if (request.options.cancel.cancelled()) {
    result.aborted = result.cancelled = true;
    result.error = "cancelled";
    return result;
  }
  CURLcode code = curl_easy_perform(curl.get());
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.httpStatus);
  result.bytes = t.bytes;
  result.aborted = t.aborted;
  result.cancelled = t.cancelled;
  result.ok = code == CURLE_OK;
  result.cause = t.tooLong ? NetworkCause::kOther : CauseOf(code);
  if (t.cancelled)
    result.error = "cancelled";
  else if (t.tooLong)
    result.error = "the body exceeds " + std::to_string(request.maxBytes) + " bytes";
  else if (!result.ok)
    result.error = curl_easy_strerror(code);
  return result;
}

bool DownloadUrl(const std::string& url, const TransportOptions& options, std::string& buffer,
                 std::size_t maxBytes, long* httpStatus) {
  buffer.clear();
  DownloadRequest request;
  request.url = url;
  request.options = options;
  request.maxBytes = maxBytes;
  request.sink = [&buffer](const char* data, std::size_t size) {
    buffer.append(data, size);
    return true;
  };
  DownloadResult r = DownloadUrl(request);
  if (httpStatus) *httpStatus = r.httpStatus;
  if (!r.ok) buffer.clear();
  return r.ok;
}

FetchResult HttpFetch(const std::string& url, const TransportOptions& options, std::string& body) {
  FetchResult result;
  DownloadRequest request;
  request.url = url;
  request.options = options;
  request.maxBytes = options.maxBody;
  request.sink = [&body](const char* data, std::size_t size) {
    body.append(data, size);
    return true;
  };
  body.clear();
  DownloadResult r = DownloadUrl(request);
  result.ok = r.ok;
  result.httpStatus = r.httpStatus;
  result.error = r.error;
  result.cause = r.cause;
  result.cancelled = r.cancelled;
  if (!r.ok) body.clear();
  return result;
}

bool HttpGet(const Global& g, const std::string& url, std::string& out, std::size_t outCapacity,
             bool ownKeyReply, FetchResult* fetched, const Cancellation* cancel) {
  out.clear();
  std::string body;
  TransportOptions options = TransportOptionsOf(g);
  if (cancel) options.cancel = *cancel;
  FetchResult r = HttpFetch(url, options, body);
  if (fetched) *fetched = r;
  if (!r.ok) {
    LogLine("curl_easy_perform failed____Line399.");
    LogInfo("HttpGet: " + r.error);
    return false;
  }
  if (ownKeyReply)
    DecodeOwnKeyReply(body, out, outCapacity);
  else
    DecodeSharedKeyReply(g.m_KeyValue.str(), body, out, outCapacity);
  return true;
}

}  // namespace lumivex
