#pragma once
// A notifier that keeps what the client would have shown, for assertions.

#include <mutex>
#include <string>
#include <vector>

#include "core/notifier.h"

namespace lumivex::test {

class RecordingNotifier : public Notifier {
 public:
  void MessageBox(const std::string& title, const std::string& text) override;
  bool AskYesNo(const std::string& title, const std::string& text) override;
  void Tip(const std::string& text, int milliseconds) override;
  void Status(const std::string& text) override;

  void SetAnswer(bool yes);
  // "title|text" of each message box, questions included, in order.
  std::vector<std::string> messages() const;
  std::vector<std::string> statuses() const;
  std::vector<std::string> tips() const;
  // The last status text, or "" when none.
  std::string lastStatus() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_, statuses_, tips_;  // guarded by mutex_
  bool answer_ = false;                                   // guarded by mutex_
};

}  // namespace lumivex::test
