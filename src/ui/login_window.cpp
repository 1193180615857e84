#include "ui/login_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QWindow>
#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "app/sign_in.h"
#include "core/logging.h"
#include "ui/app_context.h"
#include "ui/dialogs/account_dialogs.h"
#include "ui/geometry/pictures.h"
#include "ui/image_button.h"

namespace lumivex {
namespace {

namespace fs = std::filesystem;
namespace names = login_controls;
namespace pictures = ui::pictures;

const QColor kBlue(64, 155, 228);
constexpr int kWidth = 432;
constexpr int kHeight = 306;
constexpr int kBandHeight = 127;
constexpr int kBoxLeft = 96;
constexpr int kBoxWidth = 240;
constexpr int kBoxHeight = 30;
constexpr int kUserTop = 140;
constexpr int kPasswordTop = 180;
constexpr int kIconLeft = 62;
constexpr int kIconSize = 22;
constexpr int kProgressMs = 200;
constexpr int kDotCycle = 8;  // 1 to 7 dots, then none
constexpr char kConfigSuffix[] = "_config.xml";

// A push button drawn from its three pictures of res/.

// The picture button when res/ has its pictures, else a plain one with text.
QAbstractButton* MakeButton(const AppContext& app, std::string_view base, const QString& text,
                            QWidget* parent) {
  if (!base.empty()) {
    auto* button = new ImageButton(app.resFolder, base, 0, text, ImageButton::Focus::kNone, parent);
    if (button->loaded()) return button;
    delete button;
  }
  return new QPushButton(text, parent);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

void DrawUserIcon(QPainter& p, const QRect& r) {
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawEllipse(r.center().x() - 5, r.top() + 1, 10, 10);
  p.drawChord(r.left() + 2, r.top() + 12, r.width() - 4, 18, 0, 180 * 16);
}

void DrawLockIcon(QPainter& p, const QRect& r) {
  p.setPen(QPen(kBlue, 2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(r.center().x() - 5, r.top() + 1, 10, 14, 0, 180 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawRoundedRect(r.left() + 3, r.top() + 9, r.width() - 6, r.height() - 10, 2, 2);
}

}  // namespace

std::vector<std::string> RememberedUsers(const std::string& configFolder, std::size_t limit) {
  struct Entry {
    std::string user;
    fs::file_time_type written;
  };
  const std::string_view suffix = kConfigSuffix;
  std::vector<Entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(configFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    // "_config.xml" alone names no user.
    if (name.size() <= suffix.size() || !name.ends_with(suffix)) continue;
    std::error_code fileError;
    if (!it->is_regular_file(fileError)) continue;
    fs::file_time_type written = it->last_write_time(fileError);
    if (fileError) continue;
    entries.push_back({name.substr(0, name.size() - suffix.size()), written});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.written != b.written ? a.written > b.written : a.user < b.user;
  });
  std::vector<std::string> users;
  for (std::size_t i = 0; i < entries.size() && i < limit; ++i) users.push_back(entries[i].user);
  return users;
}

CLogin::CLogin(AppContext& app, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), app_(app) {
  setWindowTitle(QString::fromUtf8(kSignInTitle));
  setFixedSize(kWidth, kHeight);
  logo_.load(QString::fromStdString(app_.ResPath(pictures::kAppIcon)));
  BuildControls();

  progress_.setInterval(kProgressMs);
  connect(&progress_, &QTimer::timeout, this, &CLogin::AdvanceProgress);
  // Enter, Esc and typed characters anywhere in the window, whichever child has the focus.
  qApp->installEventFilter(this);

  dialogRunner_ = [](QDialog& dialog) { return dialog.exec(); };
  FillRememberedUsers();
  // Signs in as soon as the window runs, as if the button had been pressed.
  if (autoLogin_->isChecked()) QMetaObject::invokeMethod(this, &CLogin::SignIn, Qt::QueuedConnection);
}

CLogin::~CLogin() {
  qApp->removeEventFilter(this);
  attemptCancel_.Cancel();  // workers_ then joins quickly
}

void CLogin::BuildControls() {
  minimize_ = MakeButton(app_, pictures::kMinimize, QStringLiteral("–"), this);
  minimize_->setObjectName(names::kMinimize);
  minimize_->setGeometry(kWidth - 61, 1, 30, 20);
  connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);

  close_ = MakeButton(app_, pictures::kClose, QStringLiteral("×"), this);
  close_->setObjectName(names::kClose);
  close_->setGeometry(kWidth - 31, 1, 30, 20);
  connect(close_, &QAbstractButton::clicked, this, &CLogin::reject);
  // Mouse only, so that the user box takes the first focus.
  minimize_->setFocusPolicy(Qt::NoFocus);
  close_->setFocusPolicy(Qt::NoFocus);

  status_ = new QLabel(this);
  status_->setObjectName(names::kStatus);
  status_->setGeometry(20, 96, kWidth - 40, 24);
  status_->setAlignment(Qt::AlignCenter);
  SetTextColour(status_, Qt::white);
  // The network's cause under the status line, where libcurl named one.
  cause_ = new QLabel(this);
  cause_->setObjectName(names::kStatusCause);
  cause_->setGeometry(20, 120, kWidth - 40, 20);  // between the status and the user box
  cause_->setAlignment(Qt::AlignCenter);
  SetTextColour(cause_, QColor(255, 220, 160));

  user_ = new QComboBox(this);
  user_->setObjectName(names::kUser);
  user_->setEditable(true);
  user_->setInsertPolicy(QComboBox::NoInsert);
  // No inline completion: "al" must not become a remembered "alice" that Enter signs in.
  user_->setCompleter(nullptr);
  user_->setGeometry(kBoxLeft, kUserTop, kBoxWidth, kBoxHeight);
  connect(user_->lineEdit(), &QLineEdit::textEdited, this, [this] {
    SetStatus(QString());
    password_->clear();
  });
  connect(user_, &QComboBox::activated, this,
          [this](int index) { ApplyStoredSignIn(user_->itemText(index), false); });

  password_ = new QLineEdit(this);
  password_->setObjectName(names::kPassword);
  password_->setEchoMode(QLineEdit::Password);
  password_->setGeometry(kBoxLeft, kPasswordTop, kBoxWidth, kBoxHeight);
  connect(password_, &QLineEdit::textEdited, this, [this] { SetStatus(QString()); });

  forgot_ = MakeButton(app_, "", QStringLiteral("忘记密码"), this);
  forgot_->setObjectName(names::kForgotPassword);
  forgot_->setGeometry(kBoxLeft + kBoxWidth + 6, kPasswordTop, 76, kBoxHeight);
  forgot_->setStyleSheet(QStringLiteral("QPushButton { border: none; color: rgb(64, 155, 228); }"));
  connect(forgot_, &QAbstractButton::clicked, this, &CLogin::RecoverPassword);

  remember_ = new QCheckBox(QStringLiteral("记住密码"), this);
  remember_->setObjectName(names::kRememberPassword);
  remember_->setGeometry(kBoxLeft, 218, 110, 24);
  autoLogin_ = new QCheckBox(QStringLiteral("自动登录"), this);
  autoLogin_->setObjectName(names::kAutoLogin);
  autoLogin_->setGeometry(kBoxLeft + 130, 218, 110, 24);
  // Only the user's click: the settings file may hold "自动登录" without a password.
  connect(autoLogin_, &QCheckBox::clicked, this, [this](bool checked) {
    if (checked) remember_->setChecked(true);
  });

  const QString buttonStyle = QStringLiteral(
      "QPushButton { background: rgb(64, 155, 228); color: white; border: none; border-radius: 3px; }"
      "QPushButton:pressed { background: rgb(44, 125, 198); }");
  signIn_ = MakeButton(app_, "", QStringLiteral("登录"), this);
  cancel_ = MakeButton(app_, "", QStringLiteral("取消"), this);
  signIn_->setObjectName(names::kSignIn);
  cancel_->setObjectName(names::kCancel);
  for (QAbstractButton* button : {signIn_, cancel_}) {
    button->setGeometry(kBoxLeft, 252, kBoxWidth, 36);
    button->setStyleSheet(buttonStyle);
  }
  cancel_->hide();
  connect(signIn_, &QAbstractButton::clicked, this, &CLogin::SignIn);
  connect(cancel_, &QAbstractButton::clicked, this, &CLogin::Cancel);
}

void CLogin::FillRememberedUsers() {
  for (const std::string& user : RememberedUsers(app_.service.ConfigFolder()))
    user_->addItem(QString::fromStdString(user));
  if (user_->count() == 0) return;
  user_->setCurrentIndex(0);
  ApplyStoredSignIn(user_->itemText(0), true);
}

// As the window opens "自动登录" is on only for exactly "1"; for a user chosen
// from the list it is on unless exactly "0". A password that cannot be taken
// back out of its stored form counts as none remembered.
void CLogin::ApplyStoredSignIn(const QString& user, bool opening) {
  const RememberedSignIn stored = ReadRememberedSignIn(app_.service.ConfigFolder(), user.toStdString());
  if (opening) {
    if (stored.autoLogin == "1") autoLogin_->setChecked(true);
  } else {
    autoLogin_->setChecked(stored.loaded && stored.autoLogin != "0");
  }
  remember_->setChecked(stored.remembered);
  password_->setText(QString::fromStdString(stored.password));
  if (opening && !stored.remembered) password_->setFocus();
}

// The sign-in window is away while the recovery dialog is open; only its
// "返回登录" brings it back.
void CLogin::RecoverPassword() {
  if (busy()) return;
  CBackPwd recovery(app_, user_->currentText());
  hide();
  dialogRunner_(recovery);
  show();
  activateWindow();
}

// The tip, and for a box against its rule the status line and the box
// cleared; the focus goes to the box.
bool CLogin::Refused(const SignInRefusal& refusal) {
  if (!refusal.refused()) return false;
  const QString text = QString::fromStdString(refusal.text);
  ShowTip(this, text, refusal.tipMs);
  if (refusal.inStatusLine) SetStatus(text);
  const bool user = refusal.field == SignInRefusal::Field::kUser;
  if (refusal.clearField) user ? user_->clearEditText() : password_->clear();
  user ? user_->setFocus() : password_->setFocus();
  return true;
}

void CLogin::SignIn() {
  if (busy()) return;
  if (autoLogin_->isChecked()) remember_->setChecked(true);
  const std::string user = user_->currentText().toStdString();
  if (Refused(CheckSignInUserBox(user))) return;
  const std::string password = password_->text().toStdString();
  if (Refused(CheckSignInPasswordBox(password))) return;
  StartLogin({user, password, remember_->isChecked(), autoLogin_->isChecked(), {}});
}

void CLogin::StartLogin(const LoginInput& typed) {
  currentAttempt_ = ++lastAttempt_;
  attemptCancel_ = Cancellation();
  LoginInput input = typed;
  input.cancel = attemptCancel_;
  SetBusy(true);
  dots_ = 0;
  AdvanceProgress();
  progress_.start();
  struct Result {
    int result = 0;
    LoginOutcome outcome;
  };
  workers_.Run<Result>(
      this,
      [&service = app_.service, input] {
        Result r;
        r.result = RequestLogin(service, input, r.outcome);
        return r;
      },
      [this, attempt = currentAttempt_, input](Result r) { Finish(attempt, input, r.result, r.outcome); });
}

void CLogin::AdvanceProgress() {
  dots_ = (dots_ + 1) % kDotCycle;
  SetStatus(QStringLiteral("正在登录") + QString(dots_, QLatin1Char('.')));
}

void CLogin::Finish(int attempt, const LoginInput& input, int result, LoginOutcome outcome) {
  if (attempt != currentAttempt_) return;  // cancelled: its result is never taken nor shown
  if (result == 1) result = TakeLogin(app_.service, input, outcome);
  if (outcome.clearPassword) password_->clear();
  ShowResult(QString::fromStdString(outcome.status));
  if (result != 1) return;
  signedIn_ = true;
  LogLine("CLogin: signed in");
  accept();
}

void CLogin::Cancel() {
  if (!busy()) return;
  attemptCancel_.Cancel();
  ShowResult(QString());
}

void CLogin::SetStatus(const QString& text) {
  const qsizetype newline = text.indexOf(QLatin1Char('\n'));
  status_->setText(newline < 0 ? text : text.left(newline));
  cause_->setText(newline < 0 ? QString() : text.mid(newline + 1));
}

void CLogin::ShowResult(const QString& text) {
  progress_.stop();
  SetStatus(text);
  currentAttempt_ = 0;
  SetBusy(false);
}

void CLogin::SetBusy(bool busy) {
  for (QWidget* control :
       std::initializer_list<QWidget*>{close_, minimize_, user_, password_, remember_, autoLogin_})
    control->setEnabled(!busy);
  signIn_->setVisible(!busy);
  cancel_->setVisible(busy);
  update();
}

void CLogin::reject() {
  if (busy()) return;  // the close button is disabled meanwhile; Esc likewise
  QDialog::reject();
}

bool CLogin::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        SignIn();
        return true;
      case Qt::Key_Escape:
        reject();
        return true;
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
        return false;  // moves the focus; no character
      default:
        if (!key->text().isEmpty()) app_.global.m_IsNew = 1;
        return false;
    }
  }
  if (event->type() == QEvent::InputMethod &&
      !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty())
    app_.global.m_IsNew = 1;
  return false;
}

void CLogin::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), Qt::white);
  p.fillRect(0, 0, width(), kBandHeight, kBlue);
  p.setPen(Qt::white);
  p.drawText(QRect(10, 0, 200, 22), Qt::AlignLeft | Qt::AlignVCenter, windowTitle());
  if (!logo_.isNull()) p.drawPixmap((width() - 64) / 2, 22, 64, 64, logo_);
  DrawUserIcon(p, QRect(kIconLeft, kUserTop + 4, kIconSize, kIconSize));
  DrawLockIcon(p, QRect(kIconLeft, kPasswordTop + 4, kIconSize, kIconSize));
  p.setPen(kBlue);
  p.setBrush(Qt::NoBrush);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.drawRect(0, 0, width() - 1, height() - 1);
}

void CLogin::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
  if (windowHandle()) windowHandle()->startSystemMove();
}

bool RunSignIn(AppContext& app) {
  bool signedIn = false;
  {
    CLogin window(app);
    QObject::connect(&app.instanceServer, &SingleInstanceServer::raiseRequested, &window,
                     [&window] { BringToFront(&window); });
    LogLine("CLogin: sign-in window shown");
    window.exec();
    signedIn = window.signedIn();
  }
  app.global.m_LoggedIn = signedIn ? 1 : 0;
  return signedIn;
}

}  // namespace lumivex
