// The illustration of the Receive and Transmit dialog: a 276 by 96 picture of the
// transfer's direction on the button face, a mask combined by AND and a colour
// picture by OR, with a highlighted pair while the pointer is over the action button.
#pragma once

#include <QWidget>

namespace quaverly {

class TransferPicture : public QWidget {
  Q_OBJECT

 public:
  static constexpr QSize kSize{276, 96};

  // The bitmaps of the normal and of the highlighted look.
  TransferPicture(int mask, int picture, int hotMask, int hotPicture, QWidget* parent);

  void setHot(bool hot);
  bool isHot() const { return hot_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int mask_, picture_, hotMask_, hotPicture_;
  bool hot_ = false;
};

}  // namespace quaverly
