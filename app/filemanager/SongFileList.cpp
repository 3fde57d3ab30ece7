#include "app/filemanager/SongFileList.h"

#include <QStyle>
#include <QStyleOptionViewItem>

namespace quaverly {

SongFileList::SongFileList(QWidget* parent) : QListWidget(parent) {
  setObjectName(QStringLiteral("fileList"));
  setProperty("controlId", kControlId);
  // Columns of names flowing top to bottom, then across, as a file manager's list.
  setViewMode(QListView::ListMode);
  setFlow(QListView::TopToBottom);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
}

QRect SongFileList::labelRect(int row) const {
  const QListWidgetItem* row_item = item(row);
  if (!row_item) return {};
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QModelIndex index = indexFromItem(row_item);
  option.rect = visualRect(index);
  option.text = row_item->text();
  option.icon = row_item->icon();
  option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
  option.decorationSize = iconSize();
  return style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
}

bool SongFileList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // A click on a selected row only starts the double-click wait; when it runs out,
  // the view asks again for the current row with every trigger. That request, and
  // F2, become a rename of the program's own: handled, though no editor of the
  // list's opens.
  if (index.isValid() && (trigger == EditKeyPressed || trigger == AllEditTriggers)) {
    if (renameRequest_) renameRequest_(index.row());
    return true;
  }
  return QListWidget::edit(index, trigger, event);
}

}  // namespace quaverly
