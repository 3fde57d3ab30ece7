#include "app/dialogs/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>

namespace quaverly {

namespace {

// units * base / divisor, halves rounded away from zero.
int scaled(int units, int base, int divisor) {
  const long long product = static_cast<long long>(units) * base;
  const long long half = divisor / 2;
  return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width of the 52 Latin letters, rounded, and the character height.
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  averageCharWidth_ = std::max(1, (letters / 26 + 1) / 2);
  charHeight_ = std::max(1, metrics.height());
}

int DialogUnits::x(int units) const { return scaled(units, averageCharWidth_, 4); }

int DialogUnits::y(int units) const { return scaled(units, charHeight_, 8); }

QRect DialogUnits::rect(int left, int top, int width, int height) const {
  return {x(left), y(top), x(width), y(height)};
}

QSize DialogUnits::size(int width, int height) const { return {x(width), y(height)}; }

}  // namespace quaverly
