// The picture shown for a second while the program starts: a borderless window the
// size of bitmap 130, drawn with the shared palette, that closes itself.
#pragma once

#include <QDialog>
#include <QString>

namespace quaverly {

class SplashWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kBitmapId = 130;
  static constexpr int kShowMilliseconds = 1000;

  // `title` becomes the window's caption (seen in task lists, not on the window).
  explicit SplashWindow(const QString& title, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Starts the one-second timer after which the window closes itself.
  void showEvent(QShowEvent* event) override;
};

}  // namespace quaverly
