#include "app/shell/GuiMessagePresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>

#include <string>

#include "app/dialogs/FourChoiceDialog.h"
#include "app/dialogs/OwnerWindow.h"
#include "app/dialogs/UiText.h"
#include "app/messages/UiStrings.h"

namespace quaverly {

namespace {

MessageResult runMessageBox(MessageStyle style, const QString& text, QWidget* owner) {
  // A disabled owner would disable its child box too; the box then stands in front
  // of it as a window of its own.
  const bool ownerUsable = owner && owner->isEnabled();
  QMessageBox box(QMessageBox::Warning, uiText(kTitleText), text, QMessageBox::NoButton, ownerUsable ? owner : nullptr);
  box.setTextFormat(Qt::PlainText);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  QPushButton* cancel = nullptr;
  if (style == MessageStyle::Question) {
    cancel = box.addButton(uiText(kCancelText), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    box.setEscapeButton(cancel);
  }
  if (!ownerUsable) placeInFrontOf(&box, owner);
  box.exec();
  return cancel && box.clickedButton() == cancel ? MessageResult::Cancel : MessageResult::Ok;
}

}  // namespace

MessageResult presentMessage(MessageStyle style, const QString& text, QWidget* parent) {
  if (fourChoiceVariant(style)) return runFourChoiceDialog(style, text, parent);
  return runMessageBox(style, text, ownerWindowFor(parent));
}

MessagePresenter guiMessagePresenter() {
  // The calls from workers are run in the context of the application object, which
  // lives on the user-interface thread and outlives every worker.
  QCoreApplication* const application = QCoreApplication::instance();
  return [application](MessageStyle style, std::string_view text) -> MessageResult {
    const QString message = toQString(text);
    // Without a user interface a question is answered with Cancel, which stops
    // whatever asked; a notice counts as read.
    const MessageResult unanswered = style == MessageStyle::Notice ? MessageResult::Ok : MessageResult::Cancel;
    if (!application) return unanswered;
    if (QThread::currentThread() == application->thread()) return presentMessage(style, message);
    MessageResult result = unanswered;
    QMetaObject::invokeMethod(
        application, [&result, style, &message] { result = presentMessage(style, message); },
        Qt::BlockingQueuedConnection);
    return result;
  };
}

}  // namespace quaverly
