#pragma once
// What the device tree asks of the main window: the commands it cannot carry
// out itself. Called on the GUI thread with a device index of the
// CameraList. The dialogs that come later answer with a plain notice for now.

namespace lumivex {
class Notifier;
}

namespace lumivex::ui {

class TreeActions {
 public:
  explicit TreeActions(Notifier& notifier) : notifier_(notifier) {}
  virtual ~TreeActions() = default;
  TreeActions(const TreeActions&) = delete;
  TreeActions& operator=(const TreeActions&) = delete;

  virtual void StartLiveView(int device) = 0;
  virtual void StopLiveView(int device) = 0;
  // The camera's Camera entry asks for recording from the start.
  virtual void SwitchRecordingOn(int device) = 0;

  // The unlock pattern dialog; true when a matching pattern was entered.
  virtual bool AcceptUnlockPattern(int device);
  // The password confirmation dialog; false when cancelled.
  virtual bool ConfirmPassword();
  virtual void OpenPlayback(int device);
  virtual void OpenAlarm(int device);
  virtual void OpenRename(int device);
  virtual void OpenBoundUsers(int device);

 protected:
  void NotAvailableYet();

  Notifier& notifier_;
};

}  // namespace lumivex::ui
