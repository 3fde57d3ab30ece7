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
  static constexpr int kRefreshCommand = 1107;
  // Bitmaps: the picture with its mask. The button shows the toolbar strip's third
  // image.
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
