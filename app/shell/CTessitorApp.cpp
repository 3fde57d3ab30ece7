#include "app/shell/CTessitorApp.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/dialogs/AboutBox.h"
#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/CFileIconList.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/UiText.h"
#include "app/messages/UiStrings.h"
#include "app/protocol/Link.h"
#include "app/settings/IniFile.h"
#include "app/settings/QtUserSettingsStore.h"
#include "app/shell/CMainFrame.h"
#include "app/shell/LanguageChoice.h"
#include "app/shell/SingleInstanceLock.h"
#include "app/shell/SplashWindow.h"

namespace quaverly {

namespace {

constexpr unsigned kItemAlreadyRunning = 52;
constexpr unsigned kItemPortSetupCaption = 48;
constexpr const char* kManualFileName = "QuaverlyManual.pdf";
// Where an installed tree keeps the manual, relative to the program's folder.
constexpr const char* kInstalledDocumentFolder = "../share/doc/quaverly";

}  // namespace

CTessitorApp::CTessitorApp(StartupOptions options) : options_(std::move(options)) {}

CTessitorApp::~CTessitorApp() {
  // Normally exitInstance has done all of this already.
  mainFrame_.reset();
  if (paletteCreated_) bitmapLibrary().deletePalette();
  unbindLink();
}

bool CTessitorApp::initInstance() {
  // The transfer values of the INI file; a missing file gives the defaults.
  IniFile ini;
  if (const auto iniPath = locateIniFile(options_.programDirectory)) {
    if (auto loaded = IniFile::load(*iniPath)) ini = std::move(*loaded);
  }
  settings_ = readTransferSettings(ini);

  // Every further setting is kept in the user's store.
  store_ = std::make_unique<QtUserSettingsStore>();

  setLanguage(options_.forcedLanguage ? *options_.forcedLanguage
                                      : languageFromLocaleId(systemLanguageId(options_.systemLocale)));
  title_ = uiText(kTitleText);

  // One running program per user: the second start tells the user, brings the first
  // one's window up, and ends before anything is loaded or changed.
  instanceLock_ = std::make_unique<SingleInstanceLock>(title_);
  if (!instanceLock_->acquire()) {
    showResourceString(1000 + kItemAlreadyRunning + stringBase());
    instanceLock_->activateRunning();
    return false;
  }
  connect(instanceLock_.get(), &SingleInstanceLock::activationRequested, this, &CTessitorApp::bringMainFrameToTop);

  if (!binding_.load(options_.programDirectory)) {
    showMessage(MessageId::LibraryMissing, uiString(kTitleText));
    return false;
  }
  protocol::Link::instance().bind(&binding_.input, &binding_.output);

  // The devices chosen last; the ports open only when a command checks the
  // connection, so a stored id the library does not take shows up there.
  const StoredDeviceIds ids = readDeviceIds(*store_);
  binding_.input.setDeviceId(binding_.input.direction, ids.inputId);
  binding_.output.setDeviceId(binding_.output.direction, ids.outputId);

  readUserSettings(*store_, settings_);
  fileIconList().loadStandardIcons();

  if (!bitmapLibrary().createPalette()) return false;
  paletteCreated_ = true;

  SplashWindow splash(title_);
  splash.exec();

  createDialogFont();

  mainFrame_ = std::make_unique<CMainFrame>(*this);
  mainFrame_->show();
  startupComplete_ = true;
  return true;
}

void CTessitorApp::exitInstance() {
  mainFrame_.reset();
  // After a refused start nothing is written.
  if (startupComplete_) writeUserSettings(*store_, settings_);
  bitmapLibrary().releaseCache();
  unbindLink();
  binding_.unload();
  // The window is gone: the next start may run.
  instanceLock_.reset();
}

void CTessitorApp::setupMidiPorts() {
  const std::string caption(uiString(kItemPortSetupCaption));
  if (binding_.selectDevice(caption.c_str(), nullptr, nullptr) != 0) {
    writeDeviceIds(*store_, {binding_.input.getDeviceId(binding_.input.direction),
                             binding_.output.getDeviceId(binding_.output.direction)});
  }
}

QString CTessitorApp::manualPath() const {
  const QDir programFolder(options_.programDirectory);
  const QString beside = programFolder.filePath(QString::fromLatin1(kManualFileName));
  const QString installed =
      programFolder.filePath(QString::fromLatin1(kInstalledDocumentFolder) + u'/' + QString::fromLatin1(kManualFileName));
  return !QFileInfo::exists(beside) && QFileInfo::exists(installed) ? QDir::cleanPath(installed) : beside;
}

void CTessitorApp::openManual() const {
  // A missing file or viewer is the desktop's to report.
  QDesktopServices::openUrl(QUrl::fromLocalFile(manualPath()));
}

void CTessitorApp::showAbout(QWidget* parent) const { runAboutBox(parent); }

bool CTessitorApp::isJapanese() const { return quaverly::isJapanese(); }
bool CTessitorApp::isEnglish() const { return quaverly::isEnglish(); }
unsigned CTessitorApp::stringBase() const { return quaverly::stringBase(); }

void CTessitorApp::unbindLink() {
  protocol::Link& link = protocol::Link::instance();
  if (link.input() == &binding_.input) link.bind(nullptr, nullptr);
}

void CTessitorApp::bringMainFrameToTop() {
  if (mainFrame_) mainFrame_->bringToTop();
}

}  // namespace quaverly
