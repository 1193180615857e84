#include "webservice/request.h"

#include <json/reader.h>

#include <memory>

#include "core/deployment.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/text.h"
#include "webservice/envelope.h"
#include "webservice/http.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

const Json::Value* Find(const Json::Value& object, const char* name) {
  if (!object.isObject()) return nullptr;
  const Json::Value* member = object.find(name, name + std::char_traits<char>::length(name));
  return member && !member->isNull() ? member : nullptr;
}

bool Wrapped(const ServiceContext& ctx, const ServiceRequest& request, std::string& url) {
  if (!request.fields.ok()) return false;
  std::string text = request.fields.text();
  std::string data;
  switch (request.wrap) {
    case Wrap::kEnvelope:
      return BuildEnvelope(ctx.g, text, request.urlPrefix, url);
    case Wrap::kSharedKey:
      if (!SharedKeyWrap(ctx.g.m_KeyValue.str(), text, data)) return false;
      break;
    case Wrap::kOwnKey:
      if (!OwnKeyWrap(text, data)) return false;
      break;
  }
  url = request.urlPrefix + data;
  return true;
}

// Every value beyond the first in an array or object follows a comma, and
// every container opens with a bracket: their count bounds the values
// before any is built.
bool WithinJsonValueBound(std::string_view text) {
  std::size_t count = 0;
  bool inString = false, escaped = false;
  for (char c : text) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if ((c == ',' || c == '[' || c == '{') && ++count > kMaxJsonValues) {
      return false;
    }
  }
  return true;
}

}  // namespace

FieldString& FieldString::Add(std::string_view name, std::string_view value) {
  if (value.find_first_of(std::string_view("&\0", 2)) != std::string_view::npos) ok_ = false;
  if (!text_.empty()) text_ += '&';
  text_.append(name);
  text_ += ':';
  text_.append(value);
  return *this;
}

FieldString& FieldString::Add(std::string_view name, int value) {
  return Add(name, DecimalText(value));
}

bool ServiceReply::StatusIs(std::string_view expected) const {
  return received() && EqualsIgnoreCase(status, expected);
}

ServiceRequest EnvelopeRequest(const ServiceContext& ctx, std::string_view operation,
                               const FieldString& fields, std::size_t replyCapacity) {
  ServiceRequest request;
  request.operation = std::string(operation);
  request.urlPrefix = OperationUrlPrefix(ctx.g, operation);
  request.fields = fields;
  request.wrap = Wrap::kEnvelope;
  request.replyCapacity = replyCapacity;
  return request;
}

ServiceReply SendRequest(const ServiceContext& ctx, const ServiceRequest& request) {
  ServiceReply reply;
  const std::string& op = request.operation;
  std::string url;
  if (!Wrapped(ctx, request, url)) {
    LogLine(op + ".do: the request could not be built");
    reply.result = ServiceReply::Result::kWrapFailed;
    return reply;
  }
  std::string text;
  FetchResult fetched;
  if (!HttpGet(ctx.g, url, text, request.replyCapacity, request.wrap == Wrap::kOwnKey, &fetched,
               &request.cancel)) {
    LogLine(op + (fetched.cancelled ? ".do: cancelled" : ".do: the transfer failed"));
    reply.result = ServiceReply::Result::kFetchFailed;
    reply.cause = fetched.cause;
    reply.cancelled = fetched.cancelled;
    return reply;
  }
  if (!ParseJsonObject(text, reply.document) || !ReadText(reply.document, "status", reply.status)) {
    LogLine(op + ".do: the reply is not a JSON object with a text status");
    reply.document = Json::Value();
    reply.result = ServiceReply::Result::kNotJson;
    return reply;
  }
  reply.result = ServiceReply::Result::kReceived;
  return reply;
}

InnerResult OpenInnerReply(const ServiceContext& ctx, const ServiceReply& reply,
                           std::size_t innerCapacity, Json::Value& inner, std::string* aesKey) {
  std::string sk, biz, key, text;
  if (!ctx.keyPair || !reply.received() || !ReadText(reply.document, "sk", sk) ||
      !ReadText(reply.document, "biz", biz) ||
      !DecodeInnerReply(*ctx.keyPair, sk, biz, key, text, innerCapacity)) {
    LogLine("the inner layer of the reply does not open");
    return InnerResult::kDecodeFailed;
  }
  if (!ParseJsonObject(text, inner)) {
    LogLine("the inner document of the reply is not a JSON object");
    return InnerResult::kNotJson;
  }
  if (aesKey) *aesKey = std::move(key);
  return InnerResult::kOpened;
}

bool ParseJsonObject(std::string_view text, Json::Value& out) {
  if (!WithinJsonValueBound(text)) {
    LogLine("JSON text with more than " + DecimalText(kMaxJsonValues) + " values refused");
    return false;
  }
  Json::CharReaderBuilder builder;  // default: comments allowed, text after the root ignored
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  bool parsed = false;
  try {
    parsed = reader->parse(text.data(), text.data() + text.size(), &value, &errors);
  } catch (const std::exception&) {  // jsoncpp throws on a nesting deeper than its limit
    parsed = false;
  }
  if (!parsed || !value.isObject()) return false;
  out = std::move(value);
  return true;
}

bool ReadText(const Json::Value& object, const char* name, std::string& out) {
  const Json::Value* member = Find(object, name);
  if (!member) {
    out.clear();
    return true;
  }
  if (!member->isString()) return false;
  out = member->asString();
  return true;
}

bool ReadNumber(const Json::Value& object, const char* name, int32_t& out, int32_t missing) {
  const Json::Value* member = Find(object, name);
  if (!member) {
    out = missing;
    return true;
  }
  if (!member->isInt()) return false;  // also refuses fractions and values beyond int32
  out = member->asInt();
  return true;
}

bool ReadObject(const Json::Value& object, const char* name, const Json::Value*& out) {
  const Json::Value* member = Find(object, name);
  out = nullptr;
  if (!member) return true;
  if (!member->isObject()) return false;
  out = member;
  return true;
}

bool ReadArray(const Json::Value& object, const char* name, const Json::Value*& out) {
  const Json::Value* member = Find(object, name);
  out = nullptr;
  if (!member) return true;
  if (!member->isArray()) return false;
  out = member;
  return true;
}

}  // namespace lumivex
