#include "app/dialogs/AboutBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/DialogUnits.h"
#include "app/messages/UiStrings.h"

namespace quaverly {

namespace {

// The box's texts, Japanese (template 215) and English (template 216).
struct AboutTexts {
  const char* caption;
  const char* name;
};
constexpr AboutTexts kJapanese{"ﾊﾞｰｼﾞｮﾝ情報（ｸｪｲﾊﾞﾘｰ）", "ｸｪｲﾊﾞﾘｰ Version "};
constexpr AboutTexts kEnglish{"About(Quaverly)", "Quaverly Version "};
constexpr const char* kCopyright = "Copyright (C) VELMAR";

// Template layout in dialog units.
constexpr QSize kBoxSize{235, 55};
constexpr QPoint kIconAt{11, 17};
constexpr int kIconUnits = 20;
constexpr QRect kNameRect{40, 10, 119, 8};
constexpr QRect kCopyrightRect{40, 25, 119, 8};
constexpr QRect kOkRect{178, 7, 50, 14};
constexpr int kMargin = 7;

// The icon: the bitmap when the program has it, else the program's window icon.
QPixmap aboutIcon(int pixels) {
  const QImage bitmap = bitmapLibrary().image(AboutBox::kIconBitmap);
  if (!bitmap.isNull()) return QPixmap::fromImage(bitmap);
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation);
  return icon.pixmap(pixels, pixels);
}

// A label at its template place, widened to its text if the text is longer.
QLabel* addLine(QWidget* box, const QString& objectName, const QString& text, const QRect& place) {
  auto* label = new QLabel(text, box);
  label->setObjectName(objectName);
  label->setTextFormat(Qt::PlainText);
  const QSize needed = QFontMetrics(label->font()).size(0, text);
  label->setGeometry(place.x(), place.y(), std::max(place.width(), needed.width() + 2),
                     std::max(place.height(), needed.height()));
  return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  const AboutTexts& texts = isEnglish() ? kEnglish : kJapanese;
  setObjectName(isEnglish() ? QStringLiteral("about216") : QStringLiteral("about215"));
  setFont(dialogFont());
  setWindowTitle(QString::fromUtf8(texts.caption));
  const DialogUnits units(dialogFont());

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("icon"));
  const QPixmap picture = aboutIcon(units.y(kIconUnits));
  icon->setPixmap(picture);
  icon->setGeometry(QRect(QPoint(units.x(kIconAt.x()), units.y(kIconAt.y())), picture.size()));

  // The lines stand right of the icon, moved further right if the picture is wider
  // than the template's icon.
  const int shift = std::max(0, icon->geometry().right() + 1 + units.x(kMargin) - units.x(kNameRect.x()));
  const QLabel* name =
      addLine(this, QStringLiteral("nameText"), QString::fromUtf8(texts.name) + QStringLiteral(QUAVERLY_VERSION),
              units.rect(kNameRect.x(), kNameRect.y(), kNameRect.width(), kNameRect.height()).translated(shift, 0));
  const QLabel* copyright =
      addLine(this, QStringLiteral("copyrightText"), QString::fromUtf8(kCopyright),
              units.rect(kCopyrightRect.x(), kCopyrightRect.y(), kCopyrightRect.width(), kCopyrightRect.height())
                  .translated(shift, 0));

  // The OK button keeps its distance to the right of the longer line.
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  QRect okRect = units.rect(kOkRect.x(), kOkRect.y(), kOkRect.width(), kOkRect.height());
  const int textRight = std::max(name->geometry().right(), copyright->geometry().right());
  const int templateTextRight = units.x(kNameRect.x() + kNameRect.width());
  okRect.moveLeft(okRect.left() + std::max(0, textRight - templateTextRight));
  okRect.setWidth(std::max(okRect.width(), ok->sizeHint().width()));
  ok->setGeometry(okRect);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  const int width = std::max(units.x(kBoxSize.width()), okRect.right() + 1 + units.x(kMargin));
  const int height = std::max({units.y(kBoxSize.height()), icon->geometry().bottom() + 1 + units.y(kMargin),
                               copyright->geometry().bottom() + 1 + units.y(kMargin)});
  setFixedSize(width, height);
}

void runAboutBox(QWidget* parent) {
  AboutBox box(parent ? parent->window() : nullptr);
  box.exec();
}

}  // namespace quaverly
