// lumivex-update: downloads the installer the client names and starts it.

#include <QApplication>

#include <cstdio>
#include <string>

#include "core/command_line.h"
#include "core/folders.h"
#include "core/logging.h"
#include "core/program_folder.h"
#include "qtcommon/qt_translations.h"
#include "updater/update_rules.h"
#include "updater/update_window.h"
#include "webservice/http.h"

namespace {

constexpr char kUsage[] = R"(usage: lumivex-update -u URL

Downloads the installer at URL (http or https) with a progress window and
starts it. The desktop client starts it so when the user agrees to an
update; started any other way it does nothing.

Options:
  --help, -h   this text
  --version    the program's version
)";

// Without the client's command line only --help and --version answer.
void PrintInfoAsked(int argc, char** argv) {
  lumivex::CommonOptions info;
  lumivex::CommandLine line;
  line.operandsAllowed = true;
  std::string error;
  if (lumivex::ParseCommandLine(argc, argv, line, info, error) < 0) return;
  if (info.help) std::fputs(kUsage, stdout);
  else if (info.version) std::puts(lumivex::VersionLine("lumivex-update").c_str());
}

// Beside the client's log. A log that cannot be made does not stop an update.
void StartLogging() {
  const lumivex::ProgramLayout layout = lumivex::ResolveLayout("");
  const lumivex::LogOptions log = lumivex::LogOptionsOf(layout, "lumivex-update", false);
  std::string error;
  if (!lumivex::CreateFolderLevels(layout.logFolder) || !lumivex::InitLogging(log, error))
    std::fprintf(stderr, "lumivex-update: no log: %s\n", error.empty() ? layout.logFolder.c_str() : error.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace lumivex;
  // Read before QApplication takes its own options out of argv.
  UpdateCommandLine command = ParseUpdateCommandLine(JoinArguments(argc, argv));
  if (!command.update) {
    PrintInfoAsked(argc, argv);
    return 0;
  }

  StartLogging();
  LogInfo(VersionLine("lumivex-update") + " downloads " + command.address);
  QApplication app(argc, argv);
  InstallQtTranslations();
  if (!InitHttpLibrary()) {
    UpdateWindow::ShowMessage(nullptr, QString::fromUtf8(kUpdateDownloadFailed));
    return 1;
  }
  {
    UpdateWindow window(command, UpdateJobOptions{});
    window.exec();
  }
  CleanupHttpLibrary();
  return 0;
}
