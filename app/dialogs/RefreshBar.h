// The small frameless window above the instrument list of the Receive and Transmit
// dialog: one toolbar button, Refresh, with its tooltip, and a picture drawn
// through its mask.
#pragma once

#include <QWidget>

class QToolBar;

namespace quaverly {

class RefreshBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kToolbarId = 1100;
  static constexpr int kRefreshCommand = 1107;
  // Bitmaps: the toolbar's strip of four 16 x 17 images (the button shows the third)
  // and the picture with its mask.
  static constexpr int kToolbarImages = 147;
  static constexpr int kPicture = 203;
  static constexpr int kPictureMask = 204;

  // A child window of `owner`, which handles refreshRequested.
  explicit RefreshBar(QWidget* owner);

  QToolBar* toolbar() const { return toolbar_; }

 signals:
  // The Refresh button was pressed.
  void refreshRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QToolBar* toolbar_;
};

}  // namespace quaverly
