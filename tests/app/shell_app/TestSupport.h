// What the application tests share: pictures of the right sizes, a program folder
// with a port library and an INI file, a message presenter that records, and the
// user settings store of the test run.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <string>
#include <vector>

#include "app/messages/MessageCatalogue.h"
#include "app/shell/CTessitorApp.h"
#include "tests/app/shell_app/FakeTonelink.h"

namespace quaverly::test {

// Makes the bitmap library draw plain 8-bit pictures of the sizes the program's
// bitmaps have, so that the tests do not depend on the artwork.
void useTestBitmaps();

// A folder that plays the program's folder: the port library is copied in as
// libTonelink.so (each folder gets a library of its own), an INI file may be written.
class ProgramFolder {
 public:
  ProgramFolder();
  ~ProgramFolder();
  ProgramFolder(const ProgramFolder&) = delete;
  ProgramFolder& operator=(const ProgramFolder&) = delete;

  QString path() const { return dir_.path(); }
  // Copies the library at `source` in; the fake's state is reachable afterwards.
  void installLibrary(const QString& source);
  void writeIni(const QByteArray& text);
  // The fake library's record; null when no fake was installed. The test holds the
  // library loaded, so the record outlives the program's unloading.
  FakeTonelinkState* fake() const { return fake_; }

  StartupOptions options(Language language) const;

 private:
  QTemporaryDir dir_;
  void* handle_ = nullptr;
  FakeTonelinkState* fake_ = nullptr;
};

struct ShownMessage {
  MessageStyle style;
  std::string text;
};

// Records every message while it exists and answers OK; `onMessage` runs inside the
// presenter, while the message would be on the screen.
class MessageRecorder {
 public:
  explicit MessageRecorder(std::function<void()> onMessage = {});
  const std::vector<ShownMessage>& messages() const { return *messages_; }

 private:
  std::shared_ptr<std::vector<ShownMessage>> messages_;
  ScopedMessagePresenter presenter_;
};

// The user settings store of the test run (under a temporary XDG_CONFIG_HOME).
void clearUserSettings();
QVariant storedValue(const QString& section, const QString& key);
void storeValue(const QString& section, const QString& key, const QVariant& value);
QStringList storedKeys();

// The test classes, run one after the other by the test's main.
int runStartupTests(int argc, char** argv);
int runMainWindowTests(int argc, char** argv);

}  // namespace quaverly::test
