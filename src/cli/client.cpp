#include "cli/client.h"

#include "app/sign_in.h"
#include "config/user_config.h"
#include "core/logging.h"
#include "core/net_info.h"
#include "core/program_folder.h"
#include "core/startup.h"
#include "webservice/handshake.h"
#include "webservice/http.h"
#include "webservice/login.h"

namespace lumivex::cli {

Client::Client(Options options) : options_(std::move(options)) {}

int Client::Fail(const std::string& why) {
  std::cerr << "lumivexctl: " << why << "\n";
  return kExitFailed;
}

bool Client::PrepareFolders(std::string& error) {
  const ProgramLayout layout = ResolveLayout(options_.home);
  if (!PrepareLayout(layout, error) || !InitLogging(LogOptionsOf(layout, "lumivexctl", options_.verbose), error))
    return false;
  layout_ = layout;
  SetHttpTrace(options_.traceHttp);
  return true;
}

bool Client::Prepare(std::string& error) {
  DeploymentSettings deployment;
  if (!ResolveDeployment(layout_, options_.overrides, deployment, error) ||
      !ApplyDeployment(deployment, layout_.programFolder, g_, error))
    return false;
  ctx_ = std::make_unique<ServiceContext>(g_, settings_, notifier_, layout_.programFolder);
  ctx_->exitProcess = cameras_.ExitAfterDiscovery();
  return true;
}

int Client::Run() {
  std::string error = CheckArguments(options_.command);
  if (!error.empty()) {
    std::cerr << "lumivexctl: " << error << "\n" << Usage();
    return kExitUsage;
  }
  if (!PrepareFolders(error)) return Fail(error);
  if (!Prepare(error)) {
    std::cerr << "lumivexctl: " << error << "\n";
    return kExitUsage;
  }
  const std::string& command = options_.command[0];
  if (command == "info" || command == "fetch") {
    if (!InitHttpLibrary()) return kExitFailed;
    GetLocalNetInfo(g_);
    int rc = RunCommand(*this);
    CleanupHttpLibrary();
    return rc;
  }
  return RunSignedIn();
}

// The client's own start-up, with the command where the main window would
// run. lumivexctl takes no single-instance lock: it may run beside the
// desktop client.
int Client::RunSignedIn() {
  const bool recovering = options_.command[0] == "recover";
  StartupSteps steps;
  steps.acquireInstance = [] { return SingleInstanceLock::State::kAcquired; };
  steps.getLocalNetInfo = [](Global& g) { return GetLocalNetInfo(g); };
  steps.initLibraries = InitHttpLibrary;
  steps.cleanupLibraries = CleanupHttpLibrary;
  steps.startLanDiscovery = [this] {
    if (!cameras_.StartLanDiscovery(g_, g_.lanProbePort)) LogLine("StartLanDiscovery failed");
  };
  steps.securityHandshake = [this](std::string& cause) { return SecurityHandshake(*ctx_, &cause) == 1; };
  steps.runSignIn = [this, recovering] {
    if (recovering)
      exitCode_ = RunRecover(*this);
    else if (!SignIn() && exitCode_ == kExitOk)
      exitCode_ = kExitFailed;
  };
  steps.loadUserSettings = [this](UserSettings& s) { return LoadUserSettings(s, wall_); };
  steps.runMainWindow = [this] { exitCode_ = RunCommand(*this); };
  steps.messageBox = [this](const std::string& title, const std::string& text) {
    notifier_.MessageBox(title, text);
  };
  StartupResult result = RunStartup(g_, settings_, steps);
  if (result == StartupResult::kFinished || result == StartupResult::kNotSignedIn) return exitCode_;
  return kExitFailed;
}

// The sign-in window's checks, then the login worker.
bool Client::SignIn() {
  exitCode_ = kExitUsage;
  if (Refused(CheckSignInUserBox(options_.user))) return false;
  LoginInput input;
  input.user = options_.user;
  input.password = options_.password;
  input.rememberPassword = options_.remember || options_.autoLogin;
  input.autoLogin = options_.autoLogin;
  if (input.password.empty()) {
    // Like the sign-in window: the remembered password of that user, if any.
    input.password = ReadRememberedSignIn(ctx_->ConfigFolder(), input.user).password;
    input.rememberPassword = !input.password.empty();
  } else {
    g_.m_IsNew = 1;  // typed, as in the window
  }
  if (Refused(CheckSignInPasswordBox(input.password))) return false;
  LoginOutcome outcome;
  exitCode_ = kExitFailed;
  if (Login_Start(*ctx_, input, outcome) != 1) return false;
  exitCode_ = kExitOk;
  return true;
}

// The tip, and the status line where the window shows one.
bool Client::Refused(const SignInRefusal& refusal) {
  if (!refusal.refused()) return false;
  notifier_.Tip(refusal.text, refusal.tipMs);
  if (refusal.inStatusLine) notifier_.Status(refusal.text);
  return true;
}

bool Client::ListDevices() {
  if (listed_) return true;
  if (!cameras_.Update(*ctx_)) {
    std::cerr << "lumivexctl: the device list could not be loaded\n";
    return false;
  }
  listed_ = true;
  return true;
}

int Client::FindDevice(const std::string& sid) {
  if (!ListDevices()) return -1;
  int index = cameras_.IndexOf(sid);
  if (index < 0) std::cerr << "lumivexctl: no device " << sid << " in this account\n";
  return index;
}

}  // namespace lumivex::cli
