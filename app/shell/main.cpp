// Quaverly, the program: moves song files between the computer and a MIDI
// instrument's file memory.
//
// "--language ja|en" (or QUAVERLY_LANGUAGE=ja|en) starts it in that language
// instead of the system's.
#include <QApplication>
#include <QDir>

#include "app/shell/CTessitorApp.h"
#include "app/shell/GuiMessagePresenter.h"
#include "app/shell/LanguageChoice.h"

namespace {

// The exit status of a start that was refused (second start, missing library).
constexpr int kRefusedStart = 1;

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  quaverly::setMessagePresenter(quaverly::guiMessagePresenter());

  quaverly::StartupOptions options;
  options.programDirectory = QDir(QApplication::applicationDirPath()).filesystemAbsolutePath();
  options.forcedLanguage = quaverly::forcedLanguage(QApplication::arguments());

  quaverly::CTessitorApp app(std::move(options));
  const int status = app.initInstance() ? QApplication::exec() : kRefusedStart;
  app.exitInstance();
  return status;
}
