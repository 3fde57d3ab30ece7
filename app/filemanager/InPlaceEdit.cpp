#include "app/filemanager/InPlaceEdit.h"

#include <QKeyEvent>

#include "app/dialogs/DialogFont.h"

namespace quaverly {

InPlaceEdit::InPlaceEdit(QWidget* parent) : QLineEdit(parent) {
  setObjectName(QStringLiteral("renameEdit"));
  setProperty("controlId", kControlId);
  setFrame(true);
}

void InPlaceEdit::begin(const std::optional<QString>& text) {
  setFont(dialogFont());
  setText(text.value_or(restoreText_));
  selectAll();  // leaves the caret at the end, scrolled into view
  finished_ = false;
  show();
  setFocus(Qt::OtherFocusReason);
}

void InPlaceEdit::finish() {
  if (finished_) return;
  finished_ = true;
  emit finished();
}

void InPlaceEdit::keyPressEvent(QKeyEvent* event) {
  // Enter and Esc belong to the edit: neither reaches the dialog around it.
  switch (event->key()) {
    case Qt::Key_Escape:
      setText(restoreText_);
      [[fallthrough]];
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      finish();
      return;
    default:
      QLineEdit::keyPressEvent(event);
  }
}

void InPlaceEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  finish();
}

}  // namespace quaverly
