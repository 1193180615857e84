// lumivex: the desktop client. The core's start-up sequence with the
// desktop's steps: the single-instance rule, the sign-in window, the main window.

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>
#include <string>

#include "config/user_config.h"
#include "core/command_line.h"
#include "core/deployment.h"
#include "core/logging.h"
#include "core/program_folder.h"
#include "core/startup.h"
#include "ui/app_context.h"
#include "ui/login_window.h"
#include "qtcommon/qt_translations.h"
#include "webservice/handshake.h"
#include "webservice/http.h"

namespace {

using namespace lumivex;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr char kCannotStartMessage[] = "Lumivex 无法启动：\n";
constexpr char kSystemUiFont[] = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr int kUiFontPoints = 9;

const std::string kUsage = std::string(R"(usage: lumivex [OPTIONS]

The Lumivex desktop client.

Options:
)") + kDeploymentOptionsHelp;

bool Deploy(const CommonOptions& o, AppContext& app, std::string& error) {
  DeploymentSettings deployment;
  if (!ResolveDeployment(app.layout, o.overrides, deployment, error)) return false;
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

// A folder, the log or the lock that cannot be made: the user is told which
// path and why, since nothing else would show.
int StartupFailed(const std::string& why) {
  LogInfo("lumivex cannot start: " + why);
  std::fprintf(stderr, "lumivex: %s\n", why.c_str());
  InstallUiFont();
  ShowMessage(kPromptTitle, kCannotStartMessage + why);
  return kExitFailed;
}

StartupSteps DesktopSteps(AppContext& app) {
  StartupSteps steps = DefaultPlatformSteps(app.layout.lockFile, app.instanceLock);
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
  steps.securityHandshake = [&app](std::string& cause) { return SecurityHandshake(app.service, &cause) == 1; };
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
  // Parsed before QApplication: --help and --version need no display. Qt's
  // own options are not taken; its environment variables still are.
  CommonOptions options;
  std::string error;
  if (ParseCommandLine(argc, argv, CommandLine{}, options, error) < 0) {
    std::fprintf(stderr, "lumivex: %s\n%s", error.c_str(), kUsage.c_str());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(kUsage.c_str(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::puts(VersionLine("lumivex").c_str());
    return kExitOk;
  }
  int qtArgc = 1;
  QApplication qapp(qtArgc, argv);
  // Each window runs its own loop; the program ends when the start-up sequence does.
  QApplication::setQuitOnLastWindowClosed(false);
  // Before any box: even a start-up failure reads 确定.
  const bool qtTranslated = InstallQtTranslations();
  const ProgramLayout layout = ResolveLayout(options.home);
  if (!PrepareLayout(layout, error) || !InitLogging(LogOptionsOf(layout, "lumivex", options.verbose), error)) return StartupFailed(error);
  SetHttpTrace(options.traceHttp);
  LogInfo(VersionLine("lumivex") + " starts in " + layout.programFolder);
  if (!qtTranslated) LogInfo("Qt's own translations are not installed: standard buttons read in English");

  AppContext app(layout);
  if (!Deploy(options, app, error)) {
    std::fprintf(stderr, "lumivex: %s\n", error.c_str());
    ShowMessage(kPromptTitle, error);
    return kExitUsage;
  }
  InstallUiFont();
  StartupResult result = RunStartup(app.global, app.settings, DesktopSteps(app));
  if (result == StartupResult::kNoInstanceLock) return StartupFailed(app.instanceLock.error());
  LogInfo(std::string("lumivex ends: ") + ResultText(result));
  return ExitCodeOf(result);
}
