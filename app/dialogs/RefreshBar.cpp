#include "app/dialogs/RefreshBar.h"

#include <QAction>
#include <QPainter>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/DialogUnits.h"
#include "app/dialogs/ProgramIcons.h"
#include "app/dialogs/UiText.h"
#include "app/messages/UiStrings.h"

namespace quaverly {

namespace {

constexpr int kRefreshImage = 2;
constexpr unsigned kRefreshTooltipString = 28;
constexpr QPoint kPictureAt{19, 26};

}  // namespace

RefreshBar::RefreshBar(QWidget* owner) : QWidget(owner) {
  setFont(dialogFont());
  resize(DialogUnits(dialogFont()).size(93, 25));

  toolbar_ = createProgramToolbar(this, QRect(0, 0, 100, 25));
  QAction* refresh =
      addToolbarCommand(toolbar_, kRefreshImage, kRefreshTooltipString, kRefreshCommand, "refreshAction");
  connect(refresh, &QAction::triggered, this, &RefreshBar::refreshRequested);
  show();
}

void RefreshBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  bitmapLibrary().drawWithRop(painter, kPictureAt, kPictureMask, RasterOp::SourceAnd);
  bitmapLibrary().drawWithRop(painter, kPictureAt, kPicture, RasterOp::SourcePaint);
}

}  // namespace quaverly
