#pragma once
// The children of one section of the user's configuration file.

#include <cstdint>
#include <string>
#include <string_view>

#include "config/markup_document.h"
#include "core/text.h"

namespace lumivex {

inline constexpr std::string_view kConfigRoot = "config";

// The children of one section, each looked up by name from the first child,
// so the order of elements in the file does not matter.
class ConfigSection {
 public:
  ConfigSection(MarkupDocument& doc, std::string_view name)
      : doc_(doc), found_(doc.FindRoot(kConfigRoot) && doc.FindChild(name) && doc.IntoChild()) {}

  std::string Text(std::string_view element) {
    if (!Into(element)) return "";
    std::string text = doc_.GetText();
    doc_.OutOfElem();
    return text;
  }
  int32_t Number(std::string_view element) { return DecimalPrefix(Text(element)); }
  int32_t Switch(std::string_view element) { return Text(element) == "1" ? 1 : 0; }

  void SetText(std::string_view element, std::string_view text) {
    if (!Into(element)) return;
    doc_.SetText(text);
    doc_.OutOfElem();
  }
  void SetNumber(std::string_view element, int32_t value) { SetText(element, DecimalText(value)); }
  // The same, adding the element at the section's end when the file has
  // none (a file from before the element existed); false without the section.
  bool SetOrAddText(std::string_view element, std::string_view text) {
    if (!found_) return false;
    if (!Into(element)) {
      doc_.ResetChildPos();
      return doc_.AddChild(element, text);
    }
    doc_.SetText(text);
    doc_.OutOfElem();
    return true;
  }

 private:
  bool Into(std::string_view element) {
    if (!found_) return false;
    doc_.ResetChildPos();
    return doc_.FindChild(element) && doc_.IntoChild();
  }

  MarkupDocument& doc_;
  bool found_;
};

}  // namespace lumivex
