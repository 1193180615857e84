#pragma once
// What the client would show, as lines on standard output: "message: ",
// "status: ", "tip: ", and "question: " followed by the scripted "answer: ".

#include <iosfwd>
#include <mutex>

#include "core/notifier.h"

namespace lumivex::cli {

class ConsoleNotifier : public Notifier {
 public:
  explicit ConsoleNotifier(std::ostream& out) : out_(out) {}

  void MessageBox(const std::string& title, const std::string& text) override;
  bool AskYesNo(const std::string& title, const std::string& text) override;
  void Tip(const std::string& text, int milliseconds) override;
  void Status(const std::string& text) override;

  void SetAnswer(bool yes) { answer_ = yes; }
  // A plain result line, serialised with the notices of worker threads.
  void Print(const std::string& line);

 private:
  void Line(const char* kind, const std::string& text);

  std::mutex mutex_;  // guards out_
  std::ostream& out_;
  bool answer_ = false;  // set before any worker starts
};

}  // namespace lumivex::cli
