#pragma once
// The one path every web operation takes: plain field string -> wrap ->
// HttpGet -> JSON -> "status" -> inner layer -> inner JSON, and the reading
// of reply members by the rules of the service (text members as JSON
// strings, a missing member as empty, a member of another type as a
// malformed reply). Nothing here throws or reports to the user.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <json/value.h>

#include "webservice/http.h"

namespace lumivex {

struct ServiceContext;

// "name:value" pairs joined by "&", in the order added.
class FieldString {
 public:
  FieldString& Add(std::string_view name, std::string_view value);
  FieldString& Add(std::string_view name, int value);  // as "%d" prints it

  // False when a value held "&" or a NUL: the service would read other
  // pairs than the ones meant, so such a request is never sent.
  bool ok() const { return ok_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  bool ok_ = true;
};

enum class Wrap {
  kEnvelope,   // RequestEnvelope; shared-key reply
  kSharedKey,  // DES layer under m_KeyValue alone; shared-key reply
  kOwnKey,     // DES layer under clear key characters; own-key reply
};

struct ServiceRequest {
  std::string operation;  // "devList": names the log lines
  std::string urlPrefix;  // up to and including "?data="
  FieldString fields;
  Wrap wrap = Wrap::kEnvelope;
  std::size_t replyCapacity = 262144;
  Cancellation cancel;  // the worker's: a cancelled request ends its transfer at once
};

struct ServiceReply {
  enum class Result { kWrapFailed, kFetchFailed, kNotJson, kReceived };
  Result result = Result::kWrapFailed;
  Json::Value document;  // the outer object, when received
  std::string status;    // its "status" text
  NetworkCause cause = NetworkCause::kNone;  // why a transfer failed
  bool cancelled = false;  // kFetchFailed because request.cancel was cancelled: report nothing

  bool received() const { return result == Result::kReceived; }
  bool StatusIs(std::string_view expected) const;  // ignoring case
};

// Builds the URL of an operation under OperationUrlPrefix with the envelope.
ServiceRequest EnvelopeRequest(const ServiceContext& ctx, std::string_view operation,
                               const FieldString& fields, std::size_t replyCapacity);

ServiceReply SendRequest(const ServiceContext& ctx, const ServiceRequest& request);

enum class InnerResult { kOpened, kDecodeFailed, kNotJson };

// Opens "sk"/"biz" of a received reply into inner (an object). aesKey, when
// given, receives the 16-byte key the service sent.
InnerResult OpenInnerReply(const ServiceContext& ctx, const ServiceReply& reply,
                           std::size_t innerCapacity, Json::Value& inner,
                           std::string* aesKey = nullptr);

// A parsed value costs jsoncpp about fifty times its text: a reply may hold
// no more values than any real one comes near (a device page has a few
// hundred), so a hostile 256 KiB array cannot cost tens of megabytes.
inline constexpr std::size_t kMaxJsonValues = 8192;

// The whole text as one JSON object (trailing white space allowed), with no
// more than kMaxJsonValues values.
bool ParseJsonObject(std::string_view text, Json::Value& out);

// Member readers: false only for a member of another type. A missing member
// (or an explicit null) reads as empty text, as missing (0 unless said), or a
// null pointer. Numbers are JSON integers within int32.
bool ReadText(const Json::Value& object, const char* name, std::string& out);
bool ReadNumber(const Json::Value& object, const char* name, int32_t& out, int32_t missing = 0);
bool ReadObject(const Json::Value& object, const char* name, const Json::Value*& out);
bool ReadArray(const Json::Value& object, const char* name, const Json::Value*& out);

}  // namespace lumivex
