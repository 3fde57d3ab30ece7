#include "tests/app/shell_app/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>

#include <dlfcn.h>

#include <stdexcept>

#include "app/dialogs/BitmapLibrary.h"

namespace quaverly::test {

namespace {

QSize testBitmapSize(int id) {
  switch (id) {
    case 130:
      return {336, 339};
    case 131:
      return {292, 158};
    case 132:
    case 136:
    case 137:
    case 138:
    case 184:
    case 185:
      return {92, 27};
    case 134:
    case 135:
    case 183:
      return {92, 23};
    default:
      return {16, 16};
  }
}

QImage testBitmap(int id, int scale) {
  if (scale != 1) return {};
  QImage image(testBitmapSize(id), QImage::Format_Indexed8);
  QList<QRgb> colours;
  for (int i = 0; i < 256; ++i) colours << qRgb(i, 255 - i, (i * 7) % 256);
  image.setColorTable(colours);
  image.fill(static_cast<uint>(id % 256));
  return image;
}

QSettings userSettings() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("VELMAR"), QStringLiteral("Tessitor"));
}

}  // namespace

void useTestBitmaps() { bitmapLibrary().setSource(testBitmap); }

ProgramFolder::ProgramFolder() {
  if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
}

ProgramFolder::~ProgramFolder() {
  if (handle_) dlclose(handle_);
}

void ProgramFolder::installLibrary(const QString& source) {
  const QString target = QDir(dir_.path()).filePath(QStringLiteral("libTonelink.so"));
  if (!QFile::copy(source, target)) throw std::runtime_error("cannot copy the port library");
  handle_ = dlopen(QFile::encodeName(target).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) throw std::runtime_error(dlerror());
  if (auto state = reinterpret_cast<FakeTonelinkStateFn>(dlsym(handle_, "fakeTonelinkState"))) fake_ = state();
}

void ProgramFolder::writeIni(const QByteArray& text) {
  QFile file(QDir(dir_.path()).filePath(QStringLiteral("Quaverly.ini")));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
    throw std::runtime_error("cannot write the INI file");
  }
}

StartupOptions ProgramFolder::options(Language language) const {
  StartupOptions options;
  options.programDirectory = QDir(dir_.path()).filesystemAbsolutePath();
  options.forcedLanguage = language;
  return options;
}

MessageRecorder::MessageRecorder(std::function<void()> onMessage)
    : messages_(std::make_shared<std::vector<ShownMessage>>()),
      presenter_([messages = messages_, onMessage](MessageStyle style, std::string_view text) {
        messages->push_back({style, std::string(text)});
        if (onMessage) onMessage();
        return MessageResult::Ok;
      }) {}

void clearUserSettings() {
  QSettings settings = userSettings();
  settings.clear();
  settings.sync();
}

QVariant storedValue(const QString& section, const QString& key) {
  return userSettings().value(QStringLiteral("Quaverly/") + section + u'/' + key);
}

void storeValue(const QString& section, const QString& key, const QVariant& value) {
  QSettings settings = userSettings();
  settings.setValue(QStringLiteral("Quaverly/") + section + u'/' + key, value);
  settings.sync();
}

QStringList storedKeys() {
  QStringList keys = userSettings().allKeys();
  keys.sort();
  return keys;
}

}  // namespace quaverly::test
