// The confirmation dialog of a batch: Yes, Yes to All, No, Cancel. The message
// catalogue shows it for the overwrite question (message 33) and the convert
// question (message 28).
#pragma once

#include <QDialog>
#include <QString>

#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"

class QLabel;
class QPushButton;

namespace quaverly {

class FourChoiceDialog : public QDialog {
  Q_OBJECT

 public:
  // Control ids of the dialog's template, also the results of the buttons.
  static constexpr int kYesId = 6;
  static constexpr int kYesToAllId = 1038;
  static constexpr int kNoId = 7;
  static constexpr int kCancelId = 2;
  // The picture in the icon place at the top left.
  static constexpr int kIconBitmap = 182;

  // `message`: the question, already formatted with the item's name.
  FourChoiceDialog(FourChoiceVariant variant, const QString& message, QWidget* parent = nullptr);

  // Cancel, Escape and the close box all end the dialog with Cancel.
  void reject() override;

 private:
  QPushButton* addButton(int controlId, const char* objectName, std::string_view text, MessageResult result);
};

// Runs the dialog modally for a message in the overwrite or convert style and
// returns Yes (6), Yes to All (10), No (7) or Cancel (2); any other style is
// answered with Cancel without asking.
MessageResult runFourChoiceDialog(MessageStyle variant, const QString& text, QWidget* parent);

}  // namespace quaverly
