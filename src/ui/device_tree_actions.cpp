#include "ui/device_tree_actions.h"

#include "core/notifier.h"

namespace lumivex::ui {

void TreeActions::NotAvailableYet() { notifier_.MessageBox("提示", "not available yet"); }

bool TreeActions::AcceptUnlockPattern(int) {
  NotAvailableYet();
  return false;
}

bool TreeActions::ConfirmPassword() {
  NotAvailableYet();
  return false;
}

void TreeActions::OpenPlayback(int) { NotAvailableYet(); }
void TreeActions::OpenAlarm(int) { NotAvailableYet(); }
void TreeActions::OpenRename(int) { NotAvailableYet(); }
void TreeActions::OpenBoundUsers(int) { NotAvailableYet(); }

}  // namespace lumivex::ui
