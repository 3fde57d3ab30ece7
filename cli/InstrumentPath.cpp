#include "cli/InstrumentPath.h"

#include "app/protocol/wire/ShiftJisText.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

using protocol::shiftJisToUtf8;
using protocol::utf8ToShiftJis;

constexpr std::string_view kDrive = "0:";

bool isSeparator(char c) { return c == '/' || c == '\\'; }

ParsedPath refuse(std::string text) { return ParsedPath{std::nullopt, std::move(text)}; }

}  // namespace

std::string InstrumentPath::wire() const {
  std::string text(kDrive);
  for (const std::string& part : parts) {
    text += '\\';
    text += part;
  }
  return text;
}

std::string InstrumentPath::display() const { return protocol::displayText(wire()); }

const std::string& InstrumentPath::name() const {
  static const std::string drive(kDrive);
  return parts.empty() ? drive : parts.back();
}

InstrumentPath InstrumentPath::parent() const {
  InstrumentPath folder = *this;
  if (!folder.parts.empty()) folder.parts.pop_back();
  return folder;
}

ParsedPath parseInstrumentPath(std::string_view utf8) {
  if (utf8.empty()) return refuse("an empty path names nothing on the instrument");
  const std::string shown = "'" + std::string(utf8) + "'";
  // In UTF-8 an ASCII byte never stands inside a longer character, so the separators
  // can be looked for byte by byte.
  std::string_view rest = utf8;
  if (rest.starts_with(kDrive)) rest.remove_prefix(kDrive.size());

  InstrumentPath path;
  std::size_t wireBytes = kDrive.size();
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !isSeparator(rest[end])) ++end;
    const std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    if (part.empty()) continue;  // doubled or trailing separators
    if (part == "." || part == "..") return refuse(shown + ": '.' and '..' are not used on the instrument");
    for (const char c : part) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) return refuse(shown + ": control characters are not allowed in a path");
      if (c == ':') {
        return refuse(shown +
                      (path.parts.empty() ? ": the instrument has one drive, 0:" : ": ':' is not allowed in a name"));
      }
    }
    auto converted = utf8ToShiftJis(part);
    if (!converted) return refuse(shown + ": '" + std::string(part) + "' cannot be written in Shift JIS");
    wireBytes += 1 + converted->size();
    if (wireBytes > kMaxWirePathBytes) {
      return refuse(shown + ": the path is longer than " + std::to_string(kMaxWirePathBytes) + " bytes");
    }
    path.parts.push_back(std::move(*converted));
  }
  return ParsedPath{std::move(path), {}};
}

std::optional<InstrumentPath> pathArgument(std::string_view utf8, std::ostream& err) {
  ParsedPath parsed = parseInstrumentPath(utf8);
  if (!parsed.path) printFailure(err, parsed.error);
  return std::move(parsed.path);
}

std::optional<InstrumentPath> entryPathArgument(std::string_view utf8, std::string_view driveRefusal,
                                                std::ostream& err) {
  std::optional<InstrumentPath> path = pathArgument(utf8, err);
  if (path && path->isDrive()) {
    printFailure(err, driveRefusal);
    return std::nullopt;
  }
  return path;
}

FolderNode* childNamed(InstrumentFolderTree& tree, FolderNode* folder, std::string_view name) {
  for (FolderNode* child = tree.firstChild(folder); child; child = tree.nextSibling(child)) {
    if (protocol::equalsIgnoringAsciiCase(tree.nameOf(child), name)) return child;
  }
  return nullptr;
}

FolderNode* findOnInstrument(InstrumentFolderTree& tree, const InstrumentPath& path) {
  FolderNode* node = tree.drive();
  for (const std::string& part : path.parts) {
    if (!node || tree.kindOf(node) == InstrumentFolderTree::kFile) return nullptr;
    tree.listFolder(node);
    node = childNamed(tree, node, part);
  }
  return node;
}

}  // namespace quaverly::cli
