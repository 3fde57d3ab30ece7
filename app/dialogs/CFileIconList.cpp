#include "app/dialogs/CFileIconList.h"

#include <QMimeDatabase>
#include <QStandardPaths>
#include <QStringList>

#include <array>
#include <utility>

#include "app/dialogs/ProgramIcons.h"

namespace quaverly {

namespace {

// One standard slot: the theme icon that shows it on a Linux desktop (empty: the
// program's own icon only) and the program's own icon.
struct StandardIcon {
  const char* themeName;
  int ownIcon;
};

constexpr std::array<StandardIcon, CFileIconList::kStandardCount> kStandardIcons = {{
    {"", 171},                          // 0 drive of another type
    {"user-desktop", 157},              // 1 desktop
    {"computer", 158},                  // 2 my computer
    {"drive-removable-media", 159},     // 3 removable drive
    {"drive-harddisk", 160},            // 4 local disk
    {"drive-optical", 161},             // 5 CD-ROM drive
    {"folder-remote", 162},             // 6 network drive
    {"", 163},                          // 7 reserved
    {"folder", 164},                    // 8 closed folder
    {"folder-open", 165},               // 9 open folder
    {"text-x-generic", 166},            // 10 file of unknown type
    {"application-x-executable", 167},  // 11 program file
    {"text-x-generic", 166},            // 12 reserved
    {"emblem-symbolic-link", 174},      // 13 shortcut arrow
}};

std::optional<std::pair<QString, QString>> mimeTypeOfExtension(const QString& extension) {
  static const QMimeDatabase database;
  // By the name alone: no file is opened.
  const QMimeType type = database.mimeTypeForFile(QStringLiteral("file") + extension, QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return std::nullopt;
  return std::pair(type.iconName(), type.genericIconName());
}

CFileIconList::Sources systemSources() {
  // A machine without a desktop names no theme, or only the bare default one, and
  // Qt may then not even search the system's icon folders: those folders are added,
  // the default theme is named, and the theme installed with the program's packages
  // stands in behind it. A desktop's own theme still comes first.
  QStringList searchPaths = QIcon::themeSearchPaths();
  for (const QString& folder : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                                          QStandardPaths::LocateDirectory)) {
    if (!searchPaths.contains(folder)) searchPaths.append(folder);
  }
  QIcon::setThemeSearchPaths(searchPaths);
  const QString defaultTheme = QStringLiteral("hicolor");
  if (QIcon::themeName().isEmpty()) QIcon::setThemeName(defaultTheme);
  const QString fallback = QIcon::fallbackThemeName();
  if (fallback.isEmpty() || fallback == defaultTheme) QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  return {[](const QString& name) { return QIcon::fromTheme(name); }, programIcon, mimeTypeOfExtension};
}

}  // namespace

CFileIconList::CFileIconList() : CFileIconList(systemSources()) {}

CFileIconList::CFileIconList(Sources sources) : sources_(std::move(sources)) {}

void CFileIconList::loadStandardIcons() {
  if (!icons_.empty()) return;  // filled already: the indices stay where they are
  for (const StandardIcon& standard : kStandardIcons) {
    QIcon icon;
    if (*standard.themeName) icon = sources_.themeIcon(QString::fromLatin1(standard.themeName));
    if (icon.isNull()) icon = sources_.ownIcon(standard.ownIcon);
    icons_.push_back(icon);
  }
}

std::optional<std::uint32_t> CFileIconList::extensionKey(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const std::string_view extension = fileName.substr(dot);
  std::uint32_t key = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    char c = i < extension.size() ? extension[i] : 'P';
    if (i < extension.size() && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    key |= static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << (8 * i);
  }
  return key;
}

int CFileIconList::iconIndexOf(std::string_view fileName) {
  const std::optional<std::uint32_t> key = extensionKey(fileName);
  if (!key) return kUnknownFile;
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == *key) return keyIcons_[i];
  }
  const int index = learn(fileName.substr(fileName.rfind('.')), *key);
  keys_.push_back(*key);
  keyIcons_.push_back(index);
  return index;
}

int CFileIconList::learn(std::string_view extension, std::uint32_t key) {
  const auto registered =
      sources_.registeredType(QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size())));
  if (!registered) return kUnknownFile;
  if (key == extensionKey(".exe")) return kProgram;
  if (key == extensionKey(".lnk")) return kShortcut;
  QIcon icon = sources_.themeIcon(registered->first);
  if (icon.isNull()) icon = sources_.themeIcon(registered->second);
  if (icon.isNull()) return kUnknownFile;
  icons_.push_back(icon);
  return static_cast<int>(icons_.size()) - 1;
}

CFileIconList& fileIconList() {
  static CFileIconList list;
  return list;
}

QIcon fileIconOf(std::string_view fileName) {
  CFileIconList& icons = fileIconList();
  const int index = icons.iconIndexOf(fileName);
  const std::vector<QIcon>& images = icons.imageList();
  return index >= 0 && static_cast<std::size_t>(index) < images.size() ? images[static_cast<std::size_t>(index)]
                                                                        : QIcon();
}

}  // namespace quaverly
