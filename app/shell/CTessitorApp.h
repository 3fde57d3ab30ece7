// The application object: everything from the start of the program until its main
// window stands, and again when it ends. It reads the transfer settings from the
// INI file and the user settings from the per-user store, chooses the interface
// language for the whole run, refuses a second start, binds the Tonelink port
// library, shows the splash picture, prepares the dialog font and creates the main
// window. At exit it saves the user settings and releases the library.
#pragma once

#include <QLocale>
#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>

#include "app/messages/MessageCatalogue.h"
#include "app/protocol/PortLibraryBinding.h"
#include "app/settings/AppSettings.h"

class QWidget;

namespace quaverly {

class CMainFrame;
class SingleInstanceLock;
class UserSettingsStore;

struct StartupOptions {
  // The program's folder: the INI file, the port library and the manual lie here.
  std::filesystem::path programDirectory;
  // The system's language decides the interface language unless one is forced.
  QLocale systemLocale = QLocale::system();
  std::optional<Language> forcedLanguage;
};

class CTessitorApp : public QObject {
  Q_OBJECT

 public:
  explicit CTessitorApp(StartupOptions options);
  ~CTessitorApp() override;
  CTessitorApp(const CTessitorApp&) = delete;
  CTessitorApp& operator=(const CTessitorApp&) = delete;

  // True when the main window stands and the program runs; false when it must end at
  // once (the user has been told why, except when the palette could not be made).
  // exitInstance runs in both cases.
  bool initInstance();
  // Saves the user settings if the start was complete, releases the cached bitmaps,
  // closes both ports and unloads the port library.
  void exitInstance();

  // MIDI Port Setup: the library's port selection dialog, then the device ids it
  // leaves are stored (after Cancel too: they are then the unchanged ones). Only
  // after a complete start.
  void setupMidiPorts();
  // Manual: asks the desktop to open the manual (manualPath).
  void openManual() const;
  // "QuaverlyManual.pdf" beside the program; in an installed tree, where the
  // manual is installed (share/doc/quaverly) when there is none beside it.
  QString manualPath() const;
  // About: the About box, modal to `parent`.
  void showAbout(QWidget* parent) const;

  bool isJapanese() const;
  bool isEnglish() const;
  unsigned stringBase() const;
  // The application title, the caption of the main window and of every message.
  const QString& title() const { return title_; }
  AppSettings& settings() { return settings_; }
  protocol::PortLibraryBinding& portLibrary() { return binding_; }
  CMainFrame* mainFrame() const { return mainFrame_.get(); }
  bool startupComplete() const { return startupComplete_; }

 private:
  void bringMainFrameToTop();
  // The link stops using this object's binding (before the library goes).
  void unbindLink();

  StartupOptions options_;
  AppSettings settings_;
  std::unique_ptr<UserSettingsStore> store_;
  QString title_;
  std::unique_ptr<SingleInstanceLock> instanceLock_;
  protocol::PortLibraryBinding binding_;
  bool paletteCreated_ = false;
  std::unique_ptr<CMainFrame> mainFrame_;
  bool startupComplete_ = false;
};

}  // namespace quaverly
