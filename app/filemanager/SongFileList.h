// The Control dialog's list of song files: list mode with small icons, several rows
// selectable. The list's own label editing is switched on only to be refused: a
// slow second click on a selected row, or F2, asks the owner to rename that row
// with the program's own edit instead.
#pragma once

#include <QListWidget>
#include <QRect>

#include <functional>

namespace quaverly {

class SongFileList : public QListWidget {
  Q_OBJECT

 public:
  static constexpr int kControlId = 1014;

  explicit SongFileList(QWidget* parent);

  // Called with the row to rename; the list's own editor never opens.
  void setRenameRequest(std::function<void(int row)> request) { renameRequest_ = std::move(request); }

  // The rectangle of the row's text in the coordinates of the list's viewport.
  QRect labelRect(int row) const;

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  std::function<void(int)> renameRequest_;
};

}  // namespace quaverly
