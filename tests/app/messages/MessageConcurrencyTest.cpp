// Job workers show messages while the user-interface thread installs presenters
// (and tests install catalogues); many threads race here so that the sanitizers see
// any unguarded access.
#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace quaverly {
namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 2000;

// Runs `body` on a thread of its own; a deadlock aborts instead of hanging the run.
void runWithWatchdog(std::function<void()> body) {
  std::packaged_task<void()> task(std::move(body));
  auto done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    std::fputs("watchdog: message threads still running after 60 s\n", stderr);
    std::abort();
  }
  runner.join();
}

TEST(MessageConcurrency, PresenterSwappedWhileWorkersShowMessages) {
  setLanguage(Language::English);
  std::atomic<int> presented[3] = {0, 0, 0};  // indexed by answer: Ok 1, Cancel 2
  std::atomic<int> returned[3] = {0, 0, 0};
  std::atomic<int> wrong{0};
  const auto answering = [&](MessageResult answer) {
    return [&, answer](MessageStyle style, std::string_view text) {
      if (style != MessageStyle::Question || text != "Are you sure you want to delete \"X.MID\" ?") {
        ++wrong;
      }
      ++presented[static_cast<int>(answer)];
      return answer;
    };
  };
  ScopedMessagePresenter scope(answering(MessageResult::Ok));

  std::atomic<int> running{kThreads};
  runWithWatchdog([&] {
    std::vector<std::thread> workers;
    for (int w = 0; w < kThreads; ++w) {
      workers.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
          const MessageResult result = showMessage(MessageId{31}, "X.MID");
          if (result == MessageResult::Ok || result == MessageResult::Cancel) {
            ++returned[static_cast<int>(result)];
          } else {
            ++wrong;
          }
        }
        --running;
      });
    }
    for (int swap = 0; running.load() > 0; ++swap) {
      setMessagePresenter(answering(swap % 2 == 0 ? MessageResult::Cancel : MessageResult::Ok));
      std::this_thread::yield();
    }
    for (auto& worker : workers) worker.join();
  });

  EXPECT_EQ(wrong.load(), 0);
  // Every call reached exactly one presenter, and that presenter's answer came back.
  EXPECT_EQ(presented[1].load(), returned[1].load());
  EXPECT_EQ(presented[2].load(), returned[2].load());
  EXPECT_EQ(returned[1].load() + returned[2].load(), kThreads * kRounds);
}

TEST(MessageConcurrency, CatalogueReinstalledWhileReadersLookUp) {
  // A reader must never pair the short table with the built-in count.
  static constexpr MessagePair kShort[] = {{"", ""}, {"short", "short"}};
  const auto builtIn = builtInCatalogue();
  const auto oneOf = [](std::string_view text, const MessagePair& pair, std::string_view other) {
    return text == pair.japanese || text == pair.english || text == other;
  };
  installCatalogue(builtIn.data(), builtIn.size(), Language::English);
  std::atomic<bool> stop{false};
  std::atomic<int> unexpected{0};

  runWithWatchdog([&] {
    std::vector<std::thread> readers;
    for (int r = 0; r < kThreads; ++r) {
      readers.emplace_back([&] {
        while (!stop.load()) {
          if (!oneOf(messageText(MessageId{36}), builtIn[36], "")) ++unexpected;
          if (!oneOf(messageText(MessageId{1}), builtIn[1], "short")) ++unexpected;
        }
      });
    }
    for (int i = 0; i < kRounds; ++i) {
      installCatalogue(builtIn.data(), builtIn.size(), Language::Japanese);
      installCatalogue(kShort, 2, Language::English);
      installCatalogue(builtIn.data(), builtIn.size(), Language::English);
    }
    stop = true;
    for (auto& reader : readers) reader.join();
  });

  EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace quaverly
