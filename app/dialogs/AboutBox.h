// The About box: the program's picture, name and version, and copyright, in the
// language of the run.
#pragma once

#include <QDialog>

namespace quaverly {

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  // The bitmap shown as the box's icon.
  static constexpr int kIconBitmap = 133;

  explicit AboutBox(QWidget* parent = nullptr);
};

// Runs the About box modally over `parent`'s window.
void runAboutBox(QWidget* parent);

}  // namespace quaverly
