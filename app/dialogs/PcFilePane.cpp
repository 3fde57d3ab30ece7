#include "app/dialogs/PcFilePane.h"

#include <QAbstractItemView>

namespace quaverly {

namespace {

// The views of Qt's file dialog, by their object names.
const char* const kFileViews[] = {"listView", "treeView"};

}  // namespace

PcFilePane::PcFilePane(QWidget* parent) : QFileDialog(parent) {
  setObjectName(QStringLiteral("pcFilePane"));
  setWindowFlags(Qt::Widget);
  setOption(QFileDialog::DontUseNativeDialog, true);
  setSizeGripEnabled(false);
}

bool PcFilePane::fileListHasFocus() const {
  for (const char* name : kFileViews) {
    const auto* view = findChild<QAbstractItemView*>(QString::fromLatin1(name));
    if (view && view->isVisible() && view->hasFocus()) return true;
  }
  return false;
}

void PcFilePane::selectAllFiles() {
  for (const char* name : kFileViews) {
    auto* view = findChild<QAbstractItemView*>(QString::fromLatin1(name));
    if (!view || !view->isVisible()) continue;
    view->selectAll();
    view->setFocus(Qt::ShortcutFocusReason);
    return;
  }
}

void PcFilePane::accept() { emit acceptRequested(); }

void PcFilePane::reject() { emit cancelRequested(); }

}  // namespace quaverly
