#include "app/dialogs/DialogFont.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>

#include <optional>

#include "app/dialogs/UiText.h"
#include "app/messages/UiStrings.h"

namespace quaverly {

namespace {

constexpr int kDialogFontPoints = 9;
constexpr unsigned kFaceNameString = 38;

std::optional<QFont>& fontSlot() {
  static std::optional<QFont> font;
  return font;
}

// The face named by the string table, then faces of the same look that other
// systems have. Japanese needs a face with kana and kanji.
QStringList candidateFaces() {
  const std::string_view named = uiString(kFaceNameString);
  QStringList faces{toQString(named)};
  if (isJapanese()) {
    faces << QStringLiteral("MS PGothic") << QStringLiteral("IPAPGothic") << QStringLiteral("Noto Sans CJK JP")
          << QStringLiteral("Noto Sans JP") << QStringLiteral("VL PGothic") << QStringLiteral("IPAGothic");
  } else {
    faces << QStringLiteral("Microsoft Sans Serif") << QStringLiteral("Segoe UI");
  }
  return faces;
}

}  // namespace

void createDialogFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  for (const QString& face : candidateFaces()) {
    if (QFontDatabase::hasFamily(face)) {
      font.setFamilies({face});
      break;
    }
  }
  font.setPointSize(kDialogFontPoints);
  fontSlot() = font;
}

const QFont& dialogFont() {
  if (!fontSlot()) createDialogFont();
  return *fontSlot();
}

}  // namespace quaverly
