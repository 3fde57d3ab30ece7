// The program's own small pictures as icons: the icon resources by id, and the
// images of the toolbar strip (bitmap 147) on the toolbars of the Control dialog
// and the refresh bar.
#pragma once

#include <QIcon>
#include <QRect>

class QAction;
class QToolBar;
class QWidget;

namespace quaverly {

// Icon resource `id` in every size the program has (":/icons/<id>-<size>.png"); a
// null icon when there is none.
QIcon programIcon(int id);

// The toolbar strip's bitmap.
inline constexpr int kToolbarStripBitmap = 147;

// Image `index` of the toolbar strip: four 16 x 17 images side by side, the strip's
// grey background made transparent, with the double-size image where the strip
// has one. A null icon when the strip is missing or too small.
QIcon toolbarImage(int index);

// The size of one toolbar image.
inline constexpr QSize kToolbarImageSize{16, 17};

// A toolbar (control id 1100) of strip images at `geometry` of `parent`: fixed in
// place, images only.
QToolBar* createProgramToolbar(QWidget* parent, QRect geometry);

// A button of the toolbar: strip image `image`, the user-interface string `tooltip`
// as its text and tooltip, `commandId` as its data.
QAction* addToolbarCommand(QToolBar* toolbar, int image, unsigned tooltip, int commandId, const char* objectName);

}  // namespace quaverly
