// Loads the built Tonelink shared library by file name, as the program does, and
// drives it through the whole stack with the built-in virtual instrument.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/protocol/wire/SysexCatalogue.h"
#include "portlib/Tonelink.h"

namespace {

const char* const kEntryPoints[] = {
    "_ENTRYcomSetDeviceID",
    "_ENTRYcomGetDeviceID",
    "_ENTRYcomGetErrorText",
    "_ENTRYcomGetLastResult",
    "_ENTRYctrlGetSysCurInstrument",
    "_ENTRYctrlSelectDevice",
    "_ENTRYinOpen",
    "_ENTRYinOpen2",
    "_ENTRYinClose",
    "_ENTRYinStart",
    "_ENTRYinStop",
    "_ENTRYoutOpen",
    "_Z18_ENTRYoutSynchOpenj",
    "_ENTRYoutClose",
    "_ENTRYoutWrite",
    "_ENTRYoutDump",
};

// Everything received through the callback, for the test thread to wait on.
struct Received {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::vector<std::uint8_t>> messages;
  std::thread::id thread;
};
Received received;

void onReceive(const unsigned char* bytes, int length) {
  std::lock_guard lock(received.mutex);
  received.messages.emplace_back(bytes, bytes + length);
  received.thread = std::this_thread::get_id();
  received.arrived.notify_all();
}

class TonelinkLibraryLoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The virtual instrument keeps its memory in the process, and no real device's
    // name is taken from the user's settings.
    setenv("QUAVERLY_INSTRUMENT_DIR", ":memory:", 1);
    setenv("XDG_CONFIG_HOME", "/nonexistent-quaverly-test", 1);
    handle_ = dlopen(TONELINK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  static void TearDownTestSuite() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
  }
  template <typename Fn>
  static Fn entry(const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }
  static void* handle_;
};
void* TonelinkLibraryLoad::handle_ = nullptr;

TEST_F(TonelinkLibraryLoad, ExportsTheSixteenEntryPointsByName) {
  for (const char* name : kEntryPoints) EXPECT_NE(dlsym(handle_, name), nullptr) << name;
}

TEST_F(TonelinkLibraryLoad, ExportsNothingElse) {
  const std::string command = std::string("nm -D --defined-only ") + TONELINK_LIBRARY_PATH;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> exported;
  std::array<char, 512> line{};
  while (fgets(line.data(), line.size(), pipe.get())) {
    std::istringstream fields(line.data());
    std::string address, type, name;
    // Upper-case types are global symbols; lower-case ones stay inside the library.
    if (fields >> address >> type >> name && std::isupper(static_cast<unsigned char>(type[0]))) exported.insert(name);
  }
  const std::set<std::string> expected(std::begin(kEntryPoints), std::end(kEntryPoints));
  EXPECT_EQ(exported, expected);
}

TEST_F(TonelinkLibraryLoad, VirtualInstrumentAnswersAnIdentifyRequestThroughTheInputThread) {
  const auto getDevice = entry<TonelinkGetDeviceIdFn>("_ENTRYcomGetDeviceID");
  const auto setDevice = entry<TonelinkSetDeviceIdFn>("_ENTRYcomSetDeviceID");
  const auto inOpen2 = entry<TonelinkInOpen2Fn>("_ENTRYinOpen2");
  const auto inStart = entry<TonelinkVoidFn>("_ENTRYinStart");
  const auto inStop = entry<TonelinkVoidFn>("_ENTRYinStop");
  const auto inClose = entry<TonelinkVoidFn>("_ENTRYinClose");
  const auto outOpen = entry<TonelinkOutOpenFn>("_ENTRYoutOpen");
  const auto outClose = entry<TonelinkVoidFn>("_ENTRYoutClose");
  const auto dump = entry<TonelinkOutBytesFn>("_ENTRYoutDump");
  const auto lastResult = entry<TonelinkGetLastResultFn>("_ENTRYcomGetLastResult");
  ASSERT_TRUE(getDevice && setDevice && inOpen2 && inStart && inStop && inClose && outOpen && outClose && dump);

  // The virtual instrument is listed after every real device: the highest id a port
  // accepts.
  for (int kind : {1, 0}) {
    setDevice(kind, 0);
    unsigned id = 0;
    while (id < 4096 && (setDevice(kind, id + 1), getDevice(kind) == id + 1)) ++id;
  }

  ASSERT_EQ(inOpen2(&onReceive, -1, 1, 50), 1) << lastResult(1);
  ASSERT_EQ(outOpen(-1), 1) << lastResult(0);
  ASSERT_EQ(inStart(), 1);
  {
    std::lock_guard lock(received.mutex);
    received.messages.clear();
  }
  const auto request = quaverly::protocol::buildMessage(quaverly::protocol::SysexId::IdentifyRequest, 0);
  ASSERT_EQ(dump(request.data(), static_cast<int>(request.size())), 1);
  {
    std::unique_lock lock(received.mutex);
    ASSERT_TRUE(received.arrived.wait_for(lock, std::chrono::seconds(20), [] { return !received.messages.empty(); }))
        << "no reply from the virtual instrument";
    EXPECT_TRUE(quaverly::protocol::matches(quaverly::protocol::SysexId::IdentifyReply, received.messages.front()));
    EXPECT_NE(received.thread, std::this_thread::get_id());
  }
  EXPECT_EQ(inStop(), 1);
  EXPECT_EQ(inClose(), 1);
  EXPECT_EQ(outClose(), 1);
}

TEST_F(TonelinkLibraryLoad, ErrorTextOfASuccessIsTheSystemsTextForCodeZero) {
  const auto outClose = entry<TonelinkVoidFn>("_ENTRYoutClose");
  const auto errorText = entry<TonelinkGetErrorTextFn>("_ENTRYcomGetErrorText");
  ASSERT_EQ(outClose(), 1);
  char text[256];
  EXPECT_EQ(errorText(0, text, sizeof text), 0u);
  EXPECT_STREQ(text, "The specified command was carried out.");
  char tiny[4];
  errorText(0, tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "The");
}

}  // namespace
