// The Receive and Transmit dialog: the PC's folders and files (Qt's own file dialog,
// as a pane) above a panel of the instrument's side: an illustration of the
// direction, the action button and Cancel, the files of the current instrument
// folder, and for Receive the name of the file to fetch, for Transmit the
// instrument's free space. The dialog never closes after a transfer; the user
// transfers again or leaves with Cancel.
//
// The instrument folder shown and the file type chosen are remembered in the
// program's settings for the next dialog (and the Control dialog); the PC folder is
// handed back to the caller.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialogs/GuiWaitCursor.h"
#include "app/jobs/InstrumentFolderTree.h"
#include "app/jobs/ReceiveJob.h"
#include "app/jobs/TransmitJob.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace quaverly {

struct AppSettings;
class HoverButton;
class PcFilePane;
class RefreshBar;
class TransferPicture;

enum class TransferMode { Receive = 1, Transmit = 2 };

// What the dialog needs of the program around it: the two jobs (run to their end,
// messages included) and the instrument's free memory in bytes (nothing when it
// cannot be read).
struct TransferServices {
  std::function<void(const ReceiveRequest&)> receive;
  std::function<void(const TransmitRequest&)> transmit;
  std::function<std::optional<std::uint32_t>()> freeSpace;
};

class CTransmitDlg : public QDialog {
  Q_OBJECT

 public:
  // Control ids, as the dialog's objects carry them.
  static constexpr int kReceiveButtonId = 1022;
  static constexpr int kTransmitButtonId = 1023;
  static constexpr int kInstrumentListId = 1010;
  static constexpr int kNameBoxId = 1005;
  static constexpr int kFreeSpaceId = 1051;

  // Reads the instrument from the drive down to the folder shown last, through
  // `commands` on a connected link. `settings` gives the file types and keeps the
  // choices for the run; it must outlive the dialog.
  CTransmitDlg(TransferMode mode, InstrumentFileCommands& commands, AppSettings& settings, TransferServices services,
               QWidget* parent = nullptr);
  // Remembers the shown instrument folder.
  ~CTransmitDlg() override;

  // The PC folder the dialog opens in (a folder that does not exist: the working
  // folder).
  void setInitialFolder(const QString& folder);
  // The PC folder the pane shows, UTF-8.
  std::string pcFolder() const;

  // Shows the dialog modally until Cancel or the close box. Unlike exec(), hiding the
  // dialog while a job runs does not end it.
  void runModal();

  // The panel's commands.
  void receive();
  void transmit();
  void refresh();
  void selectAll();

  TransferMode mode() const { return mode_; }
  PcFilePane* pcPane() const { return pcPane_; }
  QTreeWidget* instrumentList() const { return list_; }
  QLineEdit* nameBox() const { return nameBox_; }
  HoverButton* actionButton() const { return actionButton_; }
  QLabel* freeSpaceValue() const { return freeSpace_; }
  TransferPicture* picture() const { return picture_; }
  InstrumentFolderTree& tree() { return tree_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildPcPane();
  void buildPanel();
  QStringList nameFilters() const;
  void fileTypeChosen(int slot);

  void showFolder(FolderNode* folder);
  void fillList();
  void updateFreeSpace();
  void listSelectionChanged();
  void enterPressed();
  // The pattern of the file type in force; empty for none.
  std::string currentPattern() const;
  FolderNode* nodeOf(const QTreeWidgetItem* row) const;
  // Hides the dialog while `job` runs.
  void runHidden(const std::function<void()>& job);

  TransferMode mode_;
  AppSettings& settings_;
  TransferServices services_;
  GuiWaitCursor waitCursor_;
  InstrumentFolderTree tree_;
  FolderNode* shownFolder_ = nullptr;
  int filterSlot_ = -1;

  PcFilePane* pcPane_ = nullptr;
  TransferPicture* picture_ = nullptr;
  HoverButton* actionButton_ = nullptr;
  RefreshBar* refreshBar_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLineEdit* nameBox_ = nullptr;
  QLabel* freeSpace_ = nullptr;
};

}  // namespace quaverly
