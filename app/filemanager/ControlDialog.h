// The Control dialog: the song files of one instrument folder, renamed in place and
// deleted one or many at a time, and the folder read again from the instrument.
// Every change goes through the instrument folder tree, which sends the command and
// changes the tree only when the instrument has accepted it.
//
// A resizable modal dialog. The caller sets the outer size before running it and
// reads it back afterwards; the instrument folder last shown is kept in the
// caller's `currentInstrumentFolder` for the next opening.
#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <string>

#include "app/dialogs/GuiWaitCursor.h"
#include "app/jobs/InstrumentFolderTree.h"

class QAction;
class QToolBar;

namespace quaverly {

class InPlaceEdit;
class SongFileList;

class ControlDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kDeleteCommand = 1106;
  static constexpr int kRefreshCommand = 1107;
  static constexpr QSize kDefaultSize{560, 320};

  // Reads the instrument from the drive down to `currentInstrumentFolder` (which
  // must outlive the dialog) through `commands`, on a connected link.
  ControlDialog(InstrumentFileCommands& commands, std::string& currentInstrumentFolder, QWidget* parent = nullptr);
  // Remembers the shown folder in `currentInstrumentFolder`.
  ~ControlDialog() override;

  // The window's outer size: applied when the dialog opens, recorded when it closes.
  void setOuterSize(QSize size) { outerSize_ = size; }
  QSize outerSize() const { return outerSize_; }

  SongFileList* fileList() const { return list_; }
  QAction* deleteAction() const { return deleteAction_; }
  QAction* refreshAction() const { return refreshAction_; }
  // The rename edit while one is open, else null.
  InPlaceEdit* renameEdit() const { return renameEdit_; }
  bool isEditing() const { return editing_; }
  InstrumentFolderTree& tree() { return tree_; }

  // The toolbar commands.
  void deleteSelected();
  void refresh();
  // Alt+A: every row selected, the focus in the list.
  void selectAllRows();

  // Esc and the close box: record the outer size, then end.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildToolbar();
  void showFolder(FolderNode* folder);
  void fillList();
  void updateDeleteState();

  void beginRename(int row);
  void openRenameEdit(const std::optional<QString>& text);
  void finishRename();
  void restartRename();
  // The outcome of a finished rename's checks: true when the name was taken.
  bool applyRename(FolderNode* node, const QString& typed);

  void deleteOne(FolderNode* node);
  void deleteSeveral();
  // The node a row stands for.
  FolderNode* nodeOfRow(int row) const;
  void removeRowOf(const FolderNode* node);

  GuiWaitCursor waitCursor_;
  InstrumentFolderTree tree_;
  std::string& currentInstrumentFolder_;
  FolderNode* shownFolder_ = nullptr;
  QSize outerSize_ = kDefaultSize;
  bool opened_ = false;

  SongFileList* list_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QAction* deleteAction_ = nullptr;
  QAction* refreshAction_ = nullptr;
  InPlaceEdit* renameEdit_ = nullptr;

  bool editing_ = false;
  int renameRow_ = -1;
  QString restoreText_;
  QString lastTyped_;
  bool deletePending_ = false;
  bool showingFolder_ = false;
};

}  // namespace quaverly
