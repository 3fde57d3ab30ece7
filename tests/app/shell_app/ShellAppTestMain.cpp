// Runs the application tests with a user settings store and a runtime folder of
// their own, so that neither the user's settings nor a running Quaverly are touched.
#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>

#include "tests/app/shell_app/TestSupport.h"

int main(int argc, char** argv) {
  const QTemporaryDir config;
  const QTemporaryDir runtime;
  if (!config.isValid() || !runtime.isValid()) return 2;
  // Before anything reads them: QSettings keeps the folder it found first.
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

  QApplication application(argc, argv);
  quaverly::test::useTestBitmaps();
  int failures = quaverly::test::runStartupTests(argc, argv);
  failures += quaverly::test::runMainWindowTests(argc, argv);
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
