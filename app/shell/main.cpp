// Quaverly, the program: moves song files between the computer and a MIDI
// instrument's file memory.
//
// "--language ja|en" (or QUAVERLY_LANGUAGE=ja|en) starts it in that language
// instead of the system's. "--help" and "--version" answer on standard output
// without a display.
#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstring>

#include "app/dialogs/ProgramIcons.h"
#include "app/shell/CTessitorApp.h"
#include "app/shell/GuiMessagePresenter.h"
#include "app/shell/LanguageChoice.h"

namespace {

// The exit status of a start that was refused (second start, missing library).
constexpr int kRefusedStart = 1;

// The program's icon, and its desktop entry (org.quaverly.Quaverly.desktop), by
// which the desktop shows its windows under the icon of the entry.
constexpr int kProgramIcon = 128;
constexpr const char* kDesktopEntry = "org.quaverly.Quaverly";

constexpr const char* kUsage =
    "usage: quaverly [--language ja|en]\n"
    "\n"
    "Moves song files between the computer and a MIDI instrument's file memory:\n"
    "receives songs from the instrument, transmits files into it (converting\n"
    "Standard MIDI Files from format 1 to format 0 when asked), and renames and\n"
    "deletes songs on it.\n"
    "\n"
    "Options:\n"
    "  --language ja|en   the interface language instead of the system's\n"
    "  -h, --help         show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Environment:\n"
    "  QUAVERLY_LANGUAGE          ja or en, as --language\n"
    "  QUAVERLY_INSTRUMENT_DIR    the built-in virtual instrument's memory: a\n"
    "                             folder, or :memory: for one that is forgotten\n";

// True when `argv` holds the option `name` (before any "--").
bool hasOption(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    if (std::strcmp(argv[i], name) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the application object exists, which needs a display.
  if (hasOption(argc, argv, "--help") || hasOption(argc, argv, "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (hasOption(argc, argv, "--version")) {
    std::printf("quaverly %s\n", QUAVERLY_VERSION);
    return 0;
  }
  QApplication application(argc, argv);
  QApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntry));
  QApplication::setWindowIcon(quaverly::programIcon(kProgramIcon));
  quaverly::setMessagePresenter(quaverly::guiMessagePresenter());

  quaverly::StartupOptions options;
  options.programDirectory = QDir(QApplication::applicationDirPath()).filesystemAbsolutePath();
  options.forcedLanguage = quaverly::forcedLanguage(QApplication::arguments());

  quaverly::CTessitorApp app(std::move(options));
  const int status = app.initInstance() ? QApplication::exec() : kRefusedStart;
  app.exitInstance();
  return status;
}
