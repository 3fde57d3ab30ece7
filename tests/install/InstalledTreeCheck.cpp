// The program's start-up on an installed tree: the application object is started
// from the installed program folder (INSTALLED_BIN) and must find the installed port
// library, settings file and manual there; its main window must stand.
#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include "app/shell/CMainFrame.h"
#include "app/shell/CTessitorApp.h"

namespace quaverly::test {

class InstalledTreeCheck : public QObject {
  Q_OBJECT

 private slots:
  void startsFromTheInstalledFolder() {
    const QString bin = qEnvironmentVariable("INSTALLED_BIN");
    QVERIFY2(QFileInfo(bin).isDir(), "INSTALLED_BIN names no folder");
    StartupOptions options;
    options.programDirectory = QDir(bin).filesystemAbsolutePath();
    options.forcedLanguage = Language::English;
    CTessitorApp app(options);
    QVERIFY(app.initInstance());
    QVERIFY(app.mainFrame() && app.mainFrame()->isVisible());
    QVERIFY(app.portLibrary().isComplete());
    QCOMPARE(app.manualPath(), QDir::cleanPath(bin + QStringLiteral("/../share/doc/quaverly/QuaverlyManual.pdf")));
    QVERIFY(QFileInfo::exists(app.manualPath()));
    QCOMPARE(app.settings().fileTypes.size(), 4u);
    app.exitInstance();
  }
};

}  // namespace quaverly::test

QTEST_MAIN(quaverly::test::InstalledTreeCheck)
#include "InstalledTreeCheck.moc"
