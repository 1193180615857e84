#include "ui/dialogs/bind_user_dialog.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>

#include "ui/app_context.h"
#include "ui/qt_notifier.h"
#include "webservice/input_rules.h"

namespace lumivex {
namespace {

namespace names = bind_controls;

constexpr int kWidth = 620;
constexpr int kHeight = 300;
constexpr int kBandHeight = 40;
constexpr int kShortTipMs = 1000;
constexpr int kRuleTipMs = 2000;
const QColor kGrey(150, 150, 150);
const QString kAdministratorMark = QStringLiteral("Yes");
const QString kUserMark = QStringLiteral("-");

}  // namespace

CBindUser::CBindUser(AppContext& app, std::string sid, QWidget* parent)
    : BandedDialog(parent, kBandHeight), app_(app), sid_(std::move(sid)) {
  setWindowTitle(QStringLiteral("管理绑定用户"));
  setFixedSize(kWidth, kHeight);
  MakeDialogLabel(QStringLiteral("管理绑定用户"), QRect(16, 0, 300, kBandHeight), this, Qt::white);

  list_ = new QTreeWidget(this);
  list_->setObjectName(names::kList);
  list_->setGeometry(16, kBandHeight + 12, kWidth - 32, 170);
  list_->setColumnCount(3);
  list_->setHeaderLabels({QStringLiteral("用户名"), QStringLiteral("用户昵称"), QStringLiteral("初始绑定用户")});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->header()->setDefaultAlignment(Qt::AlignCenter);
  list_->header()->setSectionsMovable(false);
  const int widths[] = {150, 280, 155};
  for (int c = 0; c < 3; ++c) list_->setColumnWidth(c, widths[c]);
  list_->setStyleSheet(QStringLiteral("QTreeWidget { border: 1px solid rgb(64, 155, 228); }"
                                      "QTreeWidget::item { height: 24px; }"));
  connect(list_, &QWidget::customContextMenuRequested, this, &CBindUser::ShowListMenu);

  const int top = kBandHeight + 196;
  MakeDialogLabel(QStringLiteral("用户名"), QRect(16, top, 56, 28), this, kGrey);
  name_ = new QLineEdit(this);
  name_->setObjectName(names::kName);
  name_->setMaxLength(259);
  name_->setGeometry(72, top, 180, 28);
  QPushButton* add = MakeDialogButton(QStringLiteral("添加新用户"), names::kAdd, QRect(264, top, 100, 28), this);
  QPushButton* remove = MakeDialogButton(QStringLiteral("删除用户"), names::kDelete, QRect(376, top, 100, 28), this);
  QPushButton* close = MakeDialogButton(QStringLiteral("关闭"), names::kClose, QRect(kWidth - 116, top, 100, 28), this);
  connect(add, &QPushButton::clicked, this, &CBindUser::AddUser);
  connect(remove, &QPushButton::clicked, this, [this] { Unbind(QStringLiteral("确认")); });
  connect(close, &QPushButton::clicked, this, &CBindUser::reject);

  menuRunner_ = [](QMenu& menu, const QPoint& globalPos) { return menu.exec(globalPos); };
  confirm_ = [this](const QString& title, const QString& text) { return AskOkCancel(this, title, text); };
  StartListing();
}

CBindUser::~CBindUser() { *closing_ = true; }

void CBindUser::reject() {
  *closing_ = true;
  BandedDialog::reject();
}

void CBindUser::StartListing() {
  if (listing_) return;
  listing_ = true;
  list_->clear();
  ServiceContext& service = app_.service;
  auto closing = closing_;
  const std::string sid = sid_;
  app_.jobs.Run<std::vector<BoundUser>>(
      this,
      [&service, closing, sid] {
        std::vector<BoundUser> users;
        ListBoundUsers(service, sid, users, closing.get());
        return users;
      },
      [this](std::vector<BoundUser> users) {
        listing_ = false;
        ShowUsers(users);
      });
}

void CBindUser::ShowUsers(const std::vector<BoundUser>& users) {
  list_->clear();
  for (const BoundUser& user : users) {
    auto* row = new QTreeWidgetItem(list_, {QString::fromStdString(user.uid), QString(),
                                           user.isAdmin ? kAdministratorMark : kUserMark});
    for (int c = 0; c < 3; ++c) row->setTextAlignment(c, Qt::AlignCenter);
  }
}

void CBindUser::AddUser() {
  const std::string name = name_->text().toStdString();
  const std::string refusal = CheckBindUserName(name);
  if (!refusal.empty()) {
    if (!name.empty()) name_->selectAll();
    name_->setFocus();
    ShowTip(this, QString::fromStdString(refusal), name.empty() ? kShortTipMs : kRuleTipMs);
    return;
  }
  name_->clear();
  ServiceContext& service = app_.service;
  const std::string sid = sid_;
  app_.jobs.Run<int>(
      this, [&service, sid, name] { return AddBoundUser(service, sid, name); },
      [this](int added) {
        if (added == 1) StartListing();
      });
}

void CBindUser::Unbind(const QString& title) {
  QTreeWidgetItem* row = list_->currentItem();
  if (!row || !row->isSelected()) {
    ShowTip(this, QStringLiteral("请选择要删除的用户"), kShortTipMs);
    return;
  }
  if (row->text(2) != kUserMark) return;  // the administrator is never unbound
  const QString user = row->text(0);
  if (!confirm_(title, QStringLiteral("确定要解除用户%1的绑定？").arg(user))) return;
  ServiceContext& service = app_.service;
  const std::string sid = sid_, name = user.toStdString();
  app_.jobs.Run<int>(
      this, [&service, sid, name] { return DeleteBoundUser(service, sid, name); },
      [this](int removed) {
        if (removed == 1) StartListing();
      });
}

void CBindUser::ShowListMenu(const QPoint& pos) {
  QMenu menu;
  QTreeWidgetItem* row = list_->currentItem();
  if (row && row->isSelected() && row->text(2) == kUserMark)
    menu.addAction(QStringLiteral("删除绑定"))->setData(kUnbindEntry);
  menu.addAction(QStringLiteral("刷新列表"))->setData(kRefreshEntry);
  QAction* chosen = menuRunner_(menu, list_->viewport()->mapToGlobal(pos));
  if (!chosen) return;
  if (chosen->data().toInt() == kUnbindEntry) Unbind(QStringLiteral("提示"));
  if (chosen->data().toInt() == kRefreshEntry) StartListing();
}

void CBindUser::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event)) return;  // consumed
  BandedDialog::keyPressEvent(event);
}

}  // namespace lumivex
