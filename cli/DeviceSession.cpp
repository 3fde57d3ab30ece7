#include "cli/DeviceSession.h"

#include <cstdio>

#include "app/platform/Utf8Path.h"
#include "app/protocol/Connection.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

using protocol::LinkResult;

constexpr int kInputKind = 1;
constexpr int kOutputKind = 0;

// The wait window of the connection check, on the terminal: its text once.
class TerminalConnectionUi final : public protocol::ConnectionUi {
 public:
  explicit TerminalConnectionUi(std::ostream& stream) : stream_(stream) {}
  void showWait(std::string_view text) override {
    if (shown_) return;
    shown_ = true;
    stream_ << printable(text) << '\n';
    stream_.flush();
  }
  void pump() override {}
  void closeWait() override {}

 private:
  std::ostream& stream_;
  bool shown_ = false;
};

}  // namespace

DeviceSession::DeviceSession(const GlobalOptions& options, std::ostream& err)
    : options_(options), shared_(options.sharedSession), err_(err), started_(std::chrono::steady_clock::now()) {}

DeviceSession::~DeviceSession() {
  if (shared_) return;
  disconnect();
  link().setObserver(nullptr, nullptr);
  link().bind(nullptr, nullptr);
  binding_.unload();
}

int DeviceSession::open() {
  if (shared_) return shared_->open();
  if (!opened_) opened_ = openOnce();
  return *opened_;
}

int DeviceSession::openOnce() {
  if (!binding_.load(options_.programDirectory)) {
    printFailure(
        err_, std::string("cannot load the port library ") + protocol::portLibraryFileName() + ": " + binding_.error());
    return kExitConnection;
  }
  link().bind(&binding_.input, &binding_.output);
  if (options_.verbose) link().setObserver(&DeviceSession::trace, this);

  // The program's settings: the INI file of Quaverly, and the user's store.
  const auto iniPath = locateIniFile(options_.programDirectory);
  IniFile ini;
  if (iniPath) {
    if (auto loaded = IniFile::load(*iniPath)) ini = std::move(*loaded);
  }
  settings_ = readTransferSettings(ini);
  const std::unique_ptr<UserSettingsStore> store = openUserSettingsStore();
  readUserSettings(*store, settings_);
  const StoredDeviceIds ids = readDeviceIds(*store);
  // As at the program's start: the results are not examined; a stored id the
  // library does not take leaves its own choice.
  binding_.input.setDeviceId(kInputKind, ids.inputId);
  binding_.output.setDeviceId(kOutputKind, ids.outputId);
  if (options_.verbose) {
    err_ << "# settings: " << (iniPath ? platform::utf8Of(*iniPath) : std::string("no INI file, defaults"))
         << "; stored devices " << ids.inputId << " in, " << ids.outputId << " out (" << store->location() << ")\n";
  }

  if (options_.inputDevice) {
    if (const int status = selectDevice(binding_.input, *options_.inputDevice, "input")) return status;
  }
  if (options_.outputDevice) {
    if (const int status = selectDevice(binding_.output, *options_.outputDevice, "output")) return status;
  }
  if (options_.verbose) {
    err_ << "# devices: " << binding_.input.getDeviceId(kInputKind) << " in, "
         << binding_.output.getDeviceId(kOutputKind) << " out\n";
  }
  return kExitSuccess;
}

const DeviceNames& DeviceSession::deviceNames() {
  if (shared_) return shared_->deviceNames();
  if (!names_) names_ = readDeviceNames();
  return *names_;
}

int DeviceSession::selectDevice(const protocol::PortFunctionTable& table, const std::string& value,
                                std::string_view direction) {
  const std::string option = table.direction == kInputKind ? "--in" : "--out";
  DeviceChoice choice;
  if (isDeviceIndex(value)) {
    choice = chooseDevice(value, {}, direction);
  } else {
    const std::vector<std::string>& names =
        table.direction == kInputKind ? deviceNames().inputs : deviceNames().outputs;
    choice = chooseDevice(value, names, direction);
    // The names were read through this process's own backends; the library must
    // see the same list for an index found by name to mean the same device.
    if (choice.index && libraryDeviceCount(table, static_cast<std::uint32_t>(names.size())) != names.size()) {
      printFailure(err_, option + ": the MIDI devices changed while they were listed; try again");
      return kExitUsageOrFile;
    }
  }
  if (!choice.index) {
    printFailure(err_, option + ": " + choice.error);
    return kExitUsageOrFile;
  }
  table.setDeviceId(table.direction, *choice.index);
  if (table.getDeviceId(table.direction) != *choice.index) {
    printFailure(err_, option + ": there is no " + std::string(direction) + " device " + std::to_string(*choice.index) +
                           " (quaverly-cli ports lists them)");
    return kExitUsageOrFile;
  }
  return kExitSuccess;
}

int DeviceSession::connect() {
  if (shared_) return shared_->connect();
  if (connected_) return kExitSuccess;
  TerminalConnectionUi ui(err_);
  if (!protocol::linkConnect(link(), ui)) return kExitConnection;
  connected_ = true;
  if (options_.verbose) err_ << "# instrument on device number " << int{link().state().deviceNumber} << "\n";
  return kExitSuccess;
}

int DeviceSession::start() {
  if (const int status = open()) return status;
  return connect();
}

void DeviceSession::disconnect() {
  if (shared_ || !connected_) return;
  connected_ = false;
  protocol::linkDisconnect(link());
}

void DeviceSession::trace(bool outgoing, std::span<const std::uint8_t> bytes, void* context) {
  auto* session = static_cast<DeviceSession*>(context);
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - session->started_);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%4lld.%03lld] ", static_cast<long long>(elapsed.count() / 1000),
                static_cast<long long>(elapsed.count() % 1000));
  std::string line(stamp);
  line += outgoing ? "out" : "in ";
  constexpr std::string_view kHex = "0123456789ABCDEF";
  for (const std::uint8_t byte : bytes) {
    line += ' ';
    line += kHex[byte >> 4];
    line += kHex[byte & 0x0F];
  }
  session->err_ << line << '\n';
}

int exitStatusOf(LinkResult result) {
  switch (result) {
    case protocol::kLinkSuccess:
      return kExitSuccess;
    case protocol::kLinkRefused:
      return kExitRefused;
    case protocol::kLinkNotSent:
    case protocol::kLinkTimedOut:
      return kExitConnection;
  }
  return kExitConnection;
}

std::string failureText(LinkResult result) {
  switch (result) {
    case protocol::kLinkSuccess:
      return "done";
    case protocol::kLinkRefused:
      return "the instrument refused";
    case protocol::kLinkNotSent:
      return "the message could not be sent to the instrument";
    case protocol::kLinkTimedOut:
      return "the instrument did not answer in time";
  }
  return "the request failed";
}

int reportFailure(std::ostream& err, std::string_view what, LinkResult result) {
  printFailure(err, "cannot " + std::string(what) + ": " + failureText(result));
  return exitStatusOf(result);
}

}  // namespace quaverly::cli
