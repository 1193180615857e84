#pragma once
// Whole-text checks of what the user types, with the texts the windows show.
// The desktop dialogs and the command-line driver apply the same rules.
// Each returns the refusal text, or an empty string when the input passes.

#include <string>
#include <string_view>

namespace lumivex {

// Sign-in window: user name and password.
std::string CheckSignInUser(std::string_view user);
std::string CheckSignInPassword(std::string_view password);

// Recovery dialog: the user box, the answer, the new password and its confirmation.
std::string CheckRecoveryUser(std::string_view user);
std::string CheckRecoveryAnswer(std::string_view answer);
std::string CheckRecoveryPassword(std::string_view password, std::string_view confirmation);

// Bound-users dialog: the name to bind.
std::string CheckBindUserName(std::string_view name);

// Rename dialog: at most 30 UTF-16 units.
std::string CheckDeviceName(std::string_view name);

// Feedback dialog: the text cut to its first 299 characters must not be
// empty (SendFeedback cuts it the same way).
std::string CheckFeedback(std::string_view text);


// The password form of the settings page, in its order of checks. field
// names the form field the text belongs to: "old", "new" or "confirm".
struct PasswordChangeCheck {
  std::string text;   // empty: passed
  std::string field;
  bool clearField = false;
};
PasswordChangeCheck CheckPasswordChange(std::string_view oldPassword, std::string_view newPassword,
                                        std::string_view confirmation,
                                        std::string_view rememberedPassword);

}  // namespace lumivex
