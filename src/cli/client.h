#pragma once
// One run of lumivexctl: the client's start-up sequence with the command in
// place of the main window.

#include <iostream>
#include <memory>
#include <string>

#include "app/sign_in.h"
#include "cli/console_notifier.h"
#include "cli/options.h"
#include "config/user_settings.h"
#include "core/global.h"
#include "core/program_folder.h"
#include "webservice/camera_list.h"
#include "webservice/service_context.h"

namespace lumivex::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

class Client {
 public:
  explicit Client(Options options);
  int Run();

  // For the commands.
  const std::vector<std::string>& args() const { return options_.command; }
  Global& global() { return g_; }
  UserSettings& settings() { return settings_; }
  ConsoleNotifier& notifier() { return notifier_; }
  ServiceContext& context() { return *ctx_; }
  CameraList& cameras() { return cameras_; }
  // The wall layout of the user's configuration file.
  WallLayout& wall() { return wall_; }
  // Lists the account's devices once; false (with the reason printed) when it fails.
  bool ListDevices();
  // Index of the listed device sid; prints why and returns -1 when there is none.
  int FindDevice(const std::string& sid);

 private:
  bool PrepareFolders(std::string& error);  // the layout's folders and the log
  bool Prepare(std::string& error);          // deployment values and the service context
  int RunSignedIn();
  bool SignIn();
  bool Refused(const SignInRefusal& refusal);
  int Fail(const std::string& why);

  Options options_;
  ProgramLayout layout_;
  Global g_;
  UserSettings settings_;
  WallLayout wall_;
  ConsoleNotifier notifier_{std::cout};
  std::unique_ptr<ServiceContext> ctx_;
  CameraList cameras_;
  bool listed_ = false;
  int exitCode_ = kExitFailed;
};

// Runs the command of client.args(); the exit status.
int RunCommand(Client& client);
// Commands that run before sign-in, from the sign-in window.
int RunRecover(Client& client);
// Argument count check before anything is sent; empty when fine.
std::string CheckArguments(const std::vector<std::string>& command);

}  // namespace lumivex::cli
