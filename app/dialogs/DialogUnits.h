// Dialog units: the coordinates of the program's dialog templates. A horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of
// its character height, so a dialog keeps its proportions whatever font it uses.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace quaverly {

class DialogUnits {
 public:
  // The base units of `font`, derived the way the platform derives them for a
  // dialog that names its font.
  explicit DialogUnits(const QFont& font);

  int x(int units) const;  // horizontal units to pixels, rounded to nearest
  int y(int units) const;  // vertical units to pixels, rounded to nearest
  QRect rect(int x, int y, int width, int height) const;
  QSize size(int width, int height) const;

 private:
  int averageCharWidth_;
  int charHeight_;
};

}  // namespace quaverly
