// The edit field that renames one row of a list in place. It tells its owner once
// per edit that editing has ended: on Enter, on Esc (after putting the original text
// back) and when it loses the focus. The owner hears it through a queued signal, so
// the edit is never inside its own call stack when the owner destroys it.
#pragma once

#include <QLineEdit>
#include <QString>

#include <optional>

namespace quaverly {

class InPlaceEdit : public QLineEdit {
  Q_OBJECT

 public:
  static constexpr int kControlId = 100;

  explicit InPlaceEdit(QWidget* parent);

  // The text Esc puts back.
  void setRestoreText(const QString& text) { restoreText_ = text; }
  const QString& restoreText() const { return restoreText_; }

  // Shows `text` (none: the restore text), all of it selected with the caret in
  // view, takes the focus and starts a new edit.
  void begin(const std::optional<QString>& text = std::nullopt);

  // Ends the edit unless it has ended already: the owner is told once.
  void finish();

 signals:
  // Posted to the owner when the edit ends.
  void finished();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  QString restoreText_;
  bool finished_ = true;
};

}  // namespace quaverly
