// The one catalogue of small file icons of the process: fourteen standard icons at
// fixed indices, and one icon per file extension, learned on first use from the
// file types the system knows. The file lists of the Control and the Receive and
// Transmit dialogs draw their icons from it by index.
//
// On Linux the standard icons come from the desktop's icon theme, each falling back
// to the program's own icon of the same slot when the theme has none (as on a
// machine without a desktop). The registry of file classes is the shared MIME
// database, matched by file name only: an extension is registered when its type is
// not the default one. Used on the user-interface thread only.
#pragma once

#include <QIcon>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace quaverly {

class CFileIconList {
 public:
  static constexpr int kUnknownFile = 10;
  static constexpr int kProgram = 11;
  static constexpr int kShortcut = 13;
  static constexpr int kStandardCount = 14;

  // The system's side, replaceable for tests.
  struct Sources {
    // The theme's icon of that name; a null icon when the theme has none.
    std::function<QIcon(const QString& name)> themeIcon;
    // The program's own icon resource `id`.
    std::function<QIcon(int id)> ownIcon;
    // The icon names (specific, generic) of a registered extension (".mid"); nothing
    // when the extension is not registered.
    std::function<std::optional<std::pair<QString, QString>>(const QString& extension)> registeredType;
  };

  // Icons from the desktop's theme, the program's resources and the MIME database.
  CFileIconList();
  explicit CFileIconList(Sources sources);

  // Fills indices 0 to 13, once: during start-up (a second call changes nothing).
  void loadStandardIcons();
  // The icon index for a file name; 10 when it has no extension or one the system
  // does not know. Each extension is looked up once per run.
  int iconIndexOf(std::string_view fileName);
  // Every icon so far, index for index; it only grows.
  const std::vector<QIcon>& imageList() const { return icons_; }

  // The key of a file name's extension: the first four bytes of the lower-cased text
  // from its last full stop, padded with "PPP". Nothing when there is no full stop.
  static std::optional<std::uint32_t> extensionKey(std::string_view fileName);

 private:
  int learn(std::string_view extension, std::uint32_t key);

  Sources sources_;
  std::vector<QIcon> icons_;
  std::vector<std::uint32_t> keys_;
  std::vector<int> keyIcons_;
};

// The process's icon list.
CFileIconList& fileIconList();

// The icon of the process's list for a file name (a null icon before the standard
// icons are loaded).
QIcon fileIconOf(std::string_view fileName);

}  // namespace quaverly
