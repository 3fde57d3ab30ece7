// The transfer jobs against the virtual instrument: the link harness's in-process
// instrument behind a fake port library, a PC folder of the test's own, the user's
// answers to the questions given in advance, and a progress display that records
// what it was shown and can press Cancel.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/jobs/InstrumentFileCommands.h"
#include "app/jobs/InstrumentFolderTree.h"
#include "app/jobs/ProgressDisplay.h"
#include "app/jobs/TransferJob.h"
#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "tests/TemporaryFolder.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::jobtest {

namespace fs = std::filesystem;
using linktest::Bytes;
using linktest::LinkHarness;

// One message the job showed: its catalogue number (0 for another text) and text.
struct Shown {
  int number = 0;
  std::string text;
};

// What a progress display saw, and when it presses Cancel.
struct DisplayLog {
  std::mutex mutex;
  std::condition_variable changed;  // after every call the display gets
  std::vector<TransferKind> kinds;
  std::vector<int> positions;
  std::vector<std::string> names;
  std::uint64_t lastTotal = 0;
  int displaysOpen = 0;
  // Cancel is pressed once the batch's bytes done reach cancelAtBytes while the
  // display shows the file cancelAtName (any file when empty); never while both are
  // unset.
  std::uint64_t cancelAtBytes = 0;
  std::string cancelAtName;
  bool cancelPressed = false;
  // The job's poll clears its continue flag only after pollCancel has returned; the
  // poll that comes next shows that it has. A worker held until then cannot run past
  // the Cancel on a busy machine.
  int pollsAfterCancel = 0;
  bool cancelReachedJob() const { return cancelPressed && pollsAfterCancel > 0; }
};

class RecordingDisplay final : public ProgressDisplay {
 public:
  explicit RecordingDisplay(DisplayLog& log) : log_(log) {}
  ~RecordingDisplay() override {
    const std::lock_guard lock(log_.mutex);
    --log_.displaysOpen;
  }
  void setRange(int, int) override {}
  void setPos(int position) override {
    const std::lock_guard lock(log_.mutex);
    log_.positions.push_back(position);
    log_.changed.notify_all();
  }
  bool pollCancel() override {
    const std::lock_guard lock(log_.mutex);
    if (log_.cancelPressed) {
      ++log_.pollsAfterCancel;
      log_.changed.notify_all();
      return false;
    }
    if (log_.cancelAtBytes == 0 && log_.cancelAtName.empty()) return false;
    if (done_ < log_.cancelAtBytes) return false;
    if (!log_.cancelAtName.empty() && (log_.names.empty() || log_.names.back() != log_.cancelAtName)) return false;
    log_.cancelPressed = true;
    log_.changed.notify_all();
    return true;
  }
  void showBytes(std::string_view fileName, std::uint64_t done, std::uint64_t total) override {
    const std::lock_guard lock(log_.mutex);
    log_.lastTotal = total;
    if (log_.names.empty() || log_.names.back() != fileName) log_.names.emplace_back(fileName);
    done_ = done;
    log_.changed.notify_all();
  }

 private:
  DisplayLog& log_;
  std::uint64_t done_ = 0;
};

// The catalogue number of a shown English text, its "%s" filled in or not.
inline int catalogueNumber(std::string_view text) {
  const auto catalogue = builtInCatalogue();
  for (std::size_t id = 1; id < catalogue.size(); ++id) {
    const std::string_view format = catalogue[id].english;
    const std::size_t slot = format.find("%s");
    if (slot == std::string_view::npos ? text == format
                                       : text.size() >= format.size() - 2 && text.starts_with(format.substr(0, slot)) &&
                                             text.ends_with(format.substr(slot + 2))) {
      return static_cast<int>(id);
    }
  }
  return 0;
}

// True when the text (a path) stands somewhere in the message.
inline bool contains(const Bytes& message, std::string_view text) {
  return std::search(message.begin(), message.end(), text.begin(), text.end()) != message.end();
}

inline void writePcFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::optional<Bytes> readPcFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class JobTest : public ::testing::Test {
 protected:
  explicit JobTest(instrument::InstrumentOptions options = LinkHarness::fastOptions()) : harness_(options) {
    const auto catalogue = builtInCatalogue();
    installCatalogue(catalogue.data(), catalogue.size(), Language::English);
    setLanguage(Language::English);
    settings_.pacing.intervalTimeMs = 0;
    pcRoot_ = quaverly::test::makeTemporaryFolder("quaverly-jobs");
    pcFolder_ = pcRoot_ / "pc";
    fs::create_directory(pcFolder_);
    harness_.enterTransferMode();
  }

  ~JobTest() override {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(pcRoot_, ignored)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(pcRoot_, ignored);
  }

  JobEnvironment environment() {
    JobEnvironment environment{harness_.link(), settings_, ui_};
    if (freeSpace_) environment.freeSpace = freeSpace_;
    return environment;
  }

  // Holds the job's worker inside its send of the first message that `at` picks until
  // the progress display has seen what `seen` waits for. The display learns the job's
  // state only when the user-interface loop polls it, so a test that looks at the
  // job mid-transfer holds the transfer there instead of hoping the poll comes in time.
  void holdWorkerUntil(std::function<bool(const Bytes&)> at, std::function<bool(const DisplayLog&)> seen) {
    auto held = std::make_shared<std::atomic<bool>>(false);
    harness_.ports().setReceiver([this, at = std::move(at), seen = std::move(seen), held](const Bytes& message) {
      if (!held->load() && at(message)) {
        held->store(true);
        std::unique_lock lock(display_.mutex);
        if (!display_.changed.wait_for(lock, linktest::kWatchdog, [&] { return seen(display_); })) {
          ADD_FAILURE() << "the progress display never saw what the test waited for";
        }
      }
      harness_.instrument().receive(message);
    });
  }

  // The answers to the questions, in order; a question beyond them is answered Cancel.
  void answer(std::initializer_list<MessageResult> answers) { answers_.assign(answers.begin(), answers.end()); }

  std::vector<int> shownNumbers() const {
    std::vector<int> numbers;
    for (const Shown& s : shown_) numbers.push_back(s.number);
    return numbers;
  }
  const std::vector<Shown>& shown() const { return shown_; }
  int questionsAsked() const { return questions_; }

  // The messages the PC sent of one kind.
  int sentCount(protocol::SysexId id) {
    int n = 0;
    for (const Bytes& message : harness_.ports().sent()) n += linktest::is(id, message) ? 1 : 0;
    return n;
  }

  // The harness must outlive the tree's commands.
  LinkHarness harness_;
  TransferSettings settings_;
  DisplayLog display_;
  // Messages and questions through the presenter below; displays that record.
  PresenterJobUserInterface ui_{[this](TransferKind kind) {
    const std::lock_guard lock(display_.mutex);
    display_.kinds.push_back(kind);
    ++display_.displaysOpen;
    return std::make_unique<RecordingDisplay>(display_);
  }};
  std::function<std::optional<std::uint64_t>(const fs::path&)> freeSpace_;
  fs::path pcRoot_;
  fs::path pcFolder_;
  LinkFileCommands commands_{harness_.link()};
  InstrumentFolderTree tree_{commands_};

 private:
  std::mutex shownMutex_;
  std::vector<Shown> shown_;
  std::deque<MessageResult> answers_;
  int questions_ = 0;
  ScopedMessagePresenter presenter_{[this](MessageStyle style, std::string_view text) {
    const std::lock_guard lock(shownMutex_);
    shown_.push_back({catalogueNumber(text), std::string(text)});
    if (style != MessageStyle::OverwriteQuestion && style != MessageStyle::ConvertQuestion) return MessageResult::Ok;
    ++questions_;
    if (answers_.empty()) return MessageResult::Cancel;
    const MessageResult result = answers_.front();
    answers_.pop_front();
    return result;
  }};
};

}  // namespace quaverly::jobtest
