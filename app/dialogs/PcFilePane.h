// The PC side of the Receive and Transmit dialog: Qt's own (non-native) file dialog,
// shown inside that dialog as a pane of it. It never closes: accepting a name (Enter,
// a double-click on a file) and cancelling (Esc) are handed to the dialog around it.
#pragma once

#include <QFileDialog>

class QAbstractItemView;

namespace quaverly {

class PcFilePane : public QFileDialog {
  Q_OBJECT

 public:
  explicit PcFilePane(QWidget* parent);

  // The list of the folder's files and folders (list or detail view, whichever shows).
  bool fileListHasFocus() const;
  // Every entry of that list selected, the focus in it.
  void selectAllFiles();
  // The focus in that list.
  void focusFileList();

 signals:
  void acceptRequested();
  void cancelRequested();

 public slots:
  void accept() override;
  void reject() override;

 private:
  // The list of the folder's entries that shows (list or detail view); none before
  // the pane is shown.
  QAbstractItemView* shownFileList() const;
};

}  // namespace quaverly
