// lumivex-update: downloads the installer the client names and starts it.

#include <QApplication>

#include "updater/update_rules.h"
#include "updater/update_window.h"
#include "webservice/http.h"

int main(int argc, char** argv) {
  using namespace lumivex;
  // Read before QApplication takes its own options out of argv.
  UpdateCommandLine command = ParseUpdateCommandLine(JoinArguments(argc, argv));
  if (!command.update) return 0;

  QApplication app(argc, argv);
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
