// What every device command of quaverly-cli does around its own work: bind the port
// library like the program, read the program's settings and stored device choice,
// apply --in/--out, trace the messages with -v, and run the connection check and the
// disconnect.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/jobs/InstrumentFileCommands.h"
#include "app/protocol/Link.h"
#include "app/protocol/PortLibraryBinding.h"
#include "app/settings/AppSettings.h"
#include "cli/Command.h"
#include "cli/DeviceNames.h"

namespace quaverly::cli {

// The library, the settings, the devices and the connection of one command. Inside
// `session` (options.sharedSession set) it stands for the session's own: opening and
// connecting happen once there, on first use, and are not undone per command.
class DeviceSession {
 public:
  DeviceSession(const GlobalOptions& options, std::ostream& err);
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // Loads the port library, reads the settings, hands the stored device ids to the
  // library and then applies --in and --out. kExitSuccess, or the exit status of the
  // failure after its line has been printed. Nothing is sent. Done once: a second
  // call gives the first one's status.
  int open();
  // The connection check, unless connected already. kExitSuccess, or kExitConnection
  // after the reason has been shown (messages 1, 3 or 4).
  int connect();
  // open() and then connect(): kExitSuccess, or the exit status of the first that
  // failed.
  int start();
  // Leaves the transfer mode and closes the ports; done by the destructor too.
  void disconnect();

  protocol::Link& link() { return protocol::Link::instance(); }
  const protocol::PortLibraryBinding& binding() const { return shared_ ? shared_->binding_ : binding_; }
  const AppSettings& settings() const { return shared_ ? shared_->settings_ : settings_; }
  // The device names read for --in/--out or for `ports`, read on first use.
  const DeviceNames& deviceNames();
  // True inside a session: the ports and the connection belong to the session.
  bool isShared() const { return shared_ != nullptr; }

 protected:
  // Where the session reports failures and traces.
  std::ostream& errorStream() const { return err_; }

 private:
  int openOnce();
  int selectDevice(const protocol::PortFunctionTable& table, const std::string& value, std::string_view direction);
  static void trace(bool outgoing, std::span<const std::uint8_t> bytes, void* context);

  const GlobalOptions& options_;
  DeviceSession* shared_;
  std::ostream& err_;
  std::optional<int> opened_;
  protocol::PortLibraryBinding binding_;
  AppSettings settings_;
  std::optional<DeviceNames> names_;
  bool connected_ = false;
  std::chrono::steady_clock::time_point started_;
};

// The exit status for a link result: 0 success, 1 refused, 3 not sent or no answer.
int exitStatusOf(protocol::LinkResult result);
// One line that says why a request failed with `result` (not success).
std::string failureText(protocol::LinkResult result);
// Prints "cannot WHAT: why" for a request that failed with `result` and gives the
// exit status for it.
int reportFailure(std::ostream& err, std::string_view what, protocol::LinkResult result);

// The instrument commands of the folder tree, sent over the link, keeping the result
// of the last one and noticing any that was not answered or not sent.
class CheckedFileCommands final : public InstrumentFileCommands {
 public:
  explicit CheckedFileCommands(protocol::Link& link) : commands_(link) {}

  protocol::LinkResult findFirst(std::uint8_t attributeMask, std::string_view pattern,
                                 protocol::DirectoryEntry& entry) override {
    return note(commands_.findFirst(attributeMask, pattern, entry));
  }
  protocol::LinkResult findNext(protocol::DirectoryEntry& entry) override { return note(commands_.findNext(entry)); }
  protocol::LinkResult rename(std::string_view oldPath, std::string_view newPath) override {
    return note(commands_.rename(oldPath, newPath));
  }
  protocol::LinkResult deleteFile(std::string_view path) override { return note(commands_.deleteFile(path)); }

  protocol::LinkResult last() const { return last_; }
  // The first result that was neither an answer nor a refusal, if any: a listing
  // that ended with it is incomplete.
  std::optional<protocol::LinkResult> failure() const { return failure_; }

 private:
  protocol::LinkResult note(protocol::LinkResult result) {
    last_ = result;
    if (!failure_ && result != protocol::kLinkSuccess && result != protocol::kLinkRefused) failure_ = result;
    return result;
  }

  LinkFileCommands commands_;
  protocol::LinkResult last_ = protocol::kLinkSuccess;
  std::optional<protocol::LinkResult> failure_;
};

}  // namespace quaverly::cli
