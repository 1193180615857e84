#pragma once
// A small XML document with a cursor, over pugixml: what the configuration
// files need and no more.
//
// The cursor is a current element and a child position inside it. Searches
// among the current element's children start after the child position (from
// the first child when there is none); a found or added child becomes the
// child position; IntoChild makes it the current element and OutOfElem goes
// back to the parent with the old element as child position.
//
// Files keep the encoding they were read in: the byte-order mark decides
// (EF BB BF UTF-8, FF FE UTF-16LE, FE FF UTF-16BE); without a mark the file is
// UTF-8. A new document is UTF-16LE with a mark. No XML declaration is written.
//
// Not thread-safe: one document per thread. Saves are atomic (a temporary
// file in the same folder renamed over the target, mode 0600).

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace lumivex {

class MarkupDocument {
 public:
  enum class Encoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };

  MarkupDocument() = default;
  MarkupDocument(const MarkupDocument&) = delete;
  MarkupDocument& operator=(const MarkupDocument&) = delete;

  // Replaces the document with the file's; true only when the file was read
  // and parsed to exactly one root element. On failure the document is empty.
  bool Load(const std::string& path);
  // Replaces the document with <name/> in UTF-16LE with a mark.
  void CreateRoot(std::string_view name);
  bool Save(const std::string& path) const;

  Encoding encoding() const { return encoding_; }

  // Makes the root element current when it has this name.
  bool FindRoot(std::string_view name);
  // The next child after the child position with this name (any name when
  // empty) becomes the child position. Not found: the position stays.
  bool FindChild(std::string_view name = {});
  bool IntoChild();
  bool OutOfElem();
  void ResetChildPos();
  // A new child after the child position (at the end when there is none);
  // it becomes the child position.
  bool AddChild(std::string_view name, std::string_view text = {});

  // Of the current element. Missing text or attribute reads as empty.
  std::string Name() const;
  std::string GetText() const;
  bool SetText(std::string_view text);
  std::string GetAttrib(std::string_view name) const;
  bool SetAttrib(std::string_view name, std::string_view value);
  // Removes the current element; its parent becomes current with the
  // previous sibling as child position, so a search goes on after it.
  bool RemoveElem();

 private:
  pugi::xml_document doc_;
  pugi::xml_node current_;  // null until FindRoot
  pugi::xml_node child_;    // null: before the first child
  Encoding encoding_ = Encoding::kUtf16Le;
};

}  // namespace lumivex
