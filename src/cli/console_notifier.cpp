#include "cli/console_notifier.h"

#include <ostream>

namespace lumivex::cli {

// A text of several lines prints as several lines of that kind.
void ConsoleNotifier::Line(const char* kind, const std::string& text) {
  std::lock_guard lock(mutex_);
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    out_ << kind << ": " << text.substr(start, end - start) << "\n";
  out_ << kind << ": " << text.substr(start) << std::endl;
}

void ConsoleNotifier::Print(const std::string& line) {
  std::lock_guard lock(mutex_);
  out_ << line << std::endl;
}

void ConsoleNotifier::MessageBox(const std::string&, const std::string& text) { Line("message", text); }

bool ConsoleNotifier::AskYesNo(const std::string&, const std::string& text) {
  Line("question", text);
  Line("answer", answer_ ? "yes" : "no");
  return answer_;
}

void ConsoleNotifier::Tip(const std::string& text, int) { Line("tip", text); }

// A successful sign-in clears the status line; nothing to print then.
void ConsoleNotifier::Status(const std::string& text) {
  if (!text.empty()) Line("status", text);
}

}  // namespace lumivex::cli
