#pragma once
// What the device tree asks of the main window: the commands and dialogs it
// cannot carry out itself. Called on the GUI thread with a device index of
// the CameraList.

namespace lumivex::ui {

class TreeActions {
 public:
  TreeActions() = default;
  virtual ~TreeActions() = default;
  TreeActions(const TreeActions&) = delete;
  TreeActions& operator=(const TreeActions&) = delete;

  virtual void StartLiveView(int device) = 0;
  virtual void StopLiveView(int device) = 0;
  // The camera's Camera entry asks for recording from the start.
  virtual void SwitchRecordingOn(int device) = 0;

  // The unlock pattern dialog; true when a matching pattern was entered.
  virtual bool AcceptUnlockPattern(int device) = 0;
  // The password confirmation dialog; false when cancelled.
  virtual bool ConfirmPassword() = 0;
  virtual void OpenPlayback(int device) = 0;
  virtual void OpenAlarm(int device) = 0;
  virtual void OpenRename(int device) = 0;
  virtual void OpenBoundUsers(int device) = 0;
};

}  // namespace lumivex::ui
