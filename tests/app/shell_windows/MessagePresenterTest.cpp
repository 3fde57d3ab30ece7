// The GUI message presenter: the box of each style with its buttons, icon and
// caption, its answers, and calls from a worker thread while the user-interface
// thread runs its event loop or a polling loop.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "app/dialogs/FourChoiceDialog.h"
#include "app/dialogs/MessagePump.h"
#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "app/shell/CProgressDlg.h"
#include "app/shell/GuiMessagePresenter.h"
#include "tests/app/dialogs/GuiTestSupport.h"

using quaverly::Language;
using quaverly::MessageId;
using quaverly::MessageResult;
using quaverly::MessageStyle;

namespace {

QStringList buttonNames(QWidget* box) {
  QStringList names;
  for (QPushButton* button : box->findChildren<QPushButton*>()) names << button->objectName();
  names.sort();
  return names;
}

// Pumps the user-interface thread's events until `result` is ready; a watchdog
// turns a hang into a failure.
template <typename T>
bool pumpUntilReady(std::future<T>& result) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (result.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
    quaverly::pumpMessages();
    if (std::chrono::steady_clock::now() > deadline) return false;
  }
  return true;
}

}  // namespace

class MessagePresenterTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { quaverly::setLanguage(Language::English); }
  void cleanup() { quaverly::setLanguage(Language::English); }

  // Message ids put through showMessage reach the box of their style.
  void styleOfEachId_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<MessageResult>("result");
    QTest::newRow("notice 35") << 35 << "okButton" << QStringList{"okButton"} << MessageResult::Ok;
    QTest::newRow("question 31 OK") << 31 << "okButton" << QStringList{"cancelButton", "okButton"} << MessageResult::Ok;
    QTest::newRow("question 34 Cancel") << 34 << "cancelButton" << QStringList{"cancelButton", "okButton"}
                                        << MessageResult::Cancel;
    const QStringList four{"cancelButton", "noButton", "yesButton", "yesToAllButton"};
    QTest::newRow("overwrite 33") << 33 << "yesToAllButton" << four << MessageResult::YesToAll;
    QTest::newRow("convert 28") << 28 << "noButton" << four << MessageResult::No;
  }

  void styleOfEachId() {
    QFETCH(int, id);
    QFETCH(QString, answer);
    QFETCH(QStringList, buttons);
    QFETCH(MessageResult, result);
    quaverly::ScopedMessagePresenter presenter(quaverly::guiMessagePresenter());
    const QByteArray answerName = answer.toLatin1();
    quaverly::test::whenModal([&](QWidget* box) {
      QCOMPARE(buttonNames(box), buttons);
      QCOMPARE(box->windowTitle(), QStringLiteral("Quaverly"));
      if (auto* messageBox = qobject_cast<QMessageBox*>(box)) {
        QCOMPARE(messageBox->icon(), QMessageBox::Warning);
        QVERIFY(messageBox->text().contains(QStringLiteral("SONG1.MID")));
      } else {
        QVERIFY(qobject_cast<quaverly::FourChoiceDialog*>(box));
      }
      quaverly::test::clickButton(box, answerName.constData());
    });
    QCOMPARE(quaverly::showMessage(MessageId{static_cast<std::uint16_t>(id)}, "SONG1.MID"), result);
  }

  void escapeAnswersOkOrCancel() {
    quaverly::test::whenModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(quaverly::presentMessage(MessageStyle::Notice, QStringLiteral("n")), MessageResult::Ok);
    quaverly::test::whenModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(quaverly::presentMessage(MessageStyle::Question, QStringLiteral("q")), MessageResult::Cancel);
  }

  // Names are shown as they are, never as markup.
  void textIsPlain() {
    quaverly::test::whenModal([](QWidget* box) {
      auto* messageBox = qobject_cast<QMessageBox*>(box);
      QCOMPARE(messageBox->textFormat(), Qt::PlainText);
      quaverly::test::clickButton(box, "okButton");
    });
    quaverly::presentMessage(MessageStyle::Notice, QStringLiteral("<b>A&B</b>"));
  }

  void japaneseCancel() {
    quaverly::setLanguage(Language::Japanese);
    quaverly::test::whenModal([](QWidget* box) {
      QCOMPARE(box->findChild<QPushButton*>(QStringLiteral("cancelButton"))->text(), QStringLiteral("ｷｬﾝｾﾙ"));
      QCOMPARE(box->windowTitle(), QStringLiteral("ｸｪｲﾊﾞﾘｰ"));
      quaverly::test::saveShot(box, QStringLiteral("messagebox-japanese"));
      quaverly::test::clickButton(box, "cancelButton");
    });
    QCOMPARE(quaverly::presentMessage(MessageStyle::Question,
                                      QString::fromUtf8(quaverly::messageText(MessageId{31}).data())),
             MessageResult::Cancel);
  }

  // A box over a window that a progress window has disabled can still be answered.
  void boxOverADisabledOwnerIsUsable() {
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    quaverly::CProgressDlg progress(quaverly::TransferKind::Receive, &owner);
    quaverly::test::whenModal([](QWidget* box) {
      QVERIFY(box->isEnabled());
      quaverly::test::clickButton(box, "yesButton");
    });
    QCOMPARE(quaverly::presentMessage(MessageStyle::OverwriteQuestion, QStringLiteral("q"), &owner),
             MessageResult::Yes);
    quaverly::test::whenModal([](QWidget* box) {
      QVERIFY(box->isEnabled());
      quaverly::test::clickButton(box, "okButton");
    });
    QCOMPARE(quaverly::presentMessage(MessageStyle::Notice, QStringLiteral("n"), &owner), MessageResult::Ok);
  }

  // A worker asks while the user-interface thread polls (as a job does): the box
  // comes up on the user-interface thread and the worker gets the user's answer.
  void workerAsksWhileTheUiThreadPolls() {
    quaverly::ScopedMessagePresenter presenter(quaverly::guiMessagePresenter());
    std::atomic<bool> shownOnUiThread{false};
    quaverly::test::whenModal([&](QWidget* box) {
      shownOnUiThread = box->thread() == QThread::currentThread() && QThread::currentThread() == qApp->thread();
      quaverly::test::clickButton(box, "yesToAllButton");
    });
    std::future<MessageResult> answer =
        std::async(std::launch::async, [] { return quaverly::showMessage(MessageId{33}, "SONG1.MID"); });
    QVERIFY(pumpUntilReady(answer));
    QCOMPARE(answer.get(), MessageResult::YesToAll);
    QVERIFY(shownOnUiThread);
  }

  void workerAsksWhileTheUiThreadRunsItsEventLoop() {
    quaverly::ScopedMessagePresenter presenter(quaverly::guiMessagePresenter());
    quaverly::test::whenModal([](QWidget* box) { quaverly::test::clickButton(box, "cancelButton"); });
    QEventLoop loop;
    std::atomic<MessageResult> result{MessageResult::Ok};
    std::thread worker([&] {
      result = quaverly::showMessage(MessageId{31}, "SONG1.MID");
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QTimer::singleShot(30000, &loop, [&loop] { loop.exit(1); });  // watchdog
    QCOMPARE(loop.exec(), 0);
    worker.join();
    QCOMPARE(result.load(), MessageResult::Cancel);
  }
};

QTEST_MAIN(MessagePresenterTest)
#include "MessagePresenterTest.moc"
