// The whole stack as the program uses it: the built Tonelink library loaded by file
// name, its built-in virtual instrument selected, the connection check with its real
// delays, files both ways, and the disconnect.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "app/messages/MessageCatalogue.h"
#include "app/protocol/BulkTransfer.h"
#include "app/protocol/Connection.h"
#include "app/protocol/FileCommands.h"
#include "app/protocol/Link.h"
#include "app/protocol/PortLibraryBinding.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;

class SilentUi final : public ConnectionUi {
 public:
  void showWait(std::string_view) override {}
  void pump() override {}
  void closeWait() override {}
};

// What the link sent, with the time, as its observer sees it.
struct Outgoing {
  std::mutex mutex;
  std::vector<std::pair<Clock::time_point, Bytes>> messages;

  static void observe(bool outgoing, std::span<const std::uint8_t> bytes, void* context) {
    if (!outgoing) return;
    auto* self = static_cast<Outgoing*>(context);
    std::lock_guard lock(self->mutex);
    self->messages.emplace_back(Clock::now(), Bytes(bytes.begin(), bytes.end()));
  }
  std::vector<std::pair<Clock::time_point, Bytes>> taken() {
    std::lock_guard lock(mutex);
    return messages;
  }
};

class TonelinkStack : public ::testing::Test {
 protected:
  // `device`: the device number the virtual instrument answers on.
  void load(int device) {
    // The instrument keeps its memory in the process, and no device id is taken from
    // the user's settings.
    setenv("QUAVERLY_INSTRUMENT_DIR", ":memory:", 1);
    setenv("QUAVERLY_INSTRUMENT_DEVICE", std::to_string(device).c_str(), 1);
    setenv("XDG_CONFIG_HOME", "/nonexistent-quaverly-test", 1);
    const auto catalogue = builtInCatalogue();
    installCatalogue(catalogue.data(), catalogue.size(), Language::English);
    ASSERT_TRUE(binding.load(std::filesystem::path(TONELINK_LIBRARY_PATH).parent_path())) << binding.error();
    // The virtual instrument is listed after every real device: the highest id each
    // port accepts.
    for (PortFunctionTable* table :
         {static_cast<PortFunctionTable*>(&binding.input), static_cast<PortFunctionTable*>(&binding.output)}) {
      table->setDeviceId(table->direction, 0);
      unsigned id = 0;
      while (id < 4096 &&
             (table->setDeviceId(table->direction, id + 1), table->getDeviceId(table->direction) == id + 1)) {
        ++id;
      }
      table->setDeviceId(table->direction, id);
    }
    link.state() = LinkState{};
    link.bind(&binding.input, &binding.output);
    link.setObserver(&Outgoing::observe, &outgoing);
  }

  void TearDown() override {
    link.setObserver(nullptr, nullptr);
    link.bind(nullptr, nullptr);
    binding.unload();
  }

  PortLibraryBinding binding;
  Link& link = Link::instance();
  Outgoing outgoing;
  SilentUi ui;
  std::vector<std::string> shown;
  ScopedMessagePresenter presenter{[this](MessageStyle, std::string_view text) {
    shown.emplace_back(text);
    return MessageResult::Ok;
  }};
};

TEST_F(TonelinkStack, FilesGoOutAndComeBackByteExact) {
  load(0);
  ASSERT_NE(linkConnect(link, ui), 0) << (shown.empty() ? "" : shown.front());

  TransferProgress progress;
  BulkTransfer bulk(link, progress, PacingSettings{256, 0});
  const Bytes data = patternBytes(30 * 1024, 99);
  ASSERT_EQ(bulk.sendHeader(static_cast<std::uint32_t>(data.size()), "0:\\LINKTEST.MID"), kLinkSuccess);
  ASSERT_EQ(bulk.sendBlocks(data), kLinkSuccess);
  ASSERT_EQ(bulk.sendEndOfData(), kLinkSuccess);

  // Every file the listing shows comes back with the listed size: the one just sent
  // byte for byte.
  std::vector<DirectoryEntry> entries;
  DirectoryEntry entry;
  for (LinkResult r = findFirst(link, kFindMaskFoldersAndFiles, "0:\\*", entry); r == kLinkSuccess;
       r = findNext(link, entry)) {
    entries.push_back(entry);
  }
  bool sawOurs = false;
  for (const DirectoryEntry& e : entries) {
    if (e.attributes & kAttributeFolder) continue;
    SCOPED_TRACE(e.path);
    std::uint32_t size = 0;
    ASSERT_EQ(bulk.requestFile(e.path, size), kLinkSuccess);
    EXPECT_EQ(size, e.size);
    Bytes received(size);
    ASSERT_EQ(bulk.receiveBlocks(received), kLinkSuccess);
    ASSERT_EQ(bulk.sendFinished(), kLinkSuccess);
    if (e.path == "0:\\LINKTEST.MID") {
      sawOurs = true;
      EXPECT_EQ(received, data);
    }
  }
  EXPECT_TRUE(sawOurs);
  EXPECT_GT(entries.size(), 1u) << "the demo songs are missing";

  EXPECT_EQ(deleteFile(link, "0:\\LINKTEST.MID"), kLinkSuccess);
  EXPECT_EQ(linkDisconnect(link), 1);
  EXPECT_TRUE(shown.empty());
}

TEST_F(TonelinkStack, AnInstrumentOnDeviceFiveIsFoundAfterEachLowerNumberWaitedASecond) {
  load(5);
  ASSERT_NE(linkConnect(link, ui), 0) << (shown.empty() ? "" : shown.front());
  EXPECT_EQ(link.state().deviceNumber, 5);
  std::uint32_t freeBytes = 0;
  EXPECT_EQ(freeSpace(link, freeBytes), kLinkSuccess);
  EXPECT_EQ(linkDisconnect(link), 1);

  const auto sent = outgoing.taken();
  std::vector<Clock::time_point> identify;
  Clock::time_point remoteOn{}, remoteCheck{};
  for (const auto& [at, m] : sent) {
    if (is(SysexId::IdentifyRequest, m)) {
      EXPECT_EQ(m[2], static_cast<int>(0x50 + identify.size()));
      identify.push_back(at);
    } else if (is(SysexId::RemoteMode, m) && m[7] == 1) {
      EXPECT_EQ(m[2], 0x55);
      remoteOn = at;
    } else if (is(SysexId::RemoteCheck, m)) {
      EXPECT_EQ(m[2], 0x55);
      remoteCheck = at;
    } else {
      EXPECT_EQ(m[2], 0x55) << "a later request went elsewhere";
    }
  }
  ASSERT_EQ(identify.size(), 6u);
  for (std::size_t d = 0; d + 1 < identify.size(); ++d) {
    EXPECT_GE(identify[d + 1] - identify[d], milliseconds(1000)) << "candidate " << d;
  }
  EXPECT_GE(remoteCheck - remoteOn, milliseconds(500));
  EXPECT_TRUE(shown.empty());
}

}  // namespace
}  // namespace quaverly::linktest
