#include "support/recording_notifier.h"

namespace lumivex::test {

void RecordingNotifier::MessageBox(const std::string& title, const std::string& text) {
  std::lock_guard lock(mutex_);
  messages_.push_back(title + "|" + text);
}

bool RecordingNotifier::AskYesNo(const std::string& title, const std::string& text) {
  std::lock_guard lock(mutex_);
  messages_.push_back(title + "|" + text);
  return answer_;
}

void RecordingNotifier::Tip(const std::string& text, int) {
  std::lock_guard lock(mutex_);
  tips_.push_back(text);
}

void RecordingNotifier::Status(const std::string& text) {
  std::lock_guard lock(mutex_);
  statuses_.push_back(text);
}

void RecordingNotifier::SetAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  answer_ = yes;
}

std::vector<std::string> RecordingNotifier::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> RecordingNotifier::statuses() const {
  std::lock_guard lock(mutex_);
  return statuses_;
}

std::vector<std::string> RecordingNotifier::tips() const {
  std::lock_guard lock(mutex_);
  return tips_;
}

std::string RecordingNotifier::lastStatus() const {
  std::lock_guard lock(mutex_);
  return statuses_.empty() ? std::string() : statuses_.back();
}

void RecordingNotifier::Clear() {
  std::lock_guard lock(mutex_);
  messages_.clear();
  statuses_.clear();
  tips_.clear();
}

}  // namespace lumivex::test
