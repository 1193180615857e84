#pragma once
// A home folder of the test's own: HOME and XDG_CONFIG_HOME point into a
// fresh folder while the object lives, so that nothing a test does reaches
// the real user's autostart entry or user-dirs.dirs.

#include <cstdlib>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace lumivex::test {

class ScopedEnv {
 public:
  // value null unsets the variable.
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_.c_str(), old_->c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

class FakeHome {
 public:
  FakeHome() : home_("HOME", dir_.str().c_str()), config_("XDG_CONFIG_HOME", nullptr) {}

  std::string str() const { return dir_.str(); }
  std::string config() const { return dir_.str() + "/.config"; }
  std::string autostartEntry() const { return config() + "/autostart/lumivex.desktop"; }

 private:
  TempDir dir_;
  ScopedEnv home_;
  ScopedEnv config_;
};

}  // namespace lumivex::test
