#include "config/markup_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "core/file_write.h"
#include "core/logging.h"

namespace lumivex {
namespace {

// A configuration file with every camera of a full account is well under a
// megabyte; anything far larger is not ours.
constexpr std::size_t kMaxFileBytes = 16u << 20;
// pugixml spends some sixty bytes on every node, more than ten times the
// text of a small element: a full account has a few thousand, so this many
// '<' bytes (an overcount in UTF-16) bound the tree to a few megabytes.
constexpr std::size_t kMaxTagMarks = 65536;

// Size from the open file, not the path: a save may rename a new file over
// the path in between.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.clear();
  char chunk[16384];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxFileBytes) return false;
  }
  return !in.bad();
}

bool StartsWith(const std::string& bytes, std::string_view mark) {
  return bytes.compare(0, mark.size(), mark) == 0;
}

pugi::xml_encoding PugiEncoding(MarkupDocument::Encoding encoding) {
  switch (encoding) {
    case MarkupDocument::Encoding::kUtf16Le: return pugi::encoding_utf16_le;
    case MarkupDocument::Encoding::kUtf16Be: return pugi::encoding_utf16_be;
    default: return pugi::encoding_utf8;
  }
}

bool HasMark(MarkupDocument::Encoding encoding) {
  return encoding != MarkupDocument::Encoding::kUtf8;
}

// Levels of elements, the root among them. The format nests four deep; a
// deeper file is no configuration of ours, and saving it back indents by
// depth: its size would grow with the square of its depth.
constexpr int kMaxDepth = 64;

struct DepthCheck : pugi::xml_tree_walker {
  bool tooDeep = false;
  bool for_each(pugi::xml_node&) override {
    tooDeep = depth() >= kMaxDepth;
    return !tooDeep;
  }
};

bool TooDeep(pugi::xml_document& doc) {
  DepthCheck check;
  doc.traverse(check);
  return check.tooDeep;
}

struct StringWriter : pugi::xml_writer {
  std::string bytes;
  void write(const void* data, std::size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

bool MarkupDocument::Load(const std::string& path) {
  doc_.reset();
  current_ = child_ = pugi::xml_node();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) {
    if (bytes.size() > kMaxFileBytes)
      LogLine("config file " + path + " does not load: larger than " +
              std::to_string(kMaxFileBytes) + " bytes");
    return false;
  }
  if (std::count(bytes.begin(), bytes.end(), '<') > static_cast<std::ptrdiff_t>(kMaxTagMarks)) {
    LogLine("config file " + path + " does not load: more than " +
            std::to_string(kMaxTagMarks) + " tags");
    return false;
  }

  std::size_t skip = 0;
  if (StartsWith(bytes, "\xEF\xBB\xBF")) {
    encoding_ = Encoding::kUtf8Bom;
    skip = 3;
  } else if (StartsWith(bytes, "\xFF\xFE")) {
    encoding_ = Encoding::kUtf16Le;
    skip = 2;
  } else if (StartsWith(bytes, "\xFE\xFF")) {
    encoding_ = Encoding::kUtf16Be;
    skip = 2;
  } else {
    encoding_ = Encoding::kUtf8;
  }

  pugi::xml_parse_result result =
      doc_.load_buffer(bytes.data() + skip, bytes.size() - skip,
                       pugi::parse_default | pugi::parse_comments, PugiEncoding(encoding_));
  int roots = 0;
  for (pugi::xml_node node : doc_.children())
    if (node.type() == pugi::node_element) ++roots;
  const bool tooDeep = result && TooDeep(doc_);
  if (result && roots == 1 && !tooDeep) return true;
  LogLine("config file " + path + " does not load: " +
          (!result   ? std::string(result.description())
           : tooDeep ? "nested more than " + std::to_string(kMaxDepth) + " levels deep"
                     : std::string("not exactly one root element")));
  doc_.reset();
  return false;
}

void MarkupDocument::CreateRoot(std::string_view name) {
  doc_.reset();
  current_ = child_ = pugi::xml_node();
  encoding_ = Encoding::kUtf16Le;
  doc_.append_child(std::string(name).c_str());
}

bool MarkupDocument::Save(const std::string& path) const {
  if (!doc_.document_element()) return false;
  StringWriter writer;
  unsigned flags = pugi::format_indent | pugi::format_no_declaration;
  if (HasMark(encoding_)) flags |= pugi::format_write_bom;
  doc_.save(writer, "\t", flags, PugiEncoding(encoding_));
  // The file holds the remembered password: private, and never half written.
  if (WriteFileAtomically(path, writer.bytes, S_IRUSR | S_IWUSR)) return true;
  LogLine("config file " + path + " could not be saved");
  return false;
}

bool MarkupDocument::FindRoot(std::string_view name) {
  pugi::xml_node root = doc_.document_element();
  if (!root || name != root.name()) return false;
  current_ = root;
  child_ = pugi::xml_node();
  return true;
}

bool MarkupDocument::FindChild(std::string_view name) {
  if (!current_) return false;
  pugi::xml_node node = child_ ? child_.next_sibling() : current_.first_child();
  for (; node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    if (name.empty() || name == node.name()) {
      child_ = node;
      return true;
    }
  }
  return false;
}

bool MarkupDocument::IntoChild() {
  if (!child_) return false;
  current_ = child_;
  child_ = pugi::xml_node();
  return true;
}

bool MarkupDocument::OutOfElem() {
  if (!current_ || current_ == doc_.document_element()) return false;
  child_ = current_;
  current_ = current_.parent();
  return true;
}

void MarkupDocument::ResetChildPos() { child_ = pugi::xml_node(); }

bool MarkupDocument::AddChild(std::string_view name, std::string_view text) {
  if (!current_ || name.empty()) return false;
  pugi::xml_node node = child_ ? current_.insert_child_after(pugi::node_element, child_)
                               : current_.append_child(pugi::node_element);
  if (!node) return false;
  node.set_name(std::string(name).c_str());
  if (!text.empty()) node.text().set(std::string(text).c_str());
  child_ = node;
  return true;
}

std::string MarkupDocument::Name() const { return current_ ? current_.name() : ""; }

std::string MarkupDocument::GetText() const { return current_ ? current_.text().get() : ""; }

bool MarkupDocument::SetText(std::string_view text) {
  return current_ && current_.text().set(std::string(text).c_str());
}

std::string MarkupDocument::GetAttrib(std::string_view name) const {
  if (!current_) return "";
  return current_.attribute(std::string(name).c_str()).value();
}

bool MarkupDocument::SetAttrib(std::string_view name, std::string_view value) {
  if (!current_ || name.empty()) return false;
  std::string key(name);
  pugi::xml_attribute attribute = current_.attribute(key.c_str());
  if (!attribute) attribute = current_.append_attribute(key.c_str());
  return attribute && attribute.set_value(std::string(value).c_str());
}

bool MarkupDocument::RemoveElem() {
  if (!current_ || current_ == doc_.document_element()) return false;
  pugi::xml_node parent = current_.parent();
  child_ = current_.previous_sibling();
  parent.remove_child(current_);
  current_ = parent;
  return true;
}

}  // namespace lumivex
