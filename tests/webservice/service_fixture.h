#pragma once
// A signed-in client (keys, token, user) against a local plain-HTTP service
// double whose answers each test scripts. Every request the client sends is
// opened and kept, so tests compare the exact field strings.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/notifier.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "webservice/http.h"
#include "webservice/service_context.h"
#include "webservice/service_double.h"

namespace lumivex::test {

class RecordingNotifier : public Notifier {
 public:
  void MessageBox(const std::string& title, const std::string& text) override {
    Add("box " + title + ": " + text);
  }
  void MessageBoxAndWait(const std::string& title, const std::string& text) override {
    Add("wait " + title + ": " + text);
  }
  bool AskYesNo(const std::string& title, const std::string& text) override {
    Add("ask " + title + ": " + text);
    return answerYes;
  }
  void Tip(const std::string& text, int) override { Add("tip: " + text); }
  void Status(const std::string& text) override { Add("status: " + text); }
  void Repaint() override { Add("repaint"); }

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // The events without the repaints.
  std::vector<std::string> Shown() {
    std::vector<std::string> shown;
    for (const std::string& e : Events())
      if (e != "repaint") shown.push_back(e);
    return shown;
  }

  bool answerYes = true;

 private:
  void Add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
};

using Answer = std::function<HttpReply(const ServiceDouble::Request&)>;
using Strings = std::vector<std::string>;

class ServiceFixture : public ::testing::Test {
 protected:
  static constexpr char kMac[] = "00:1a:2b:3c:4d:5e";
  static constexpr char kToken[] = "tok-7f3e";
  static constexpr char kTime[] = "1700000000";

  static void SetUpTestSuite() {
    InitHttpLibrary();
    service_ = new ServiceDouble;
  }
  static void TearDownTestSuite() {
    delete service_;
    service_ = nullptr;
  }

  void SetUp() override {
    std::filesystem::create_directories(dir_.path() / "config");
    server_ = std::make_unique<HttpTestServer>([this](const std::string& target) {
      ServiceDouble::Request request;
      if (!service_->Open(target, request)) {
        ADD_FAILURE() << "the service cannot open " << target;
        return HttpReply{500, "text/plain", "unreadable"};
      }
      Answer answer;
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        answer = answer_;
      }
      return answer ? answer(request) : HttpReply{404, "text/html", "<html>no such page</html>"};
    });
    g_.m_Scheme = "http";
    g_.m_Host = "127.0.0.1";
    g_.port = server_->port();
    g_.m_WebPort = server_->port();
    g_.m_KeyValue = service_->keyValue;
    g_.m_ServerExp = service_->expHex;
    g_.m_ServerMod = service_->modHex;
    g_.m_Mac = kMac;
    g_.m_Token = kToken;
    g_.m_TimeStamp = kTime;
    g_.m_Password = raw::Md5Hex("secret1");
    ctx_.keyPair = ClientKeyPair::Generate();
    ASSERT_TRUE(ctx_.keyPair);
    g_.m_ClientExp = ctx_.keyPair->ExponentHex();
    g_.m_ClientMod = ctx_.keyPair->ModulusHex();
    settings_.userName = "alice";
    settings_.configPath = ConfigFile("alice");
  }

  void Script(Answer answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
  }
  std::vector<ServiceDouble::Request> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  Strings Fields() {
    Strings fields;
    for (const auto& r : Requests()) fields.push_back(r.operation + " " + r.fields);
    return fields;
  }

  // Replies as the service seals them.
  HttpReply Status(const std::string& status) {
    return {200, "text/plain", service_->SealShared("{\"status\":\"" + status + "\"}")};
  }
  HttpReply Ok(const std::string& inner) {
    return {200, "text/plain",
            service_->SealShared("{\"status\":\"OK\"" + Inner(inner) + "}")};
  }
  std::string Inner(const std::string& inner) {
    return ServiceDouble::InnerMembers(inner, g_.m_ClientExp.str(), g_.m_ClientMod.str());
  }
  static HttpReply NotJson() { return {404, "text/html", "<html><body>Not Found</body></html>"}; }

  std::string ConfigFile(const std::string& user) {
    return (dir_.path() / "config" / (user + "_config.xml")).string();
  }
  // The envelope's fixed fields around the sealed parts.
  std::string Head() const {
    return "cl:" + g_.m_ClientType.str() + "&cv:" + g_.m_ClientVersion.str() + "&pv:" +
           g_.m_ProtocolVersion.str();
  }
  std::string ExpMod() const {
    return "exp:" + g_.m_ClientExp.str() + "&mod:" + g_.m_ClientMod.str();
  }

  static ServiceDouble* service_;
  TempDir dir_;
  Global g_;
  UserSettings settings_;
  RecordingNotifier notifier_;
  ServiceContext ctx_{g_, settings_, notifier_, dir_.str()};
  std::unique_ptr<HttpTestServer> server_;

 private:
  std::mutex mutex_;
  std::vector<ServiceDouble::Request> requests_;
  lumivex::test::Answer answer_;
};

inline ServiceDouble* ServiceFixture::service_ = nullptr;

}  // namespace lumivex::test
