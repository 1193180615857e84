// lumivex: the desktop client. The core's start-up sequence with the
// desktop's steps: the single-instance rule, the sign-in window, the main window.

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "config/user_config.h"
#include "core/deployment.h"
#include "core/logging.h"
#include "core/program_folder.h"
#include "core/startup.h"
#include "ui/app_context.h"
#include "ui/login_window.h"
#include "webservice/handshake.h"

namespace {

using namespace lumivex;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr char kSystemUiFont[] = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr int kUiFontPoints = 9;

const std::string kUsage = std::string(R"(usage: lumivex [OPTIONS]

The Lumivex desktop client.

Options:
)") + kDeploymentOptionsHelp + R"(  --verbose             print the diagnostic log on standard error
  --help                this text
)";

struct DesktopOptions {
  std::string home;
  std::vector<std::pair<std::string, std::string>> overrides;  // deployment keys
  bool verbose = false;
  bool help = false;
};

// The same deployment options as lumivexctl; what QApplication took is gone already.
bool ParseOptions(int argc, char** argv, DesktopOptions& o, std::string& error) {
  static const std::pair<const char*, const char*> kValueOptions[] = {
      {"--host", "host"},         {"--port", "port"},       {"--web-port", "web_port"},
      {"--scheme", "scheme"},     {"--ca-file", "ca_file"}, {"--local-net", "local_net"},
      {"--lan-port", "lan_port"},
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return error = arg + " needs a value", false;
      into = argv[++i];
      return true;
    };
    const char* key = nullptr;
    for (const auto& [flag, name] : kValueOptions)
      if (arg == flag) key = name;
    if (key) {
      std::string v;
      if (!value(v)) return false;
      o.overrides.emplace_back(key, v);
    } else if (arg == "--home") {
      if (!value(o.home)) return false;
    } else if (arg == "--insecure") {
      o.overrides.emplace_back("tls_verify", "0");
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}

bool Deploy(const DesktopOptions& o, AppContext& app, std::string& error) {
  DeploymentSettings deployment;
  if (!LoadDeploymentIni(app.programFolder + "/lumivex.ini", deployment, error)) return false;
  for (const auto& [key, value] : o.overrides)
    if (!SetDeploymentValue(deployment, key, value, error)) return false;
  return ApplyDeployment(deployment, app.programFolder, app.global, error);
}

// The dialogs' font: the CJK font the system has, registered with the
// application only; nothing is written outside the program's folders.
void InstallUiFont() {
  QString family;
  std::error_code ec;
  if (std::filesystem::exists(kSystemUiFont, ec)) {
    int id = QFontDatabase::addApplicationFont(QString::fromUtf8(kSystemUiFont));
    QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (!families.isEmpty()) family = families.front();
  }
  if (family.isEmpty()) {
    QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    if (!chinese.isEmpty()) family = chinese.front();
  }
  if (family.isEmpty()) {
    LogLine("no CJK font found: the dialogs keep the default font");
    return;
  }
  QApplication::setFont(QFont(family, kUiFontPoints));
  LogLine("UI font: " + family.toStdString());
}

void ShowMessage(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Information, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

StartupSteps DesktopSteps(AppContext& app) {
  StartupSteps steps = DefaultPlatformSteps(app.programFolder, app.instanceLock);
  const QString instanceName = SingleInstanceServer::NameFor(app.programFolder);
  steps.acquireInstance = [acquire = steps.acquireInstance, &app, instanceName] {
    SingleInstanceLock::State state = acquire();
    // Without the socket a second instance cannot reach us; we still run.
    if (state == SingleInstanceLock::State::kAcquired) app.instanceServer.Listen(instanceName);
    return state;
  };
  steps.raiseFirstInstance = [instanceName] {
    LogLine("another instance runs in this program folder: asking it to come forward");
    if (!SingleInstanceServer::AskToRaise(instanceName)) LogLine("the other instance did not answer");
  };
  steps.startLanDiscovery = [&app] {
    if (!app.cameras.StartLanDiscovery(app.global, app.global.lanProbePort))
      LogLine("StartLanDiscovery failed");
  };
  steps.securityHandshake = [&app] { return SecurityHandshake(app.service) == 1; };
  steps.runSignIn = [&app] { RunSignIn(app); };
  steps.loadUserSettings = [&app](UserSettings& settings) { return LoadUserSettings(settings, app.wall); };
  steps.runMainWindow = [&app] { RunMainWindow(app); };
  steps.saveWindowState = [&app] {
    if (!SaveWindowState(app.settings, app.wall)) LogLine("SaveWindowState failed");
  };
  steps.messageBox = ShowMessage;
  return steps;
}

const char* ResultText(StartupResult result) {
  switch (result) {
    case StartupResult::kSecondInstance:
      return "another instance runs in this program folder";
    case StartupResult::kNoInstanceLock:
      return "the instance lock could not be taken";
    case StartupResult::kNoNetwork:
      return "no network identity";
    case StartupResult::kLibraryFailed:
      return "a library did not start";
    case StartupResult::kHandshakeFailed:
      return "the security handshake failed";
    case StartupResult::kNotSignedIn:
      return "the sign-in window closed without a sign-in";
    case StartupResult::kFinished:
      return "the main window closed";
  }
  return "unknown";
}

int ExitCodeOf(StartupResult result) {
  switch (result) {
    case StartupResult::kFinished:
    case StartupResult::kNotSignedIn:
    case StartupResult::kSecondInstance:
      return kExitOk;
    default:
      return kExitFailed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  // Each window runs its own loop; the program ends when the start-up sequence does.
  QApplication::setQuitOnLastWindowClosed(false);

  DesktopOptions options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "lumivex: %s\n%s", error.c_str(), kUsage.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kUsage.c_str(), stdout);
    return kExitOk;
  }
  InitLogging(options.verbose);
  std::string folder = ResolveProgramFolder(options.home);
  if (!EnsureConfigFolder(folder)) LogLine("cannot create " + folder + "/config");

  AppContext app(folder);
  if (!Deploy(options, app, error)) {
    std::fprintf(stderr, "lumivex: %s\n", error.c_str());
    ShowMessage(kPromptTitle, error);
    return kExitUsage;
  }
  InstallUiFont();
  StartupResult result = RunStartup(app.global, app.settings, DesktopSteps(app));
  LogLine(std::string("lumivex ends: ") + ResultText(result));
  return ExitCodeOf(result);
}
