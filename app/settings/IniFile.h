// A read-only private-profile (INI) file, looked up the way the platform's profile
// functions do it:
//
// - "[name]" starts a section; the name is the text up to the last ']' on the line.
//   Lines before the first section belong to none and are never found.
// - "key=value": the key is the text before the first '=', the value the rest of the
//   line. Both are trimmed; a value enclosed in a matching pair of quotes (" or ')
//   loses them. A line without '=' is a key without a value: reading it gives the
//   default.
// - Section and key names compare without ASCII case. Of several sections with the
//   same name only the first is searched, and in it the first key of the name.
// - Only a line whose first non-blank character is ';' is a comment; a ';' later on
//   a line belongs to the value.
//
// The file is untrusted input: at most kMaxFileBytes are read, every value is cut to
// kMaxValueBytes (at a character boundary of UTF-8), a NUL byte ends a name or a
// value, and nothing in the text can make a lookup fail other than by not finding it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly {

class IniFile {
 public:
  // A settings file is a few hundred bytes; anything past this is not read.
  static constexpr std::size_t kMaxFileBytes = 1024 * 1024;
  // The longest value handed out, as a profile read into a 4096-byte buffer gives it.
  static constexpr std::size_t kMaxValueBytes = 4095;
  // An integer is read from at most this many leading characters of its value, like
  // the platform's profile integer read with its fixed 30-character buffer.
  static constexpr std::size_t kMaxIntegerChars = 29;

  // An empty file: every lookup gives its default.
  IniFile() = default;

  // The file's text parsed; a leading UTF-8 byte order mark is skipped.
  static IniFile parse(std::string_view text);
  // Reads and parses the file at `path`. Nothing when it cannot be opened or is not a
  // regular file.
  static std::optional<IniFile> load(const std::filesystem::path& path);

  // The value of `key` in `section`, as the file holds it (trimmed, quotes not
  // removed); nothing when the section or the key is missing or the key has no '='.
  std::optional<std::string_view> rawValue(std::string_view section, std::string_view key) const;

  // Like the platform's profile string read: the value with a surrounding pair of
  // quotes removed, or `defaultValue` without its trailing blanks when there is none.
  std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const;

  // Like the platform's profile integer read: `defaultValue` when the key is missing
  // or its value is empty; otherwise the value read by parseProfileInteger ("abc"
  // gives 0).
  std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;

  bool empty() const { return sections_.empty(); }

 private:
  struct Entry {
    std::string key;
    std::optional<std::string> value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

  std::vector<Section> sections_;
};

// Reads an integer the way the profile integer read does: leading blanks skipped, an
// optional '+' or '-', then decimal digits up to the first other character; no
// digits give 0. The number wraps around modulo 2^32 like the platform's unsigned
// arithmetic and is returned as a signed 32-bit value. Only the first
// kMaxIntegerChars characters are looked at.
std::int32_t parseProfileInteger(std::string_view text);

}  // namespace quaverly
