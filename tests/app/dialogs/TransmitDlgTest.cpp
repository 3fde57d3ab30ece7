// The Receive and Transmit dialog against the virtual instrument through the
// program's own link (the link harness's in-process instrument), with the real jobs
// behind its buttons and a PC folder of the test's own.
#include <QComboBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/dialogs/CFileIconList.h"
#include "app/dialogs/CTransmitDlg.h"
#include "app/dialogs/HoverButton.h"
#include "app/dialogs/PcFilePane.h"
#include "app/dialogs/TypeFilter.h"
#include "app/jobs/InstrumentFileCommands.h"
#include "app/jobs/JobUserInterface.h"
#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "app/protocol/FileCommands.h"
#include "app/settings/AppSettings.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::test {

namespace {

using linktest::Bytes;
using linktest::LinkHarness;

class SilentDisplay final : public ProgressDisplay {
 public:
  void setRange(int, int) override {}
  void setPos(int) override {}
  bool pollCancel() override { return false; }
};

QStringList rowsOf(const QTreeWidget* list) {
  QStringList rows;
  for (int row = 0; row < list->topLevelItemCount(); ++row) rows << list->topLevelItem(row)->text(0);
  return rows;
}

void writeFile(const QString& path, const Bytes& bytes) {
  std::ofstream out(path.toStdString(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

class TransmitDlgTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<LinkHarness> harness_;
  std::unique_ptr<LinkFileCommands> commands_;
  std::unique_ptr<ScopedMessagePresenter> presenter_;
  std::unique_ptr<PresenterJobUserInterface> ui_;
  std::unique_ptr<QTemporaryDir> pc_;
  std::mutex mutex_;
  std::vector<std::string> shown_;
  AppSettings settings_;

  std::unique_ptr<CTransmitDlg> openDialog(TransferMode mode) {
    TransferServices services{
        [this](const ReceiveRequest& request) {
          JobEnvironment environment{harness_->link(), {LinkHarness::unpaced(), 3}, *ui_};
          runReceiveJob(request, environment);
        },
        [this](const TransmitRequest& request) {
          JobEnvironment environment{harness_->link(), {LinkHarness::unpaced(), 3}, *ui_};
          runTransmitJob(request, environment);
        },
        [this]() -> std::optional<std::uint32_t> {
          std::uint32_t bytes = 0;
          if (protocol::freeSpace(harness_->link(), bytes) != protocol::kLinkSuccess) return std::nullopt;
          return bytes;
        }};
    auto dialog = std::make_unique<CTransmitDlg>(mode, *commands_, settings_, std::move(services));
    dialog->setInitialFolder(pc_->path());
    dialog->show();
    return dialog;
  }

  std::vector<std::string> shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }

  // Selects PC files of the pane's folder in its list, as a user's clicks would.
  static void choosePcFiles(CTransmitDlg& dialog, const QStringList& names) {
    auto* view = dialog.pcPane()->findChild<QListView*>(QStringLiteral("listView"));
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    for (const QString& name : names) {
      const QModelIndex index = model->index(dialog.pcPane()->directory().filePath(name));
      view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }

 private slots:
  void initTestCase() {
    setLanguage(Language::English);
    fileIconList().loadStandardIcons();
  }

  void init() {
    harness_ = std::make_unique<LinkHarness>();
    harness_->enterTransferMode();
    commands_ = std::make_unique<LinkFileCommands>(harness_->link());
    pc_ = std::make_unique<QTemporaryDir>();
    settings_ = AppSettings{};
    shown_.clear();
    presenter_ = std::make_unique<ScopedMessagePresenter>([this](MessageStyle, std::string_view text) {
      std::lock_guard lock(mutex_);
      shown_.emplace_back(text);
      return MessageResult::Ok;
    });
    ui_ = std::make_unique<PresenterJobUserInterface>([](TransferKind) { return std::make_unique<SilentDisplay>(); });
    for (const char* name : {"SONG.MID", "SONG.MOD", "SONG.MIDI", "SONG"}) harness_->addFile({name}, {1});
  }

  void cleanup() {
    ui_.reset();
    presenter_.reset();
    commands_.reset();
    harness_.reset();
  }

  void typeFilter_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("passes");
    QTest::newRow("no pattern") << "" << "SONG" << true;
    QTest::newRow("no full stop") << "MIDI" << "A.TXT" << true;
    QTest::newRow("*.* without extension") << "*.*" << "SONG" << true;
    QTest::newRow("*.MID without extension") << "*.MID" << "SONG" << false;
    QTest::newRow("*.MID any case") << "*.MID" << "song.mid" << true;
    QTest::newRow("*.MID longer extension") << "*.MID" << "SONG.MIDI" << false;
    QTest::newRow("*.M?D any middle") << "*.M?D" << "SONG.MOD" << true;
    QTest::newRow("*.M* begins with M") << "*.M*" << "SONG.MIDI" << true;
    QTest::newRow("*.M* other letter") << "*.M*" << "SONG.KAR" << false;
    QTest::newRow("*.M* no extension") << "*.M*" << "SONG" << false;
    QTest::newRow("last full stop of the name") << "*.MID" << "A.B.MID" << true;
    QTest::newRow("several patterns, second") << "*.mid;*.kar" << "A.KAR" << true;
    QTest::newRow("several patterns, none") << "*.mid;*.kar" << "A.TXT" << false;
  }

  void typeFilter() {
    QFETCH(QString, pattern);
    QFETCH(QString, file);
    QFETCH(bool, passes);
    QCOMPARE(passesTypeFilter(pattern.toStdString(), file.toStdString()), passes);
  }

  void fileTypesPreselectTheLastAndRememberTheChoice() {
    {
      auto dialog = openDialog(TransferMode::Receive);
      QCOMPARE(settings_.fileTypeIndex, 0);
      QCOMPARE(rowsOf(dialog->instrumentList()), QStringList({"SONG", "SONG.MID", "SONG.MIDI", "SONG.MOD"}));
    }
    settings_.fileTypes = {"All", "*.*", "Songs", "*.M?D", "MIDI", "*.MID"};
    {
      auto dialog = openDialog(TransferMode::Receive);
      QCOMPARE(settings_.fileTypeIndex, 3);
      QCOMPARE(rowsOf(dialog->instrumentList()), QStringList({"SONG.MID"}));
      auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      QVERIFY(combo);
      QCOMPARE(combo->currentIndex(), 2);
      combo->setCurrentIndex(1);
      emit combo->activated(1);
      QCOMPARE(rowsOf(dialog->instrumentList()), QStringList({"SONG.MID", "SONG.MOD"}));
    }
    QCOMPARE(settings_.fileTypeIndex, 2);
    auto dialog = openDialog(TransferMode::Transmit);
    QCOMPARE(rowsOf(dialog->instrumentList()), QStringList({"SONG.MID", "SONG.MOD"}));
  }

  void receiveChecks_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("selectNone");
    QTest::addColumn<QString>("message");
    QTest::newRow("a folder's name") << "POPS" << false << QString::fromStdString(std::string(messageText(MessageId::SelectFile)));
    QTest::newRow("a name not there") << "NONE.MID" << false
                                      << QString::fromStdString(formatMessage(messageText(MessageId::NotFound), "NONE.MID"));
    QTest::newRow("nothing selected") << "" << true << QString::fromStdString(std::string(messageText(MessageId::SelectFile)));
  }

  void receiveChecks() {
    QFETCH(QString, typed);
    QFETCH(bool, selectNone);
    QFETCH(QString, message);
    harness_->addFolder({"POPS"});
    auto dialog = openDialog(TransferMode::Receive);
    if (selectNone) dialog->instrumentList()->clearSelection();
    dialog->nameBox()->setText(typed);
    dialog->receive();
    QCOMPARE(shown(), std::vector<std::string>({message.toStdString()}));
    QVERIFY(QDir(pc_->path()).entryList(QDir::Files).isEmpty());
  }

  void receiveFromTheButtonWritesTheFilesWhole() {
    const Bytes song = linktest::patternBytes(3000);
    harness_->addFile({"BIG.MID"}, song);
    auto dialog = openDialog(TransferMode::Receive);
    QTreeWidget* list = dialog->instrumentList();
    list->clearSelection();
    list->topLevelItem(static_cast<int>(rowsOf(list).indexOf("BIG.MID")))->setSelected(true);
    QCOMPARE(dialog->nameBox()->text(), QStringLiteral("BIG.MID"));
    QTest::mouseClick(dialog->actionButton(), Qt::LeftButton);
    QCOMPARE(readFile(pc_->filePath("BIG.MID")), song);
    QVERIFY(dialog->isVisible());  // the dialog stays for the next transfer
    QCOMPARE(dialog->pcFolder(), pc_->path().toStdString());
  }

  void transmitChecksComeBeforeAnythingIsSent_data() {
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QString>("removedAfterChoosing");
    QTest::addColumn<QString>("message");
    QTest::newRow("the second of three missing")
        << QStringList({"A.MID", "B.MID", "C.MID"}) << "B.MID"
        << QString::fromStdString(formatMessage(messageText(MessageId::NotFound), "B.MID"));
    QTest::newRow("a long name") << QStringList({"A.MID", "longfilename.mid"}) << ""
                                 << QString::fromStdString(std::string(messageText(MessageId::BadFileName)));
    QTest::newRow("nothing chosen") << QStringList() << ""
                                    << QString::fromStdString(std::string(messageText(MessageId::SelectFile)));
  }

  void transmitChecksComeBeforeAnythingIsSent() {
    QFETCH(QStringList, chosen);
    QFETCH(QString, removedAfterChoosing);
    QFETCH(QString, message);
    for (const char* name : {"A.MID", "B.MID", "C.MID", "longfilename.mid"}) writeFile(pc_->filePath(name), {1, 2});
    auto dialog = openDialog(TransferMode::Transmit);
    choosePcFiles(*dialog, chosen);
    if (!removedAfterChoosing.isEmpty()) QFile::remove(pc_->filePath(removedAfterChoosing));
    dialog->transmit();
    QCOMPARE(shown(), std::vector<std::string>({message.toStdString()}));
    QVERIFY(!harness_->fileContents({"A.MID"}));
  }

  void transmitFromTheButtonRelistsTheDestination() {
    const Bytes song = linktest::patternBytes(2500, 7);
    writeFile(pc_->filePath("NEW.MID"), song);
    writeFile(pc_->filePath("ONE.MID"), {0x42});
    writeFile(pc_->filePath("EMPTY.MID"), {});
    auto dialog = openDialog(TransferMode::Transmit);
    const QString before = dialog->freeSpaceValue()->text();
    QVERIFY(before.endsWith(QStringLiteral("KB")) && before != QStringLiteral("KB"));
    choosePcFiles(*dialog, {"NEW.MID", "ONE.MID", "EMPTY.MID"});
    QTest::mouseClick(dialog->actionButton(), Qt::LeftButton);
    QCOMPARE(harness_->fileContents({"NEW.MID"}), std::optional<Bytes>(song));
    QTreeWidget* list = dialog->instrumentList();
    const auto sizeOf = [&](const char* name) {
      return list->topLevelItem(static_cast<int>(rowsOf(list).indexOf(name)))->text(1);
    };
    QCOMPARE(sizeOf("NEW.MID"), QStringLiteral("3KB"));
    QCOMPARE(sizeOf("ONE.MID"), QStringLiteral("1KB"));
    QCOMPARE(sizeOf("EMPTY.MID"), QStringLiteral("0KB"));
    QVERIFY(dialog->freeSpaceValue()->text() != before);
  }

  // Enter on a chosen file in the PC list transmits once; on a folder it opens it.
  void enterInThePcListTransmitsOnce() {
    writeFile(pc_->filePath("ONE.MID"), {0x42});
    QDir(pc_->path()).mkdir(QStringLiteral("SUB"));
    auto dialog = openDialog(TransferMode::Transmit);
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    auto* view = dialog->pcPane()->findChild<QListView*>(QStringLiteral("listView"));
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    view->setFocus();
    view->setCurrentIndex(model->index(pc_->filePath("ONE.MID")));
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(shown(), std::vector<std::string>({std::string(messageText(MessageId::TransmitCompleted))}));
    view->setFocus();
    view->setCurrentIndex(model->index(pc_->filePath("SUB")));
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(shown().size(), 1u);
    QCOMPARE(dialog->pcPane()->directory().absolutePath(), pc_->filePath("SUB"));
  }

  void refreshFallsBackToTheDrive() {
    harness_->addFolder({"POPS"});
    harness_->addFile({"POPS", "IN.MID"}, {1});
    settings_.currentInstrumentFolder = "0:\\POPS";
    {
      auto dialog = openDialog(TransferMode::Receive);
      QCOMPARE(rowsOf(dialog->instrumentList()), QStringList({"IN.MID"}));
      harness_->instrument().withMemory([](instrument::FileMemory& memory) {
        memory.removeFile({"POPS", "IN.MID"});
        memory.removeFolder({"POPS"});
      });
      dialog->refresh();
      QCOMPARE(rowsOf(dialog->instrumentList()), QStringList({"SONG", "SONG.MID", "SONG.MIDI", "SONG.MOD"}));
    }
    QCOMPARE(settings_.currentInstrumentFolder, std::string("0:"));
  }
};

}  // namespace quaverly::test

QTEST_MAIN(quaverly::test::TransmitDlgTest)
#include "TransmitDlgTest.moc"
