#pragma once
// One HTTP GET per web operation, and plain downloads (thumbnails, installers).
// Every call owns its own libcurl handle; nothing is shared but libcurl's
// process-wide initialisation (InitHttpLibrary).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/cancellation.h"

namespace lumivex {

struct Global;

inline constexpr std::size_t kHttpMaxBody = 524288;

struct TransportOptions {
  std::string caFile;   // a private CA to trust besides the system's
  bool tlsVerify = true;  // peer and host verification; off only when asked for
  std::chrono::milliseconds connectTimeout{15000};
  std::chrono::milliseconds totalTimeout{20000};
  std::size_t maxBody = kHttpMaxBody;  // a longer body fails the call
  std::string userAgent;  // empty: no User-Agent header
  Cancellation cancel;    // a cancelled transfer ends within libcurl's progress interval
};

TransportOptions TransportOptionsOf(const Global& g);
// The device tree's Internet handle: the same, naming itself "velmor-Windows".
TransportOptions ThumbnailTransportOptions(const Global& g);

// libcurl's own trace of every transfer on standard error (--trace-http).
void SetHttpTrace(bool on);

// libcurl's global start-up with its SSL part, and its clean-up.
bool InitHttpLibrary();
void CleanupHttpLibrary();

// Why a transfer failed, where libcurl tells a cause a user can act on.
enum class NetworkCause { kNone, kNotResolved, kNotConnected, kTlsVerification, kTimedOut, kOther };

// The user's words for a cause; empty for kNone and kOther.
const char* NetworkCauseText(NetworkCause cause);

struct FetchResult {
  bool ok = false;      // the transfer completed (whatever the HTTP status)
  long httpStatus = 0;
  std::string error;    // libcurl's message when !ok
  NetworkCause cause = NetworkCause::kNone;
  bool cancelled = false;  // options.cancel ended it
};

// The raw transfer: the whole body into body, bounded by options.maxBody.
FetchResult HttpFetch(const std::string& url, const TransportOptions& options, std::string& body);

// The web operation's GET: fetches url and decodes the body with the reply
// decoder chosen by ownKeyReply into out (at most outCapacity - 1 bytes).
// The HTTP status is not looked at: an error page decodes to text that does
// not parse, and the caller reports that. fetched, when given, tells why a
// transfer failed; cancel, when given, ends the transfer when cancelled.
bool HttpGet(const Global& g, const std::string& url, std::string& out, std::size_t outCapacity,
             bool ownKeyReply, FetchResult* fetched = nullptr, const Cancellation* cancel = nullptr);

// Receives each block; false aborts the transfer.
using DownloadSink = std::function<bool(const char* data, std::size_t size)>;
// received and total bytes so far (total 0 when the server sent no length);
// false aborts the transfer.
using DownloadProgress = std::function<bool(uint64_t received, uint64_t total)>;

struct DownloadRequest {
  std::string url;
  TransportOptions options;
  uint64_t maxBytes = 1 << 20;  // the caller's buffer; more fails the download
  DownloadSink sink;
  DownloadProgress progress;  // optional
};

struct DownloadResult {
  bool ok = false;
  bool aborted = false;  // the sink, the progress callback or the cancellation stopped it
  bool cancelled = false;  // request.options.cancel stopped it
  long httpStatus = 0;
  uint64_t bytes = 0;
  std::string error;
  NetworkCause cause = NetworkCause::kNone;
};

DownloadResult DownloadUrl(const DownloadRequest& request);

// Convenience: the whole body into buffer, at most maxBytes.
bool DownloadUrl(const std::string& url, const TransportOptions& options, std::string& buffer,
                 std::size_t maxBytes, long* httpStatus = nullptr);

}  // namespace lumivex
