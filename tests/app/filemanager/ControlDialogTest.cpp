// The Control dialog against the virtual instrument, through the program's own link
// (the in-process instrument of the link harness, its memory held in memory). The
// instrument's commands pass through a counter that can refuse a rename or the
// delete of one file; messages are recorded and answered from a script.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/dialogs/CFileIconList.h"
#include "app/filemanager/ControlDialog.h"
#include "app/filemanager/InPlaceEdit.h"
#include "app/filemanager/SongFileList.h"
#include "app/jobs/InstrumentFileCommands.h"
#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::test {

namespace {

using linktest::LinkHarness;
using protocol::LinkResult;

// The link's commands, counted, with refusals on demand.
class CountingCommands final : public InstrumentFileCommands {
 public:
  explicit CountingCommands(protocol::Link& link) : link_(link) {}

  LinkResult findFirst(std::uint8_t mask, std::string_view pattern, protocol::DirectoryEntry& entry) override {
    return link_.findFirst(mask, pattern, entry);
  }
  LinkResult findNext(protocol::DirectoryEntry& entry) override { return link_.findNext(entry); }
  LinkResult rename(std::string_view oldPath, std::string_view newPath) override {
    ++renames;
    return refuseRenames ? protocol::kLinkRefused : link_.rename(oldPath, newPath);
  }
  LinkResult deleteFile(std::string_view path) override {
    ++deletes;
    return refusedDeletes.count(std::string(path)) ? protocol::kLinkRefused : link_.deleteFile(path);
  }

  int renames = 0;
  int deletes = 0;
  bool refuseRenames = false;
  std::set<std::string> refusedDeletes;

 private:
  LinkFileCommands link_;
};

// A message as the user sees it: catalogue id with its argument.
std::string messageOf(MessageId id, std::optional<std::string_view> argument = std::nullopt) {
  return formatMessage(messageText(id), argument);
}

QStringList rowsOf(const QListWidget* list) {
  QStringList rows;
  for (int row = 0; row < list->count(); ++row) rows << list->item(row)->text();
  return rows;
}

// Lets the dialog's posted messages (finish and restart of a rename) arrive.
void settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

}  // namespace

class ControlDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<LinkHarness> harness_;
  std::unique_ptr<CountingCommands> commands_;
  std::unique_ptr<ScopedMessagePresenter> presenter_;
  std::vector<std::string> shown_;
  std::deque<MessageResult> answers_;
  std::string currentFolder_;

  std::unique_ptr<ControlDialog> openDialog() {
    auto dialog = std::make_unique<ControlDialog>(*commands_, currentFolder_);
    dialog->setOuterSize(QSize(400, 240));
    dialog->show();
    if (!QTest::qWaitForWindowActive(dialog.get())) return nullptr;
    return dialog;
  }

  // Opens the rename edit on `row` with F2, types `text` and ends with `key`.
  static void renameRow(ControlDialog& dialog, int row, const QString& text, Qt::Key key = Qt::Key_Return) {
    dialog.fileList()->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(dialog.fileList(), Qt::Key_F2);
    QVERIFY(dialog.renameEdit());
    QTest::keyClicks(dialog.renameEdit(), text);
    QTest::keyClick(dialog.renameEdit(), key);
    settle();
  }

  bool onInstrument(const std::string& name) { return harness_->fileContents({name}).has_value(); }

 private slots:
  void initTestCase() {
    setLanguage(Language::English);
    fileIconList().loadStandardIcons();
  }

  void init() {
    harness_ = std::make_unique<LinkHarness>();
    harness_->enterTransferMode();
    commands_ = std::make_unique<CountingCommands>(harness_->link());
    shown_.clear();
    answers_.clear();
    currentFolder_.clear();
    presenter_ = std::make_unique<ScopedMessagePresenter>([this](MessageStyle, std::string_view text) {
      shown_.emplace_back(text);
      if (answers_.empty()) return MessageResult::Ok;
      const MessageResult answer = answers_.front();
      answers_.pop_front();
      return answer;
    });
    for (const char* name : {"SONG.MID", "B.MID", "C.MID", "D.MID"}) harness_->addFile({name}, {1, 2, 3});
  }

  void cleanup() {
    presenter_.reset();
    commands_.reset();
    harness_.reset();
  }

  void onlySongFilesAreListedFirstRowSelected() {
    harness_->addFile({"SONG.MIDI"}, {1});
    harness_->addFile({"SONG.KAR"}, {1});
    harness_->addFile({"e.mId"}, {1});
    harness_->addFile({".MID"}, {1});
    harness_->addFolder({"F.MID"});
    auto dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(rowsOf(dialog->fileList()),
             QStringList({".MID", "B.MID", "C.MID", "D.MID", "e.mId", "SONG.MID"}));
    QCOMPARE(dialog->fileList()->currentRow(), 0);
    QCOMPARE(dialog->fileList()->selectedItems().size(), 1);
    QVERIFY(dialog->deleteAction()->isEnabled());
  }

  void renameChecks_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("shown");  // the message, empty for none
    QTest::addColumn<int>("renamesSent");
    QTest::addColumn<QString>("rowText");
    QTest::addColumn<bool>("editReopened");
    const auto text = [](MessageId id) { return QString::fromStdString(messageOf(id)); };
    QTest::newRow("other letter case only") << "song.mid" << false << "" << 0 << "song.mid" << false;
    QTest::newRow("a new song name") << "NEW.MID" << false << "" << 1 << "NEW.MID" << false;
    QTest::newRow("too long: the 8.3 rule comes first")
        << "TOOLONGNAME.MID" << false << text(MessageId::BadFileName) << 0 << "SONG.MID" << true;
    QTest::newRow("a name another file has") << "b.mid" << false << text(MessageId::NameUsed) << 0 << "SONG.MID" << true;
    QTest::newRow("valid but not a song") << "NEW.TXT" << false << text(MessageId::NeedMidExtension) << 0 << "SONG.MID"
                                          << true;
    QTest::newRow("refused by the instrument") << "NEW.MID" << true << "" << 1 << "SONG.MID" << true;
  }

  void renameChecks() {
    QFETCH(QString, typed);
    QFETCH(bool, refused);
    QFETCH(QString, shown);
    QFETCH(int, renamesSent);
    QFETCH(QString, rowText);
    QFETCH(bool, editReopened);
    commands_->refuseRenames = refused;
    auto dialog = openDialog();
    QVERIFY(dialog);
    const int row = static_cast<int>(rowsOf(dialog->fileList()).indexOf("SONG.MID"));
    renameRow(*dialog, row, typed);

    QCOMPARE(shown_.size(), shown.isEmpty() ? 0u : 1u);
    if (!shown.isEmpty()) QCOMPARE(QString::fromStdString(shown_.front()), shown);
    QCOMPARE(commands_->renames, renamesSent);
    QCOMPARE(dialog->fileList()->item(row)->text(), rowText);
    QCOMPARE(dialog->isEditing(), editReopened);
    QCOMPARE(dialog->refreshAction()->isEnabled(), !editReopened);
    if (editReopened) {
      // The rejected name stays in the field for correction; Esc gives up.
      QCOMPARE(dialog->renameEdit()->text(), typed);
      QTest::keyClick(dialog->renameEdit(), Qt::Key_Escape);
      settle();
      QVERIFY(!dialog->isEditing());
      QCOMPARE(dialog->fileList()->item(row)->text(), QStringLiteral("SONG.MID"));
    }
    QCOMPARE(onInstrument("SONG.MID"), rowText != "NEW.MID");
    QCOMPARE(onInstrument("NEW.MID"), rowText == "NEW.MID");
  }

  void renameBeginsOnASlowSecondClick() {
    auto dialog = openDialog();
    QVERIFY(dialog);
    SongFileList* list = dialog->fileList();
    const QPoint onRow = list->visualItemRect(list->item(0)).center();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onRow);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QVERIFY(!dialog->isEditing());  // a double-click does nothing
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onRow);
    QTRY_VERIFY(dialog->isEditing());
    QCOMPARE(dialog->renameEdit()->text(), list->item(0)->text());
    QVERIFY(dialog->renameEdit()->geometry().right() > list->labelRect(0).right());
    QVERIFY(dialog->isVisible());
  }

  void deleteDuringRename_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<bool>("deleted");
    const auto text = [](MessageId id, std::optional<std::string_view> argument = std::nullopt) {
      return QString::fromStdString(messageOf(id, argument));
    };
    // A rejected name is reported, then the entry goes under its name before the edit.
    QTest::newRow("rejected name") << "BAD"
                                   << QStringList({text(MessageId::NeedMidExtension),
                                                   text(MessageId::ConfirmDelete, "SONG.MID")})
                                   << true;
    // An accepted rename leaves no entry under the old name.
    QTest::newRow("accepted name") << "NEW.MID" << QStringList({text(MessageId::CannotFindToDelete, "SONG.MID")})
                                   << false;
  }

  void deleteDuringRename() {
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    QFETCH(bool, deleted);
    auto dialog = openDialog();
    QVERIFY(dialog);
    dialog->fileList()->setCurrentRow(static_cast<int>(rowsOf(dialog->fileList()).indexOf("SONG.MID")),
                                      QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(dialog->fileList(), Qt::Key_F2);
    QTest::keyClicks(dialog->renameEdit(), typed);
    dialog->deleteAction()->trigger();
    settle();
    QStringList seen;
    for (const std::string& text : shown_) seen << QString::fromStdString(text);
    QCOMPARE(seen, shown);
    QVERIFY(!dialog->isEditing());
    QVERIFY(dialog->refreshAction()->isEnabled());
    QVERIFY(!rowsOf(dialog->fileList()).contains("SONG.MID"));
    QCOMPARE(rowsOf(dialog->fileList()).contains("NEW.MID"), !deleted);
    QCOMPARE(onInstrument("SONG.MID"), false);
    QCOMPARE(onInstrument("NEW.MID"), !deleted);
  }

  void deleteSeveral_data() {
    QTest::addColumn<QStringList>("readOnly");
    QTest::addColumn<QStringList>("refused");
    QTest::addColumn<MessageResult>("answer");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("rowsAfter");
    const QString askThree = QString::fromStdString(messageOf(MessageId::ConfirmDeleteMany, "3"));
    const QString readOnly = QString::fromStdString(messageOf(MessageId::ReadOnly));
    QTest::newRow("three deleted") << QStringList() << QStringList() << MessageResult::Ok << QStringList({askThree})
                                   << QStringList({"SONG.MID"});
    QTest::newRow("one read-only: none deleted")
        << QStringList({"C.MID"}) << QStringList() << MessageResult::Ok << QStringList({readOnly})
        << QStringList({"B.MID", "C.MID", "D.MID", "SONG.MID"});
    QTest::newRow("cancelled") << QStringList() << QStringList() << MessageResult::Cancel << QStringList({askThree})
                               << QStringList({"B.MID", "C.MID", "D.MID", "SONG.MID"});
    QTest::newRow("one refused: the others go on")
        << QStringList() << QStringList({"0:\\C.MID"}) << MessageResult::Ok << QStringList({askThree})
        << QStringList({"C.MID", "SONG.MID"});
  }

  void deleteSeveral() {
    QFETCH(QStringList, readOnly);
    QFETCH(QStringList, refused);
    QFETCH(MessageResult, answer);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, rowsAfter);
    for (const QString& name : readOnly) {
      harness_->instrument().withMemory(
          [&](instrument::FileMemory& memory) { memory.setReadOnly({name.toStdString()}, true); });
    }
    for (const QString& path : refused) commands_->refusedDeletes.insert(path.toStdString());
    answers_.push_back(answer);
    auto dialog = openDialog();
    QVERIFY(dialog);
    SongFileList* list = dialog->fileList();
    list->setFocus();
    for (int row = 0; row < 3; ++row) list->item(row)->setSelected(true);
    QVERIFY(dialog->deleteAction()->isEnabled());
    QTest::keyClick(list, Qt::Key_Delete);
    QStringList seen;
    for (const std::string& text : shown_) seen << QString::fromStdString(text);
    QCOMPARE(seen, shown);
    QCOMPARE(rowsOf(list), rowsAfter);
    for (const char* name : {"B.MID", "C.MID", "D.MID"}) QCOMPARE(onInstrument(name), rowsAfter.contains(name));
  }

  void deleteNeedsASelectionInTheFocusedList() {
    auto dialog = openDialog();
    QVERIFY(dialog);
    SongFileList* list = dialog->fileList();
    list->clearSelection();
    QVERIFY(!dialog->deleteAction()->isEnabled());
    dialog->deleteSelected();
    list->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    QVERIFY(dialog->deleteAction()->isEnabled());
    auto* elsewhere = new QLineEdit(dialog.get());
    elsewhere->show();
    elsewhere->setFocus();
    QVERIFY(!list->hasFocus());
    dialog->deleteSelected();
    QVERIFY(shown_.empty());
    QCOMPARE(commands_->deletes, 0);
  }

  void refreshRereadsAndFallsBackToTheDrive() {
    harness_->addFolder({"POPS"});
    harness_->addFile({"POPS", "IN.MID"}, {1});
    currentFolder_ = "0:\\POPS";
    {
      auto dialog = openDialog();
      QVERIFY(dialog);
      QCOMPARE(rowsOf(dialog->fileList()), QStringList({"IN.MID"}));
      harness_->addFile({"POPS", "NEW.MID"}, {1});
      dialog->refresh();
      QCOMPARE(rowsOf(dialog->fileList()), QStringList({"IN.MID", "NEW.MID"}));
      harness_->instrument().withMemory([](instrument::FileMemory& memory) {
        memory.removeFile({"POPS", "IN.MID"});
        memory.removeFile({"POPS", "NEW.MID"});
        memory.removeFolder({"POPS"});
      });
      dialog->refresh();
      QCOMPARE(rowsOf(dialog->fileList()), QStringList({"B.MID", "C.MID", "D.MID", "SONG.MID"}));
    }
    QCOMPARE(currentFolder_, std::string("0:"));
  }

  void windowKeysAndSize() {
    auto dialog = openDialog();
    QVERIFY(dialog);
    SongFileList* list = dialog->fileList();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Control"));
    const auto fills = [&] {
      return list->geometry().right() == dialog->width() - 2 && list->geometry().bottom() == dialog->height() - 2;
    };
    QVERIFY(fills());
    dialog->resize(300, 180);
    QVERIFY(fills());

    QTest::keyClick(list, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(list->selectedItems().size(), list->count());
    QTest::keyClick(list, Qt::Key_Return);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QVERIFY(dialog->isVisible());
    QVERIFY(shown_.empty());
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->outerSize(), dialog->frameGeometry().size());
  }
};

}  // namespace quaverly::test

QTEST_MAIN(quaverly::test::ControlDialogTest)
#include "ControlDialogTest.moc"
