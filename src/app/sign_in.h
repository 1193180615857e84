#pragma once
// The sign-in window's rules, which lumivexctl applies as well: how each
// refused input is told, and what a user's configuration file remembers of
// the last sign-in.

#include <string>
#include <string_view>

namespace lumivex {

struct SignInRefusal {
  enum class Field { kUser, kPassword };

  std::string text;  // empty: the input passes
  int tipMs = 0;     // the tip shows this long
  bool inStatusLine = false;  // the text stays in the status line too
  bool clearField = false;
  Field field = Field::kUser;

  bool refused() const { return !text.empty(); }
};

// The user box, then the password box; each empty or against its rule.
SignInRefusal CheckSignInUserBox(std::string_view user);
SignInRefusal CheckSignInPasswordBox(std::string_view password);

// What config1 of a user's file holds of the last sign-in.
struct RememberedSignIn {
  bool loaded = false;     // the file loaded
  std::string autoLogin;   // "AutoLogin" as written
  bool remembered = false; // a password is remembered and could be revealed
  std::string password;    // then the password itself
};

RememberedSignIn ReadRememberedSignIn(const std::string& configFolder, const std::string& user);

}  // namespace lumivex
