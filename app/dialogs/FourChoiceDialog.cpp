#include "app/dialogs/FourChoiceDialog.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <array>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/DialogUnits.h"
#include "app/dialogs/OwnerWindow.h"
#include "app/dialogs/UiText.h"

namespace quaverly {

namespace {

constexpr int kIconId = 1036;
constexpr int kMessageId = 1039;

// Template sizes in dialog units.
constexpr int kDialogWidth = 287;
constexpr int kDialogHeight = 71;
constexpr int kMargin = 7;
constexpr int kIconSize = 20;
constexpr int kMessageLeft = 37;
constexpr int kMessageTop = 12;
constexpr int kMessageWidth = 241;
constexpr int kMessageLineHeight = 8;
constexpr int kButtonTop = 50;
constexpr int kButtonWidth = 60;
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 6;

}  // namespace

FourChoiceDialog::FourChoiceDialog(FourChoiceVariant variant, const QString& message, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setFont(dialogFont());
  setWindowTitle(uiText(kTitleText));
  const DialogUnits units(dialogFont());
  const QFontMetrics metrics(dialogFont());

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("icon"));
  icon->setProperty("controlId", kIconId);
  const QRect iconRect = units.rect(kMargin, kMargin, kIconSize, kIconSize);
  const int iconPixels = std::min(iconRect.width(), iconRect.height());
  const QImage picture = bitmapLibrary().image(kIconBitmap);
  icon->setPixmap(picture.isNull() ? style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(iconPixels, iconPixels)
                                   : QPixmap::fromImage(picture));
  icon->setGeometry(QRect(iconRect.topLeft(), icon->pixmap().size().expandedTo(iconRect.size())));

  // The message keeps the template's one line where it fits; a longer text (a long
  // name, the line break of the English overwrite question) widens and lengthens
  // the dialog instead of being cut.
  auto* text = new QLabel(message, this);
  text->setObjectName(QStringLiteral("messageText"));
  text->setProperty("controlId", kMessageId);
  text->setTextFormat(Qt::PlainText);
  const int maxTextWidth = units.x(kMessageWidth) * 5 / 2;
  QRect textRect = units.rect(kMessageLeft, kMessageTop, kMessageWidth, kMessageLineHeight);
  const QRect needed = metrics.boundingRect(QRect(0, 0, maxTextWidth, 100000), Qt::TextWordWrap, message);
  text->setWordWrap(needed.width() >= maxTextWidth);
  textRect.setWidth(std::max(textRect.width(), needed.width() + 2));
  textRect.setHeight(std::max(textRect.height(), needed.height()));
  text->setGeometry(textRect);
  const int extraWidth = std::max(0, textRect.right() + 1 + units.x(kMargin + 2) - units.x(kDialogWidth));
  const int extraHeight = textRect.height() - units.y(kMessageLineHeight);

  const FourChoiceTexts texts = fourChoiceButtonTexts(variant);
  const std::array buttons{
      addButton(kYesId, "yesButton", texts.yes, MessageResult::Yes),
      addButton(kYesToAllId, "yesToAllButton", texts.yesToAll, MessageResult::YesToAll),
      addButton(kNoId, "noButton", texts.no, MessageResult::No),
      addButton(kCancelId, "cancelButton", texts.cancel, MessageResult::Cancel),
  };
  buttons.front()->setDefault(true);
  buttons.front()->setFocus();

  // The buttons sit in a row at the bottom right, each at least the template's
  // width and never narrower than its text.
  int rowWidth = units.x(kButtonGap) * static_cast<int>(buttons.size() - 1);
  for (QPushButton* button : buttons) {
    button->resize(std::max(units.x(kButtonWidth), button->sizeHint().width()),
                   std::max(units.y(kButtonHeight), button->sizeHint().height()));
    rowWidth += button->width();
  }
  const int dialogWidth = std::max(units.x(kDialogWidth) + extraWidth, rowWidth + 2 * units.x(kMargin));
  int left = dialogWidth - units.x(kMargin) - rowWidth;
  const int top = units.y(kButtonTop) + extraHeight;
  for (QPushButton* button : buttons) {
    button->move(left, top);
    left += button->width() + units.x(kButtonGap);
  }
  setFixedSize(dialogWidth,
               std::max(units.y(kDialogHeight) + extraHeight, top + buttons.front()->height() + units.y(kMargin)));
}

QPushButton* FourChoiceDialog::addButton(int controlId, const char* objectName, std::string_view text,
                                         MessageResult result) {
  auto* button = new QPushButton(toQString(text), this);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setProperty("controlId", controlId);
  // Enter presses the button that has the focus; Yes, the default, has it on opening.
  button->setAutoDefault(true);
  connect(button, &QPushButton::clicked, this, [this, result] { done(static_cast<int>(result)); });
  return button;
}

void FourChoiceDialog::reject() { done(static_cast<int>(MessageResult::Cancel)); }

MessageResult runFourChoiceDialog(MessageStyle variant, const QString& text, QWidget* parent) {
  const std::optional<FourChoiceVariant> dialogVariant = fourChoiceVariant(variant);
  if (!dialogVariant) return MessageResult::Cancel;
  QWidget* owner = ownerWindowFor(parent);
  // A disabled owner would disable its child dialog too; the dialog then stands in
  // front of it as a window of its own.
  const bool ownerUsable = owner && owner->isEnabled();
  FourChoiceDialog dialog(*dialogVariant, text, ownerUsable ? owner : nullptr);
  if (!ownerUsable) placeInFrontOf(&dialog, owner);
  return static_cast<MessageResult>(dialog.exec());
}

}  // namespace quaverly
