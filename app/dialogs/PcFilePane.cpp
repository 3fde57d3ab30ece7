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
  const QAbstractItemView* view = shownFileList();
  return view && view->hasFocus();
}

QAbstractItemView* PcFilePane::shownFileList() const {
  for (const char* name : kFileViews) {
    auto* view = findChild<QAbstractItemView*>(QString::fromLatin1(name));
    if (view && view->isVisible()) return view;
  }
  return nullptr;
}

void PcFilePane::selectAllFiles() {
  if (QAbstractItemView* view = shownFileList()) {
    view->selectAll();
    view->setFocus(Qt::ShortcutFocusReason);
  }
}

void PcFilePane::focusFileList() {
  if (QAbstractItemView* view = shownFileList()) view->setFocus(Qt::OtherFocusReason);
}

void PcFilePane::accept() { emit acceptRequested(); }

void PcFilePane::reject() { emit cancelRequested(); }

}  // namespace quaverly
