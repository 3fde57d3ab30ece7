#include "app/filemanager/ControlDialog.h"

#include <QAction>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>

#include <vector>

#include "app/dialogs/CFileIconList.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/DialogUnits.h"
#include "app/dialogs/ProgramIcons.h"
#include "app/dialogs/UiText.h"
#include "app/filemanager/InPlaceEdit.h"
#include "app/filemanager/SongFileList.h"
#include "app/messages/MessageCatalogue.h"
#include "app/protocol/wire/FileNameRule.h"
#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly {

namespace {

constexpr int kWindowIcon = 198;
constexpr unsigned kTitleString = 25;
constexpr unsigned kRefreshTooltip = 28;
constexpr unsigned kDeleteTooltip = 29;
constexpr int kDeleteImage = 1;
constexpr int kRefreshImage = 2;
// The toolbar's place in client pixels, and the list's top-left corner in dialog
// units.
constexpr QRect kToolbarRect{6, 1, 94, 25};
constexpr QPoint kListTopLeftUnits{0, 20};
// The rename edit reaches this far past the row's text, room for a longer name.
constexpr int kEditExtraWidth = 16;

constexpr std::string_view kSongExtension = ".mid";

// Only MIDI song files are listed and accepted as new names: at least four
// characters, the last four ".mid" in any letter case.
bool isSongFileName(std::string_view name) {
  return name.size() >= kSongExtension.size() &&
         protocol::equalsIgnoringAsciiCase(name.substr(name.size() - kSongExtension.size()), kSongExtension);
}

}  // namespace

ControlDialog::ControlDialog(InstrumentFileCommands& commands, std::string& currentInstrumentFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      tree_(commands, &waitCursor_),
      currentInstrumentFolder_(currentInstrumentFolder) {
  setObjectName(QStringLiteral("controlDialog"));
  setSizeGripEnabled(false);
  setFont(dialogFont());
  setWindowIcon(programIcon(kWindowIcon));
  setWindowTitle(uiText(kTitleString));

  // The instrument, read from the drive down to the folder shown last time.
  shownFolder_ = currentInstrumentFolder_.empty() ? nullptr : tree_.openPath(currentInstrumentFolder_);

  list_ = new SongFileList(this);
  list_->setFont(dialogFont());
  list_->move(0, DialogUnits(dialogFont()).y(kListTopLeftUnits.y()));
  list_->setRenameRequest([this](int row) { beginRename(row); });
  list_->installEventFilter(this);
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
    if (list_->hasFocus()) updateDeleteState();
  });
  buildToolbar();

  // The keys of a file manager's list: Delete deletes, F5 refreshes, Alt+A selects
  // every row; Enter and a double-click do nothing.
  auto* deleteKey = new QShortcut(QKeySequence::Delete, list_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(deleteKey, &QShortcut::activated, this, [this] {
    if (deleteAction_->isEnabled()) deleteAction_->trigger();
  });
  auto* selectAllKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_A), this);
  connect(selectAllKey, &QShortcut::activated, this, &ControlDialog::selectAllRows);

  tree_.listFolder(tree_.drive());
}

ControlDialog::~ControlDialog() { currentInstrumentFolder_ = tree_.pathOf(shownFolder_); }

void ControlDialog::buildToolbar() {
  toolbar_ = createProgramToolbar(this, kToolbarRect);
  deleteAction_ = addToolbarCommand(toolbar_, kDeleteImage, kDeleteTooltip, kDeleteCommand, "deleteAction");
  connect(deleteAction_, &QAction::triggered, this, &ControlDialog::deleteSelected);
  toolbar_->addSeparator();
  refreshAction_ = addToolbarCommand(toolbar_, kRefreshImage, kRefreshTooltip, kRefreshCommand, "refreshAction");
  refreshAction_->setShortcut(QKeySequence::Refresh);
  refreshAction_->setShortcutContext(Qt::WindowShortcut);
  connect(refreshAction_, &QAction::triggered, this, &ControlDialog::refresh);

  // As on a toolbar, pressing a button leaves the focus where it was: the Delete
  // command acts only on rows of a list that has the focus.
  for (QToolButton* button : toolbar_->findChildren<QToolButton*>()) button->setFocusPolicy(Qt::NoFocus);
}

void ControlDialog::showEvent(QShowEvent* event) {
  if (!opened_) {
    opened_ = true;
    // The outer size is the caller's; the window frame is taken as wide as the
    // owner's, the best guess before the window manager has framed this one.
    QSize frame(0, 0);
    if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr; owner && owner->isVisible()) {
      frame = owner->frameGeometry().size() - owner->geometry().size();
    }
    resize((outerSize_ - frame).expandedTo(QSize(1, 1)));
    showFolder(shownFolder_ ? shownFolder_ : tree_.drive());
    list_->setFocus(Qt::OtherFocusReason);
  }
  QDialog::showEvent(event);
}

void ControlDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // The list keeps its corner and fills the rest, its right and bottom edges one
  // pixel inside the window.
  const QPoint corner = list_->pos();
  list_->resize(std::max(0, width() - 1 - corner.x()), std::max(0, height() - 1 - corner.y()));
}

void ControlDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();  // Enter does not close this dialog
    return;
  }
  QDialog::keyPressEvent(event);
}

bool ControlDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::FocusIn) updateDeleteState();
  return QDialog::eventFilter(watched, event);
}

void ControlDialog::reject() {
  outerSize_ = frameGeometry().size();
  QDialog::reject();
}

void ControlDialog::showFolder(FolderNode* folder) {
  if (showingFolder_) return;
  showingFolder_ = true;
  shownFolder_ = folder;
  tree_.listFolder(folder);
  fillList();
  showingFolder_ = false;
}

void ControlDialog::fillList() {
  list_->clear();
  for (FolderNode* child = tree_.firstChild(shownFolder_); child; child = tree_.nextSibling(child)) {
    if (tree_.kindOf(child) != InstrumentFolderTree::kFile) continue;
    const std::string_view name = tree_.nameOf(child);
    if (!isSongFileName(name)) continue;
    auto* row = new QListWidgetItem(fileIconOf(name), instrumentText(name), list_);
    row->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(child)));
    row->setFlags(row->flags() | Qt::ItemIsEditable);
  }
  if (list_->count() > 0) list_->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
}

void ControlDialog::updateDeleteState() { deleteAction_->setEnabled(!list_->selectedItems().isEmpty()); }

FolderNode* ControlDialog::nodeOfRow(int row) const {
  const QListWidgetItem* item = list_->item(row);
  return item ? reinterpret_cast<FolderNode*>(item->data(Qt::UserRole).value<quintptr>()) : nullptr;
}

void ControlDialog::removeRowOf(const FolderNode* node) {
  for (int row = 0; row < list_->count(); ++row) {
    if (nodeOfRow(row) == node) {
      delete list_->takeItem(row);
      return;
    }
  }
}

// ---- rename ----------------------------------------------------------------------

void ControlDialog::beginRename(int row) {
  if (editing_ || !list_->item(row)) return;
  editing_ = true;
  refreshAction_->setEnabled(false);
  renameRow_ = row;
  restoreText_ = list_->item(row)->text();
  openRenameEdit(std::nullopt);
}

void ControlDialog::openRenameEdit(const std::optional<QString>& text) {
  renameEdit_ = new InPlaceEdit(list_->viewport());
  connect(renameEdit_, &InPlaceEdit::finished, this, &ControlDialog::finishRename, Qt::QueuedConnection);
  QRect place = list_->labelRect(renameRow_);
  place.setWidth(place.width() + kEditExtraWidth);
  place.setHeight(std::max(place.height(), renameEdit_->sizeHint().height()));
  renameEdit_->setGeometry(place);
  renameEdit_->setRestoreText(restoreText_);
  renameEdit_->begin(text);
}

void ControlDialog::finishRename() {
  if (!renameEdit_) return;
  const QString typed = renameEdit_->text();
  FolderNode* node = nodeOfRow(renameRow_);
  const std::string nameBefore = node ? tree_.nameOf(node) : std::string();
  const bool done = node && applyRename(node, typed);

  if (!done && !deletePending_) {
    lastTyped_ = typed;
    QMetaObject::invokeMethod(this, &ControlDialog::restartRename, Qt::QueuedConnection);
  }
  // The list takes the focus back before the edit goes (a restart gives it to the
  // new edit again).
  if (renameEdit_->hasFocus()) list_->setFocus(Qt::OtherFocusReason);
  delete renameEdit_;
  renameEdit_ = nullptr;
  if (done || deletePending_) refreshAction_->setEnabled(true);
  if (deletePending_) {
    deletePending_ = false;
    FolderNode* entry = tree_.findByPath(tree_.pathOf(shownFolder_) + "\\" + nameBefore);
    if (entry) {
      deleteOne(entry);
    } else {
      showMessage(MessageId::CannotFindToDelete, protocol::displayText(nameBefore));
    }
  }
  editing_ = false;
}

bool ControlDialog::applyRename(FolderNode* node, const QString& typed) {
  const std::string newName = typed.toStdString();
  if (!isValidFileName(newName)) {
    showMessage(MessageId::BadFileName);
    return false;
  }
  const FolderNode* existing = tree_.findByPath(tree_.pathOf(shownFolder_) + "\\" + newName);
  QListWidgetItem* row = list_->item(renameRow_);
  if (existing == node) {
    // The same name, perhaps in other letter case: only the row shows the new text.
    row->setText(typed);
    return true;
  }
  if (existing) {
    showMessage(MessageId::NameUsed);
    return false;
  }
  if (!isSongFileName(newName)) {
    showMessage(MessageId::NeedMidExtension);
    return false;
  }
  // A refusal, or no answer, is not reported: the edit opens again.
  if (!tree_.renameEntry(node, newName)) return false;
  row->setText(typed);
  return true;
}

void ControlDialog::restartRename() {
  if (editing_ || !list_->item(renameRow_)) return;
  openRenameEdit(lastTyped_);
  editing_ = true;
  refreshAction_->setEnabled(false);
}

// ---- delete and refresh ----------------------------------------------------------

void ControlDialog::deleteSelected() {
  deletePending_ = true;
  if (editing_) {
    // The edit ends on losing the focus, and its end deletes the row's entry.
    list_->setFocus(Qt::OtherFocusReason);
    if (renameEdit_) renameEdit_->finish();
    return;
  }
  deletePending_ = false;
  if (!list_->hasFocus()) return;
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.size() >= 2) {
    deleteSeveral();
    return;
  }
  if (selected.isEmpty()) return;
  FolderNode* node = nodeOfRow(list_->row(selected.front()));
  if (!node) return;
  if (tree_.isReadOnly(node)) {
    showMessage(MessageId::ReadOnly);
    return;
  }
  deleteOne(node);
}

void ControlDialog::deleteOne(FolderNode* node) {
  if (showMessage(MessageId::ConfirmDelete, protocol::displayText(tree_.nameOf(node))) != MessageResult::Ok) return;
  const WaitCursorScope busy(&waitCursor_);
  const FolderNode* gone = node;
  if (tree_.deleteEntry(node)) removeRowOf(gone);
}

void ControlDialog::deleteSeveral() {
  int count = 0;
  for (int row = 0; row < list_->count(); ++row) {
    if (!list_->item(row)->isSelected()) continue;
    const FolderNode* node = nodeOfRow(row);
    if (node && tree_.isReadOnly(node)) {
      showMessage(MessageId::ReadOnly);
      return;
    }
    ++count;
  }
  if (showMessage(MessageId::ConfirmDeleteMany, std::to_string(count)) != MessageResult::Ok) return;
  const WaitCursorScope busy(&waitCursor_);
  // From the last row up, so that removing a row leaves the rows still to come in
  // place; a refused delete keeps its row and the others go on.
  for (int row = list_->count() - 1; row >= 0; --row) {
    if (!list_->item(row)->isSelected()) continue;
    FolderNode* node = nodeOfRow(row);
    if (node && tree_.deleteEntry(node)) delete list_->takeItem(row);
  }
}

void ControlDialog::refresh() {
  if (editing_) {
    list_->setFocus(Qt::OtherFocusReason);
    if (renameEdit_) renameEdit_->finish();
    return;
  }
  const std::string path = tree_.pathOf(shownFolder_);
  FolderNode* folder = tree_.openPath(path);
  if (!folder) folder = tree_.drive();
  tree_.listFolder(tree_.drive());
  showFolder(folder);
  if (list_->hasFocus()) updateDeleteState();
}

void ControlDialog::selectAllRows() {
  list_->selectAll();
  list_->setFocus(Qt::ShortcutFocusReason);
}

}  // namespace quaverly
