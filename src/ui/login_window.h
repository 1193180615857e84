#pragma once
// CLogin, the sign-in window: the remembered users and their sign-in data,
// the input checks, the login worker with its progress dots, cancel, and the
// automatic sign-in.

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/sign_in.h"
#include "core/cancellation.h"
#include "ui/background_jobs.h"
#include "webservice/login.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace lumivex {

struct AppContext;

inline constexpr char kSignInTitle[] = "velmor用户登录";
inline constexpr int kMaxRememberedUsers = 10;

// The users whose settings files ("<user>_config.xml" in configFolder) were
// written last, newest first, at most limit of them.
std::vector<std::string> RememberedUsers(const std::string& configFolder,
                                         std::size_t limit = kMaxRememberedUsers);

// The child widgets carry these object names.
namespace login_controls {
inline constexpr char kUser[] = "user";
inline constexpr char kPassword[] = "password";
inline constexpr char kForgotPassword[] = "forgotPassword";
inline constexpr char kRememberPassword[] = "rememberPassword";
inline constexpr char kAutoLogin[] = "autoLogin";
inline constexpr char kStatus[] = "status";
inline constexpr char kStatusCause[] = "statusCause";
inline constexpr char kSignIn[] = "signIn";
inline constexpr char kCancel[] = "cancel";
inline constexpr char kClose[] = "close";
inline constexpr char kMinimize[] = "minimize";
}  // namespace login_controls

class CLogin : public QDialog {
  Q_OBJECT

 public:
  explicit CLogin(AppContext& app, QWidget* parent = nullptr);
  ~CLogin() override;  // cancels a running attempt and waits for every login worker

  // True once a sign-in has succeeded; the window then closes itself.
  bool signedIn() const { return signedIn_; }
  bool busy() const { return currentAttempt_ != 0; }
  // Waits for every login worker, cancelled ones too (a cancelled transfer
  // ends within libcurl's progress interval).
  void JoinWorkers() { workers_.JoinAll(); }
  // Runs a modal dialog (the recovery dialog) and returns its result.
  void SetDialogRunner(std::function<int(QDialog&)> runner) { dialogRunner_ = std::move(runner); }

 public slots:
  void SignIn();           // the sign-in button and Enter
  void RecoverPassword();  // the forgot-password button
  void Cancel();           // the cancel button
  void reject() override;  // the close button and Esc: ends the client

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void BuildControls();
  void FillRememberedUsers();
  // The remembered sign-in data of user's settings file into the boxes.
  void ApplyStoredSignIn(const QString& user, bool opening);
  // False when the input passes; else the refusal is shown.
  bool Refused(const SignInRefusal& refusal);
  void StartLogin(const LoginInput& input);
  void AdvanceProgress();
  // On the GUI thread: only the attempt still current is taken and shown.
  void Finish(int attempt, const LoginInput& input, int result, LoginOutcome outcome);
  // The result operation: the progress stops, the status line shows text
  // (or nothing), and the window is idle again.
  void SetStatus(const QString& text);  // a second line goes under the status line
  void ShowResult(const QString& text);
  void SetBusy(bool busy);

  AppContext& app_;
  QComboBox* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* remember_ = nullptr;
  QCheckBox* autoLogin_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* cause_ = nullptr;
  QAbstractButton* signIn_ = nullptr;
  QAbstractButton* cancel_ = nullptr;
  QAbstractButton* close_ = nullptr;
  QAbstractButton* minimize_ = nullptr;
  QAbstractButton* forgot_ = nullptr;
  QPixmap logo_;
  std::function<int(QDialog&)> dialogRunner_;

  QTimer progress_;
  int dots_ = 0;
  // Attempts are numbered; 0 means none runs. A cancelled attempt's transfer
  // is aborted and its result dropped; a new attempt need not wait for it,
  // since workers only ask the service and the GUI thread takes the result.
  int currentAttempt_ = 0;
  int lastAttempt_ = 0;
  Cancellation attemptCancel_;  // of the current attempt
  bool signedIn_ = false;
  ui::BackgroundJobs workers_;  // last: joined before the controls go
};

// Runs the sign-in window modally. Only the attempt whose result the window
// took counts: m_LoggedIn is set from it.
bool RunSignIn(AppContext& app);

}  // namespace lumivex
