#include "app/dialogs/CTransmitDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/dialogs/CFileIconList.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/HoverButton.h"
#include "app/dialogs/PcFilePane.h"
#include "app/dialogs/RefreshBar.h"
#include "app/dialogs/TransferPicture.h"
#include "app/dialogs/TypeFilter.h"
#include "app/dialogs/UiText.h"
#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "app/protocol/wire/FileNameRule.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "app/settings/AppSettings.h"

namespace quaverly {

namespace {

// User-interface strings.
constexpr unsigned kSaveInText = 6;
constexpr unsigned kLookInText = 7;
constexpr unsigned kFileNameText = 8;
constexpr unsigned kReceiveText = 11;
constexpr unsigned kTransmitText = 12;
constexpr unsigned kReceiveTitle = 15;
constexpr unsigned kTransmitTitle = 16;
constexpr unsigned kFilesOfTypeText = 50;
constexpr unsigned kNoSuchPathText = 53;
constexpr unsigned kFreeSpaceText = 55;
constexpr unsigned kKilobytesText = 56;

// The illustration's bitmaps: mask, picture, and the highlighted pair.
struct PictureSet {
  int mask, picture, hotMask, hotPicture;
};
constexpr PictureSet kReceivePictures{141, 150, 190, 188};
constexpr PictureSet kTransmitPictures{143, 151, 191, 189};

// The size column, and what the name column leaves of the dialog's width.
constexpr int kSizeColumnWidth = 110;
constexpr int kNameColumnMargin = 148;
// The refresh bar shows its one button.
constexpr QSize kRefreshBarSize{30, 25};

QString kilobytes(std::uint32_t bytes) {
  return QString::number((static_cast<std::uint64_t>(bytes) + 1023) / 1024) + uiText(kKilobytesText);
}

// A name typed or chosen on the PC, as the instrument's bytes (code page 932).
std::string instrumentName(const QString& text) {
  const std::string utf8 = text.toStdString();
  return protocol::utf8ToShiftJis(utf8).value_or(utf8);
}

}  // namespace

CTransmitDlg::CTransmitDlg(TransferMode mode, InstrumentFileCommands& commands, AppSettings& settings,
                           TransferServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      mode_(mode),
      settings_(settings),
      services_(std::move(services)),
      tree_(commands, &waitCursor_) {
  setObjectName(mode == TransferMode::Receive ? QStringLiteral("receiveDialog") : QStringLiteral("transmitDialog"));
  setWindowTitle(uiText(mode == TransferMode::Receive ? kReceiveTitle : kTransmitTitle));
  const auto typeCount = static_cast<std::int32_t>(settings_.fileTypes.size() / 2);
  // Without an earlier choice the last file type is preselected.
  if (settings_.fileTypeIndex == 0 || settings_.fileTypeIndex > typeCount) settings_.fileTypeIndex = typeCount;
  filterSlot_ = settings_.fileTypeIndex - 1;

  shownFolder_ =
      settings_.currentInstrumentFolder.empty() ? nullptr : tree_.openPath(settings_.currentInstrumentFolder);

  auto* layout = new QVBoxLayout(this);
  buildPcPane();
  layout->addWidget(pcPane_, 1);
  buildPanel();

  auto* selectAllKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_A), this);
  connect(selectAllKey, &QShortcut::activated, this, &CTransmitDlg::selectAll);

  showFolder(shownFolder_ ? shownFolder_ : tree_.drive());
  if (mode_ == TransferMode::Transmit) updateFreeSpace();
}

CTransmitDlg::~CTransmitDlg() { settings_.currentInstrumentFolder = tree_.pathOf(shownFolder_); }

QStringList CTransmitDlg::nameFilters() const {
  // Each file type as Qt writes a filter, "description (patterns)", with the
  // patterns hidden from view so that the combo shows the descriptions alone.
  QStringList filters;
  for (std::size_t i = 0; i + 1 < settings_.fileTypes.size(); i += 2) {
    QString patterns = toQString(settings_.fileTypes[i + 1]).replace(u';', u' ').trimmed();
    if (patterns.isEmpty()) patterns = QStringLiteral("*");
    filters << toQString(settings_.fileTypes[i]) + QStringLiteral(" (") + patterns + u')';
  }
  return filters;
}

void CTransmitDlg::buildPcPane() {
  pcPane_ = new PcFilePane(this);
  pcPane_->setFileMode(mode_ == TransferMode::Receive ? QFileDialog::AnyFile : QFileDialog::ExistingFiles);
  pcPane_->setOption(QFileDialog::HideNameFilterDetails, true);
  const QStringList filters = nameFilters();
  if (!filters.isEmpty()) {
    pcPane_->setNameFilters(filters);
    if (filterSlot_ >= 0 && filterSlot_ < filters.size()) pcPane_->selectNameFilter(filters[filterSlot_]);
  }
  // The user's choice of a file type (the pane filters its own list by it).
  if (auto* typeCombo = pcPane_->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    connect(typeCombo, &QComboBox::activated, this, &CTransmitDlg::fileTypeChosen);
  }
  connect(pcPane_, &PcFilePane::acceptRequested, this, &CTransmitDlg::enterPressed);
  connect(pcPane_, &PcFilePane::cancelRequested, this, &CTransmitDlg::reject);

  // The pane's own OK and Cancel give way to the panel's buttons.
  if (auto* buttons = pcPane_->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) buttons->hide();
  if (auto* lookIn = pcPane_->findChild<QLabel*>(QStringLiteral("lookInLabel"))) {
    lookIn->setText(uiText(mode_ == TransferMode::Receive ? kSaveInText : kLookInText));
    lookIn->setBuddy(pcPane_->findChild<QComboBox*>(QStringLiteral("lookInCombo")));
  }
  // The files as a list of names, as an open-file dialog first shows them.
  pcPane_->setViewMode(QFileDialog::List);
  if (auto* typeLabel = pcPane_->findChild<QLabel*>(QStringLiteral("fileTypeLabel"))) {
    typeLabel->setText(uiText(kFilesOfTypeText));
    typeLabel->setBuddy(pcPane_->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")));
  }
  if (mode_ == TransferMode::Transmit) {
    if (auto* nameLabel = pcPane_->findChild<QLabel*>(QStringLiteral("fileNameLabel"))) {
      nameLabel->setText(uiText(kFileNameText));
      nameLabel->setBuddy(pcPane_->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")));
    }
  }
}

void CTransmitDlg::buildPanel() {
  auto* outer = static_cast<QVBoxLayout*>(layout());
  auto* panel = new QWidget(this);
  panel->setObjectName(QStringLiteral("instrumentPanel"));
  panel->setFont(dialogFont());
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);

  // The band: the illustration, and beside it the action button and Cancel.
  auto* band = new QHBoxLayout;
  const PictureSet& pictures = mode_ == TransferMode::Receive ? kReceivePictures : kTransmitPictures;
  picture_ = new TransferPicture(pictures.mask, pictures.picture, pictures.hotMask, pictures.hotPicture, panel);
  band->addStretch(1);
  band->addWidget(picture_);
  auto* buttons = new QVBoxLayout;
  buttons->addStretch(1);
  actionButton_ = new HoverButton(uiText(mode_ == TransferMode::Receive ? kReceiveText : kTransmitText), panel);
  actionButton_->setObjectName(QStringLiteral("actionButton"));
  actionButton_->setProperty("controlId", mode_ == TransferMode::Receive ? kReceiveButtonId : kTransmitButtonId);
  actionButton_->setAutoDefault(false);
  connect(actionButton_, &HoverButton::hotChanged, picture_, &TransferPicture::setHot);
  connect(actionButton_, &QPushButton::clicked, this,
          mode_ == TransferMode::Receive ? &CTransmitDlg::receive : &CTransmitDlg::transmit);
  auto* cancel = new QPushButton(uiText(kCancelText), panel);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  cancel->setProperty("controlId", 2);
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &CTransmitDlg::reject);
  buttons->addWidget(actionButton_);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  band->addLayout(buttons);
  band->addStretch(1);
  column->addLayout(band);

  // The refresh bar just above the list's right end, then the list.
  refreshBar_ = new RefreshBar(panel);
  refreshBar_->setFixedSize(kRefreshBarSize);
  connect(refreshBar_, &RefreshBar::refreshRequested, this, &CTransmitDlg::refresh);
  auto* barRow = new QHBoxLayout;
  barRow->addStretch(1);
  barRow->addWidget(refreshBar_);
  column->addLayout(barRow);

  list_ = new QTreeWidget(panel);
  list_->setObjectName(QStringLiteral("instrumentList"));
  list_->setProperty("controlId", kInstrumentListId);
  list_->setColumnCount(2);
  list_->setHeaderHidden(true);
  list_->setRootIsDecorated(false);
  list_->setIconSize(QSize(16, 16));
  list_->setSelectionMode(mode_ == TransferMode::Receive ? QAbstractItemView::ExtendedSelection
                                                         : QAbstractItemView::SingleSelection);
  list_->installEventFilter(this);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &CTransmitDlg::listSelectionChanged);
  if (mode_ == TransferMode::Receive) {
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
      if (!list_->selectedItems().isEmpty()) receive();
    });
  }
  column->addWidget(list_, 1);

  if (mode_ == TransferMode::Receive) {
    // The name of the file to fetch, and the file types moved here from the PC pane,
    // whose own name box has nothing to do in this mode.
    auto* grid = new QGridLayout;
    auto* nameLabel = new QLabel(uiText(kFileNameText), panel);
    nameBox_ = new QLineEdit(panel);
    nameBox_->setObjectName(QStringLiteral("nameBox"));
    nameBox_->setProperty("controlId", kNameBoxId);
    nameLabel->setBuddy(nameBox_);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(nameBox_, 0, 1);
    for (const char* name : {"fileNameEdit", "fileNameLabel"}) {
      if (auto* widget = pcPane_->findChild<QWidget*>(QString::fromLatin1(name))) widget->hide();
    }
    auto* typeLabel = pcPane_->findChild<QLabel*>(QStringLiteral("fileTypeLabel"));
    auto* typeCombo = pcPane_->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (typeLabel && typeCombo) {
      grid->addWidget(typeLabel, 1, 0);
      grid->addWidget(typeCombo, 1, 1);
    }
    column->addLayout(grid);
  } else {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(new QLabel(uiText(kFreeSpaceText), panel));
    freeSpace_ = new QLabel(panel);
    freeSpace_->setObjectName(QStringLiteral("freeSpace"));
    freeSpace_->setProperty("controlId", kFreeSpaceId);
    freeSpace_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    freeSpace_->setMinimumWidth(freeSpace_->fontMetrics().horizontalAdvance(QStringLiteral("9999999KB")));
    row->addWidget(freeSpace_);
    column->addLayout(row);
  }
  outer->addWidget(panel);
}

void CTransmitDlg::setInitialFolder(const QString& folder) {
  const QFileInfo info(folder);
  pcPane_->setDirectory(!folder.isEmpty() && info.isDir() ? folder : QDir::currentPath());
}

std::string CTransmitDlg::pcFolder() const { return pcPane_->directory().absolutePath().toStdString(); }

void CTransmitDlg::runModal() {
  setWindowModality(Qt::ApplicationModal);
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  // The side where the user chooses first: the songs to fetch, or the PC's files.
  if (mode_ == TransferMode::Receive) {
    list_->setFocus(Qt::ActiveWindowFocusReason);
  } else {
    pcPane_->focusFileList();
  }
  loop.exec(QEventLoop::DialogExec);
}

void CTransmitDlg::fileTypeChosen(int slot) {
  if (slot < 0 || static_cast<std::size_t>(slot) >= settings_.fileTypes.size() / 2) return;
  filterSlot_ = slot;
  settings_.fileTypeIndex = slot + 1;
  fillList();
}

std::string CTransmitDlg::currentPattern() const {
  const auto index = static_cast<std::size_t>(filterSlot_) * 2 + 1;
  return filterSlot_ >= 0 && index < settings_.fileTypes.size() ? settings_.fileTypes[index] : std::string();
}

// ---- the instrument list ---------------------------------------------------------

void CTransmitDlg::showFolder(FolderNode* folder) {
  shownFolder_ = folder;
  tree_.listFolder(folder);
  fillList();
}

void CTransmitDlg::fillList() {
  list_->clear();
  const std::string pattern = currentPattern();
  for (FolderNode* child = tree_.firstChild(shownFolder_); child; child = tree_.nextSibling(child)) {
    if (tree_.kindOf(child) != InstrumentFolderTree::kFile) continue;
    const std::string_view name = tree_.nameOf(child);
    if (!passesTypeFilter(pattern, name)) continue;
    auto* row = new QTreeWidgetItem(list_, {instrumentText(name), kilobytes(tree_.sizeOf(child))});
    row->setIcon(0, fileIconOf(name));
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    row->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(child)));
  }
  if (QTreeWidgetItem* first = list_->topLevelItem(0)) {
    list_->setCurrentItem(first);
    first->setSelected(true);
  }
}

FolderNode* CTransmitDlg::nodeOf(const QTreeWidgetItem* row) const {
  return row ? reinterpret_cast<FolderNode*>(row->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

void CTransmitDlg::listSelectionChanged() {
  if (!nameBox_) return;
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.size() == 1) {
    const FolderNode* node = nodeOf(selected.front());
    if (node && tree_.kindOf(node) == InstrumentFolderTree::kFile) nameBox_->setText(selected.front()->text(0));
  } else if (selected.size() > 1) {
    nameBox_->clear();
  }
}

void CTransmitDlg::updateFreeSpace() {
  const std::optional<std::uint32_t> bytes = services_.freeSpace ? services_.freeSpace() : std::nullopt;
  freeSpace_->setText(bytes ? kilobytes(*bytes) : uiText(kKilobytesText));
}

void CTransmitDlg::refresh() {
  if (mode_ == TransferMode::Transmit) updateFreeSpace();
  FolderNode* folder = tree_.openPath(tree_.pathOf(shownFolder_));
  showFolder(folder ? folder : tree_.drive());
}

void CTransmitDlg::selectAll() {
  if (mode_ == TransferMode::Transmit) {
    pcPane_->selectAllFiles();
    return;
  }
  list_->selectAll();
  list_->setFocus(Qt::ShortcutFocusReason);
}

// ---- keys ------------------------------------------------------------------------

void CTransmitDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    // A focused push button is pressed; anywhere else Enter starts the transfer.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
      return;
    }
    enterPressed();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CTransmitDlg::enterPressed() {
  if (mode_ == TransferMode::Receive) {
    // Enter in the PC's file list belongs to that list (it opens a folder there).
    if (!pcPane_->fileListHasFocus()) receive();
    return;
  }
  transmit();
}

bool CTransmitDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Backspace) {
    // Backspace shows the folder above, if there is one.
    if (FolderNode* parent = tree_.parentOf(shownFolder_)) {
      showFolder(parent);
    }
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void CTransmitDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  list_->setColumnWidth(0, std::max(0, width() - kNameColumnMargin));
  list_->setColumnWidth(1, kSizeColumnWidth);
}

// ---- the transfers ---------------------------------------------------------------

void CTransmitDlg::runHidden(const std::function<void()>& job) {
  hide();
  job();
  show();
}

void CTransmitDlg::receive() {
  actionButton_->dropHighlight();
  const std::string folder = pcFolder();
  if (folder.empty()) return;
  if (!QFileInfo(toQString(folder)).isDir()) {
    showText(MessageStyle::Notice, formatMessage(uiString(kNoSuchPathText), folder));
    return;
  }
  ReceiveRequest request{folder, &tree_, {}};
  const QString typed = nameBox_->text();
  if (!typed.isEmpty()) {
    FolderNode* named = tree_.findByPath(tree_.pathOf(shownFolder_) + "\\" + instrumentName(typed));
    if (!named) {
      showMessage(MessageId::NotFound, typed.toStdString());
      return;
    }
    if (tree_.kindOf(named) == InstrumentFolderTree::kFile) request.receiveFiles.push_back(named);
  } else {
    for (int row = 0; row < list_->topLevelItemCount(); ++row) {
      QTreeWidgetItem* item = list_->topLevelItem(row);
      FolderNode* node = nodeOf(item);
      if (item->isSelected() && node && tree_.kindOf(node) == InstrumentFolderTree::kFile) {
        request.receiveFiles.push_back(node);
      }
    }
  }
  if (request.receiveFiles.empty()) {
    showMessage(MessageId::SelectFile);
    return;
  }
  runHidden([&] { services_.receive(request); });
}

void CTransmitDlg::transmit() {
  actionButton_->dropHighlight();
  // The files come from the pane's own selection (or the names typed into it), so a
  // name with spaces or quotes arrives whole.
  const QStringList chosen = pcPane_->selectedFiles();
  if (chosen.isEmpty()) {
    showMessage(MessageId::SelectFile);
    return;
  }
  const std::string folder = pcFolder();
  if (folder.empty()) return;
  TransmitRequest request{folder, {}, tree_.pathOf(shownFolder_), &tree_};
  for (const QString& path : chosen) {
    const QFileInfo file(path);
    if (!file.exists()) {
      showMessage(MessageId::NotFound, file.fileName().toStdString());
      return;
    }
    if (file.isDir()) continue;
    if (!isValidFileName(file.fileName().toStdString())) {
      showMessage(MessageId::BadFileName);
      return;
    }
    request.transmitFiles.push_back(path.toStdString());
  }
  if (request.transmitFiles.empty()) {
    showMessage(MessageId::SelectFile);
    return;
  }
  runHidden([&] {
    services_.transmit(request);
    // The destination as the instrument has it now.
    tree_.clearChildren(shownFolder_);
    tree_.setData(shownFolder_, shownFolder_ == tree_.drive() ? InstrumentFolderTree::kDriveUnlisted
                                                              : InstrumentFolderTree::kFolderUnlisted);
    showFolder(shownFolder_);
    updateFreeSpace();
  });
}

}  // namespace quaverly
