// The port selection dialog under the offscreen platform, over a fake device list:
// four inputs of which the second cannot be asked for its capabilities, and three
// outputs of which the last cannot.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "portlib/PortSelectDialog.h"
#include "portlib/system/MidiSystem.h"

using tonelink::PortSelectDialog;
namespace mm = tonelink::mm;

namespace {

using Names = std::vector<std::optional<std::string>>;

// Devices with fixed names; a missing name makes the capability query fail.
class FakeBackend : public mm::MidiBackend {
 public:
  FakeBackend(Names inputs, Names outputs) : inputs_(std::move(inputs)), outputs_(std::move(outputs)) {}
  unsigned inputCount() override { return static_cast<unsigned>(inputs_.size()); }
  unsigned outputCount() override { return static_cast<unsigned>(outputs_.size()); }
  std::optional<std::string> inputName(unsigned index) override { return inputs_.at(index); }
  std::optional<std::string> outputName(unsigned index) override { return outputs_.at(index); }
  mm::MMRESULT openInput(unsigned, std::unique_ptr<mm::MidiInDevice>&) override { return mm::MMSYSERR_NOTSUPPORTED; }
  mm::MMRESULT openOutput(unsigned, std::unique_ptr<mm::MidiOutDevice>&) override { return mm::MMSYSERR_NOTSUPPORTED; }

 private:
  Names inputs_;
  Names outputs_;
};

void installDevices(Names inputs, Names outputs) {
  std::vector<std::unique_ptr<mm::MidiBackend>> backends;
  backends.push_back(std::make_unique<FakeBackend>(std::move(inputs), std::move(outputs)));
  mm::installMidiBackends(std::move(backends));
}

void installStandardDevices() {
  installDevices({"In A", std::nullopt, "In C", "In D"}, {"Out 1", "出力 2", std::nullopt});
}

// The child control with the resource's numeric id.
template <typename T>
T* control(QWidget* dialog, int id) {
  for (QWidget* child : dialog->findChildren<QWidget*>()) {
    if (child->property("controlId").toInt() == id) return qobject_cast<T*>(child);
  }
  return nullptr;
}

QComboBox* inList(QWidget* d) { return control<QComboBox>(d, PortSelectDialog::kInListId); }
QComboBox* outList(QWidget* d) { return control<QComboBox>(d, PortSelectDialog::kOutListId); }
QPushButton* okButton(QWidget* d) { return control<QPushButton>(d, PortSelectDialog::kOkId); }
QPushButton* cancelButton(QWidget* d) { return control<QPushButton>(d, PortSelectDialog::kCancelId); }
QLabel* inLabel(QWidget* d) { return control<QLabel>(d, PortSelectDialog::kInLabelId); }
QLabel* outLabel(QWidget* d) { return control<QLabel>(d, PortSelectDialog::kOutLabelId); }

QStringList entries(const QComboBox* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->itemText(i);
  return names;
}

// a : b equals ea : eb up to the rounding of each value to whole pixels.
bool inRatio(int a, int b, int ea, int eb) {
  return std::abs(static_cast<double>(a) * eb - static_cast<double>(b) * ea) <= (ea + eb) / 2.0;
}

// Runs `act` on the port selection dialog once it is open (inside its modal loop).
void whenDialogOpens(std::function<void(PortSelectDialog*)> act) {
  QTimer::singleShot(0, [act = std::move(act)]() mutable {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<PortSelectDialog*>(widget); dialog && dialog->isVisible()) {
        act(dialog);
        return;
      }
    }
    // Not shown yet: look again on the next pass of the event loop.
    whenDialogOpens(std::move(act));
  });
}

}  // namespace

class PortSelectDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { installStandardDevices(); }

  void listsShowTheDevicesWhoseCapabilitiesCanBeRead() {
    PortSelectDialog dialog({}, {}, {}, false, 0, 0);
    QVERIFY(inList(&dialog) && outList(&dialog));
    QCOMPARE(entries(inList(&dialog)), (QStringList{"In A", "In C", "In D"}));
    QCOMPARE(entries(outList(&dialog)), (QStringList{"Out 1", QStringLiteral("出力 2")}));
  }

  void currentIdsArePreselectedAsPositions() {
    // Input id 2 is the third entry, "In D": the failing device shifted it.
    PortSelectDialog dialog({}, {}, {}, false, 2, 1);
    QCOMPARE(inList(&dialog)->currentIndex(), 2);
    QCOMPARE(inList(&dialog)->currentText(), QStringLiteral("In D"));
    QCOMPARE(outList(&dialog)->currentIndex(), 1);
  }

  void anIdPastTheListSelectsNothingAndOkReadsZero() {
    // Input id 3 is a device, but the list holds three entries only.
    PortSelectDialog dialog({}, {}, {}, false, 3, 9);
    QCOMPARE(inList(&dialog)->currentIndex(), -1);
    QCOMPARE(outList(&dialog)->currentIndex(), -1);
    dialog.show();
    QTest::mouseClick(okButton(&dialog), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.inPosition(), 0u);
    QCOMPARE(dialog.outPosition(), 0u);
  }

  void okWithoutTouchingTheListsKeepsThePositions() {
    PortSelectDialog dialog({}, {}, {}, false, 2, 1);
    dialog.show();
    QTest::mouseClick(okButton(&dialog), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.inPosition(), 2u);
    QCOMPARE(dialog.outPosition(), 1u);
  }

  void okReadsTheChangedSelection() {
    PortSelectDialog dialog({}, {}, {}, false, 2, 1);
    dialog.show();
    inList(&dialog)->setFocus();
    QTest::keyClick(inList(&dialog), Qt::Key_Up);  // "In D" -> "In C"
    outList(&dialog)->setCurrentIndex(0);
    QTest::mouseClick(okButton(&dialog), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.inPosition(), 1u);
    QCOMPARE(dialog.outPosition(), 0u);
  }

  void returnInAListPressesTheDefaultOkButton() {
    PortSelectDialog dialog({}, {}, {}, false, 0, 0);
    dialog.show();
    outList(&dialog)->setFocus();
    outList(&dialog)->setCurrentIndex(1);
    QTest::keyClick(outList(&dialog), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.outPosition(), 1u);
  }

  void withoutDevicesTheListsStayEmptyAndOkReadsZero() {
    installDevices({}, {});
    PortSelectDialog dialog({}, {}, {}, false, 0, 0);
    QCOMPARE(inList(&dialog)->count(), 0);
    QCOMPARE(outList(&dialog)->count(), 0);
    dialog.show();
    QTest::mouseClick(okButton(&dialog), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.inPosition(), 0u);
    QCOMPARE(dialog.outPosition(), 0u);
  }

  void cancelSpeaksTheLibrarysLanguage() {
    PortSelectDialog japanese({}, {}, {}, false, 0, 0);
    QCOMPARE(cancelButton(&japanese)->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    PortSelectDialog english({}, {}, {}, true, 0, 0);
    QCOMPARE(cancelButton(&english)->text(), QStringLiteral("Cancel"));
    // The rest is never translated.
    QCOMPARE(okButton(&english)->text(), QStringLiteral("OK"));
    QCOMPARE(english.windowTitle(), QStringLiteral("MIDIポート設定"));
    QCOMPARE(inLabel(&english)->text(), QStringLiteral("MIDI IN Port"));
  }

  void emptyTextsKeepTheResourceTexts() {
    PortSelectDialog dialog({}, {}, {}, false, 0, 0);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("MIDIポート設定"));
    QCOMPARE(inLabel(&dialog)->text(), QStringLiteral("MIDI IN Port"));
    QCOMPARE(outLabel(&dialog)->text(), QStringLiteral("MIDI OUT Port"));
  }

  void nonEmptyTextsReplaceEachItsOwnText() {
    PortSelectDialog titled(QStringLiteral("MIDI Port Setup"), {}, {}, true, 0, 0);
    QCOMPARE(titled.windowTitle(), QStringLiteral("MIDI Port Setup"));
    QCOMPARE(inLabel(&titled)->text(), QStringLiteral("MIDI IN Port"));
    QCOMPARE(outLabel(&titled)->text(), QStringLiteral("MIDI OUT Port"));

    PortSelectDialog labelled({}, QStringLiteral("Receive from"), QStringLiteral("<b>Send to</b>"), false, 0, 0);
    QCOMPARE(labelled.windowTitle(), QStringLiteral("MIDIポート設定"));
    QCOMPARE(inLabel(&labelled)->text(), QStringLiteral("Receive from"));
    QCOMPARE(outLabel(&labelled)->text(), QStringLiteral("<b>Send to</b>"));
    // A caller's text is shown as written, not as markup.
    QCOMPARE(outLabel(&labelled)->textFormat(), Qt::PlainText);
  }

  void controlsSitWhereTheResourcePutsThemInDialogUnits() {
    PortSelectDialog dialog({}, {}, {}, false, 0, 0);
    const QRect ok = okButton(&dialog)->geometry();
    const QRect cancel = cancelButton(&dialog)->geometry();
    const QRect in = inList(&dialog)->geometry();
    const QRect out = outList(&dialog)->geometry();
    const QRect inText = inLabel(&dialog)->geometry();
    const QRect outText = outLabel(&dialog)->geometry();

    QVERIFY(ok.width() > 0 && ok.height() > 0);
    QVERIFY(inRatio(cancel.x(), ok.x(), 115, 47));
    QVERIFY(inRatio(in.width(), ok.width(), 145, 50));
    QVERIFY(inRatio(inText.width(), ok.width(), 155, 50));
    QVERIFY(inRatio(inText.x(), ok.x(), 37, 47));
    QVERIFY(inRatio(dialog.width(), ok.width(), 211, 50));
    QCOMPARE(in.x(), ok.x());
    QCOMPARE(out.x(), ok.x());
    QVERIFY(inRatio(outText.y(), inText.y(), 49, 14));
    QVERIFY(inRatio(ok.y(), inText.y(), 92, 14));
    QVERIFY(inRatio(in.y(), inText.y(), 25, 14));
    QVERIFY(inRatio(out.y(), inText.y(), 60, 14));
    QVERIFY(inRatio(dialog.height(), ok.height(), 115, 14));
    QCOMPARE(cancel.size(), ok.size());
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());  // no resizing

    // A closed list is one line high: the input list leaves the output label free,
    // and the output list ends above the buttons.
    QVERIFY(in.bottom() < outText.top());
    QVERIFY(out.bottom() < ok.top());
    // The opened lists show more than one entry.
    QVERIFY(inList(&dialog)->maxVisibleItems() > 1);

    // A horizontal dialog unit is a quarter of the dialog font's average character
    // width, a vertical one an eighth of its height.
    const QFontMetricsF metrics(dialog.font());
    const double averageWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
    // Windows rounds the average width to whole pixels, and the height is whole too.
    QVERIFY(std::abs(dialog.width() - 211 * averageWidth / 4) <= 211 * 0.5 / 4 + 1);
    QVERIFY(std::abs(ok.width() - 50 * averageWidth / 4) <= 50 * 0.5 / 4 + 1);
    QVERIFY(std::abs(dialog.height() - 115 * metrics.height() / 8) <= 115 * 0.5 / 8 + 1);

    // The icon keeps its own 32 x 32 pixels at 7, 7 dialog units.
    auto* icon = dialog.findChild<QLabel*>(QStringLiteral("icon"));
    QVERIFY(icon);
    QCOMPARE(icon->size(), QSize(32, 32));
    QVERIFY(!icon->pixmap().isNull());
    QVERIFY(inRatio(icon->x(), ok.x(), 7, 47));
    QVERIFY(inRatio(icon->y(), inText.y(), 7, 14));
  }

  void runShowsTheDialogOverTheActiveWindowAndReturnsThePositions() {
    QWidget owner;
    owner.show();
    owner.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&owner));

    QWidget* parent = nullptr;
    QString title;
    whenDialogOpens([&](PortSelectDialog* dialog) {
      parent = dialog->parentWidget();
      title = dialog->windowTitle();
      inList(dialog)->setCurrentIndex(0);
      QTest::mouseClick(okButton(dialog), Qt::LeftButton);
    });
    unsigned in = 2;
    unsigned out = 1;
    QVERIFY(tonelink::runPortSelectDialog("MIDIﾎﾟｰﾄの設定", nullptr, "", false, in, out));
    QCOMPARE(parent, &owner);
    QCOMPARE(title, QStringLiteral("MIDIﾎﾟｰﾄの設定"));
    QCOMPARE(in, 0u);
    QCOMPARE(out, 1u);
    // The dialog is gone once the call returns.
    QVERIFY(owner.findChildren<PortSelectDialog*>().isEmpty());
  }

  void runWithNullTextsKeepsTheResourceTexts() {
    QString title;
    QString inText;
    QString outText;
    whenDialogOpens([&](PortSelectDialog* dialog) {
      title = dialog->windowTitle();
      inText = inLabel(dialog)->text();
      outText = outLabel(dialog)->text();
      QTest::mouseClick(okButton(dialog), Qt::LeftButton);
    });
    unsigned in = 0;
    unsigned out = 0;
    QVERIFY(tonelink::runPortSelectDialog(nullptr, nullptr, nullptr, true, in, out));
    QCOMPARE(title, QStringLiteral("MIDIポート設定"));
    QCOMPARE(inText, QStringLiteral("MIDI IN Port"));
    QCOMPARE(outText, QStringLiteral("MIDI OUT Port"));
  }

  void cancelEscapeAndTheCloseBoxChangeNothing_data() {
    QTest::addColumn<int>("way");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
    QTest::newRow("Enter with the focus on Cancel") << 3;
  }

  void cancelEscapeAndTheCloseBoxChangeNothing() {
    QFETCH(int, way);
    whenDialogOpens([way](PortSelectDialog* dialog) {
      inList(dialog)->setCurrentIndex(0);
      outList(dialog)->setCurrentIndex(0);
      if (way == 0) QTest::mouseClick(cancelButton(dialog), Qt::LeftButton);
      if (way == 1) QTest::keyClick(dialog, Qt::Key_Escape);
      if (way == 2) dialog->close();
      if (way == 3) {
        cancelButton(dialog)->setFocus();
        QTest::keyClick(cancelButton(dialog), Qt::Key_Return);
      }
    });
    unsigned in = 2;
    unsigned out = 1;
    QVERIFY(!tonelink::runPortSelectDialog("Ports", nullptr, nullptr, false, in, out));
    QCOMPARE(in, 2u);
    QCOMPARE(out, 1u);
  }

  void runFromAnotherThreadShowsNothing() {
    unsigned in = 2;
    unsigned out = 1;
    bool accepted = true;
    std::thread worker([&] { accepted = tonelink::runPortSelectDialog("Ports", nullptr, nullptr, false, in, out); });
    worker.join();
    QVERIFY(!accepted);
    QCOMPARE(in, 2u);
    QCOMPARE(out, 1u);
  }
};

QTEST_MAIN(PortSelectDialogTest)
#include "PortSelectDialogTest.moc"
