#include "app/sign_in.h"

#include "config/user_config.h"
#include "webservice/envelope.h"
#include "webservice/input_rules.h"

namespace lumivex {
namespace {

constexpr int kShortTipMs = 800;  // an empty box
constexpr int kRuleTipMs = 2000;  // a box against its rule

SignInRefusal Refusal(std::string text, bool empty, SignInRefusal::Field field) {
  SignInRefusal r;
  r.text = std::move(text);
  if (r.text.empty()) return r;
  r.field = field;
  r.tipMs = empty ? kShortTipMs : kRuleTipMs;
  r.inStatusLine = !empty;
  r.clearField = !empty;
  return r;
}

}  // namespace

SignInRefusal CheckSignInUserBox(std::string_view user) {
  return Refusal(CheckSignInUser(user), user.empty(), SignInRefusal::Field::kUser);
}

SignInRefusal CheckSignInPasswordBox(std::string_view password) {
  return Refusal(CheckSignInPassword(password), password.empty(), SignInRefusal::Field::kPassword);
}

RememberedSignIn ReadRememberedSignIn(const std::string& configFolder, const std::string& user) {
  RememberedSignIn r;
  const std::string path = UserConfigPath(configFolder, user);
  std::string stored;
  r.loaded = !path.empty() && GetConfigText(path, "config1", "AutoLogin", r.autoLogin) &&
             GetConfigAttrib(path, "config1", "User", "Password", stored);
  // "0" is no password; one that cannot be taken back out counts as none.
  r.remembered = r.loaded && stored != "0" && RevealStoredPassword(stored, r.password);
  if (!r.remembered) r.password.clear();
  return r;
}

}  // namespace lumivex
