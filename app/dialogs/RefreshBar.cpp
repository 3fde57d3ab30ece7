#include "app/dialogs/RefreshBar.h"

#include <QAction>
#include <QPainter>
#include <QToolBar>

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

  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("toolbar"));
  toolbar_->setProperty("controlId", kToolbarId);
  toolbar_->setFloatable(false);
  toolbar_->setMovable(false);
  toolbar_->setIconSize(kToolbarImageSize);
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar_->setGeometry(0, 0, 100, 25);

  QAction* refresh =
      toolbar_->addAction(toolbarImage(kRefreshImage), uiText(kRefreshTooltipString));
  refresh->setObjectName(QStringLiteral("refreshAction"));
  refresh->setData(kRefreshCommand);
  refresh->setToolTip(uiText(kRefreshTooltipString));
  connect(refresh, &QAction::triggered, this, &RefreshBar::refreshRequested);
  show();
}

void RefreshBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  bitmapLibrary().drawWithRop(painter, kPictureAt, kPictureMask, RasterOp::SourceAnd);
  bitmapLibrary().drawWithRop(painter, kPictureAt, kPicture, RasterOp::SourcePaint);
}

}  // namespace quaverly
