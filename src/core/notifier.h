#pragma once
// How the core reports to whoever drives it. The desktop program queues each
// call onto its GUI thread; the command-line driver prints. Core threads call
// these from any thread and never wait for the user.

#include <string>

namespace lumivex {

class Notifier {
 public:
  virtual ~Notifier() = default;
  // A message box with an OK button; title is usually "提示".
  virtual void MessageBox(const std::string& title, const std::string& text) = 0;
  // The same, but the caller waits until the user has closed it.
  virtual void MessageBoxAndWait(const std::string& title, const std::string& text) { MessageBox(title, text); }
  // A Yes/No question the caller waits on; true for Yes.
  virtual bool AskYesNo(const std::string& title, const std::string& text) = 0;
  // A fading tip shown for about the given time.
  virtual void Tip(const std::string& text, int milliseconds) = 0;
  // The status line of the window that started the operation.
  virtual void Status(const std::string& text) = 0;
  // Something visible changed; repaint when convenient.
  virtual void Repaint() {}
};

}  // namespace lumivex
