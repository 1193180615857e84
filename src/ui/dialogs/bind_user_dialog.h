#pragma once
// CBindUser: the accounts a device is shared with. The list, the bind and
// the unbind are background jobs; at most one listing runs at a time, and
// closing sets the mark that stops a listing from adding rows.

#include <QStringList>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ui/dialog_look.h"
#include "webservice/sharing.h"

class QAbstractButton;
class QLineEdit;
class QMenu;
class QTreeWidget;

namespace lumivex {

struct AppContext;

namespace bind_controls {
inline constexpr char kList[] = "users";        // 1177
inline constexpr char kName[] = "name";         // 1179
inline constexpr char kAdd[] = "add";           // 1190 "添加新用户"
inline constexpr char kDelete[] = "delete";     // 1136 "删除用户"
inline constexpr char kClose[] = "close";       // 2 "关闭"
}  // namespace bind_controls

// Entries of the list's menu (QAction::data).
inline constexpr int kUnbindEntry = 3101;   // "删除绑定"
inline constexpr int kRefreshEntry = 3102;  // "刷新列表"

class CBindUser : public BandedDialog {
  Q_OBJECT

 public:
  // Shows a menu at a place and returns the chosen entry (null for none).
  using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;
  // Asks to unbind a user: true for OK.
  using Confirmer = std::function<bool(const QString& title, const QString& text)>;

  CBindUser(AppContext& app, std::string sid, QWidget* parent = nullptr);
  ~CBindUser() override;

  QTreeWidget* list() const { return list_; }
  bool listing() const { return listing_; }
  void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }
  void SetConfirmer(Confirmer confirm) { confirm_ = std::move(confirm); }

 public slots:
  void reject() override;  // "关闭" and Esc: the closing mark, then close

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void StartListing();
  void ShowUsers(const std::vector<BoundUser>& users);
  void AddUser();
  // "删除用户" (title "确认") and "删除绑定" (title "提示").
  void Unbind(const QString& title);
  void ShowListMenu(const QPoint& pos);

  AppContext& app_;
  const std::string sid_;
  std::shared_ptr<std::atomic<bool>> closing_ = std::make_shared<std::atomic<bool>>(false);
  QTreeWidget* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  MenuRunner menuRunner_;
  Confirmer confirm_;
  bool listing_ = false;
};

}  // namespace lumivex
