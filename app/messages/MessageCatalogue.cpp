#include "app/messages/MessageCatalogue.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <forward_list>
#include <iterator>
#include <memory>
#include <mutex>
#include <utility>

namespace quaverly {
namespace {

// The texts are kept in UTF-8; a source or execution character set other than
// UTF-8 would silently change them.
static_assert(sizeof("ｸ") == 4, "string literals must be encoded as UTF-8");

// Ids 0, 13, 17 and 22 hold no text.
constexpr MessagePair kCatalogue[] = {
    {"", ""},  // 0
    // 1
    {"指定されたMIDIデバイスはすでに使われています。他のアプリケーションを終了してください。",
     "The selected MIDI device is in use. Quit any applications currently using the device."},
    // 2
    {"接続確認中．．．", "Confirming connections..."},
    // 3
    {"通信に失敗しました。\nご使用の楽器とコンピュータが正しく接続されていること(HOST "
     "SELECTスイッチの設定など)を確認してください。",
     "Data Transfer failed.\nConfirm the musical instrument is connected to the computer properly (HOST SELECT switch "
     "and others)."},
    // 4
    {"通信できないモードになっています。\n[Exit]ボタンなどを押して通信できるモードにしてください。",
     "Data transfer is not possible in the current mode.\nPress the [EXIT] button, etc., and designate a mode that "
     "allows data transfer."},
    // 5
    {"ファイルを選択してください。", "Select a file before you proceed."},
    // 6
    {"\"%s\"が見つかりません。", "Can't find \"%s\"."},
    // 7
    {"指定された名前は既に存在します。別の名前を指定してください。",
     "The name is already used. Enter another file name."},
    // 8
    {"ファイル名の指定は、８文字＋拡張子３文字以内、半角文字で指定してください。",
     "Specify up to 8 letters for the file name and up to 3 for the extension."},
    // 9
    {"フォルダ名の指定は、８文字以内、半角文字で指定してください。", "Specify up to 8 letters for the folder name."},
    // 10
    {"ファイルがオープンできません。", "The file could not be opened."},
    // 11
    {"\"%"
     "s\"を作成できません。空メモリ領域が足りません。\nいくつかのファイルを削除して空き領域を増やしてから、やり直してく"
     "ださい。",
     "There is no room for creating \"%s\"."},
    // 12
    {"\"%s\"を作成できません。\nメモリーの空き容量が足りない、または、メモリーがライトプロテクトされています。",
     "Failed to create \"%s\".\nThe memory is full or write-protected."},
    {"", ""},  // 13
    // 14
    {"ファイルデータの受信が終了しました。", "Reception has been completed."},
    // 15
    {"受信処理はキャンセルされました。", "Reception has been canceled."},
    // 16
    {"ファイルデータの受信が失敗しました。", "Reception failed."},
    {"", ""},  // 17
    // 18
    {"ファイルデータの送信が終了しました。", "Transmission has been completed."},
    // 19
    {"送信処理はキャンセルされました。", "Transmission has been canceled."},
    // 20
    {"ファイルデータの送信が失敗しました。", "Transmission failed."},
    // 21
    {"\"%s\"をSMF format0に変換してよろしいですか？", "Are you sure you want to convert \"%s\" into SMF format 0?"},
    {"", ""},  // 22
    // 23
    {"ファイルデータの変換が終了しました。", "Conversion has been completed."},
    // 24
    {"ファイルデータの変換が失敗しました。", "Conversion failed."},
    // 25
    {"指定したファイルはSMF format1のファイルではありません。", "The designated file is not in SMF format 1."},
    // 26
    {"メモリが不足しています。", "Memory overflow."},
    // 27
    {"mid以外の拡張子は使えません。", "Please use the extension name to \"mid\"."},
    // 28
    {"「%s」をSMFフォーマット０に変換しますか？", "Will you convert \"%s\" into SMF format0?"},
    // 29
    {"「%s」は変換できませんでした。", "Sorry ,\"%s\" could not be converted."},
    // 30
    {"フォルダ内のすべてのファイルを削除してから、フォルダ\"%s\"を削除してください。",
     "Before you delete folder \"%s\" , first delete all files in it."},
    // 31
    {"\"%s\"を削除してもよろしいですか？", "Are you sure you want to delete \"%s\" ?"},
    // 32
    {"\"%s\"を削除できません。指定されたファイルが見つかりません。",
     "Cannot delete \"%s\". Cannot find the specified file."},
    // 33
    {"\"%s\"は既に存在します。既存のファイルを置き換えますか？",
     "The folder already contains a file named \"%s\".\nWould you like to replace the existing file with this one?"},
    // 34
    {"これら %s個のファイルを削除してもよろしいですか？", "Are you sure you want to delete these \"%s\" files?"},
    // 35
    {"TONELINK.DLLがみつかりません。このファイルは %s を実行するのに必要です。",
     "Cannot find TONELINK.DLL. Windows needs this file to run %s."},
    // 36
    {"読み取り専用のファイルは、削除できません。", "Cannot delete Read-only files."},
};
static_assert(std::size(kCatalogue) == kBuiltInMessageCount);

// Everything a lookup needs, replaced as one unit so that a reader never pairs the
// table of one installation with the count of another.
struct CatalogueState {
  const MessagePair* table;
  std::size_t count;
  Language language;
};

// The installed catalogue. A state, once created, never changes and lives until the
// process ends, so a reader can keep using the one it loaded, without a lock, while
// another thread installs the next. Installing a state equal to an earlier one
// reuses it, so the list only grows with the number of distinct catalogues: one in
// the program, a handful in the tests.
class InstalledCatalogue {
 public:
  void install(const MessagePair* table, std::size_t count, Language language) {
    const std::lock_guard lock(mutex_);
    const CatalogueState wanted{table, count, language};
    auto it = std::find_if(states_.begin(), states_.end(), [&](const CatalogueState& s) {
      return s.table == wanted.table && s.count == wanted.count && s.language == wanted.language;
    });
    const CatalogueState* state = it != states_.end() ? &*it : &states_.emplace_front(wanted);
    current_.store(state, std::memory_order_release);
  }

  const CatalogueState* current() const { return current_.load(std::memory_order_acquire); }

 private:
  std::mutex mutex_;  // serialises installers; readers only load current_
  std::forward_list<CatalogueState> states_;
  std::atomic<const CatalogueState*> current_{nullptr};
};

InstalledCatalogue& installedCatalogue() {
  static InstalledCatalogue catalogue;
  return catalogue;
}

// The presenter is held through a shared pointer that showText copies under the
// lock and calls outside it: a presenter may block for as long as its dialog is
// open, and another thread may meanwhile show a message or install a new presenter
// without destroying the one still in use.
class PresenterSlot {
 public:
  std::shared_ptr<const MessagePresenter> get() const {
    const std::lock_guard lock(mutex_);
    return presenter_;
  }

  std::shared_ptr<const MessagePresenter> exchange(std::shared_ptr<const MessagePresenter> next) {
    const std::lock_guard lock(mutex_);
    presenter_.swap(next);
    return next;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const MessagePresenter> presenter_;
};

PresenterSlot& presenterSlot() {
  static PresenterSlot slot;
  return slot;
}

}  // namespace

std::span<const MessagePair> builtInCatalogue() { return kCatalogue; }

void installCatalogue(const MessagePair* table, std::size_t count, Language language) {
  installedCatalogue().install(table, table != nullptr ? count : 0, language);
}

std::string_view messageText(MessageId messageId) {
  const auto id = static_cast<std::size_t>(messageId);
  const CatalogueState* state = installedCatalogue().current();
  if (!state || id >= state->count) {
    return {};
  }
  return state->table[id].text(state->language);
}

MessageStyle messageStyle(MessageId id) {
  switch (id) {
    case MessageId::ConfirmConvert:
    case MessageId::ConfirmDelete:
    case MessageId::ConfirmDeleteMany:
      return MessageStyle::Question;
    case MessageId::AskOverwrite:
      return MessageStyle::OverwriteQuestion;
    case MessageId::AskConvert:
      return MessageStyle::ConvertQuestion;
    default:
      return MessageStyle::Notice;
  }
}

std::string formatMessage(std::string_view format, std::optional<std::string_view> argument) {
  std::string text(format);
  if (argument) {
    // A plain substitution rather than printf: a file name may contain '%',
    // and the formats themselves are data, so neither may be interpreted.
    const auto placeholder = text.find("%s");
    if (placeholder != std::string::npos) {
      text.replace(placeholder, 2, *argument);
    }
  }
  return text;
}

MessagePresenter setMessagePresenter(MessagePresenter presenter) {
  std::shared_ptr<const MessagePresenter> next;
  if (presenter) {
    next = std::make_shared<const MessagePresenter>(std::move(presenter));
  }
  const auto previous = presenterSlot().exchange(std::move(next));
  return previous ? *previous : MessagePresenter{};
}

ScopedMessagePresenter::ScopedMessagePresenter(MessagePresenter presenter)
    : previous_(setMessagePresenter(std::move(presenter))) {}

ScopedMessagePresenter::~ScopedMessagePresenter() { setMessagePresenter(std::move(previous_)); }

MessageResult showText(MessageStyle style, std::string_view text) {
  if (const auto presenter = presenterSlot().get()) {
    return (*presenter)(style, text);
  }
  // One write per message keeps lines from different threads apart.
  std::string line(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  return MessageResult::Ok;
}

MessageResult showMessage(MessageId id, std::optional<std::string_view> argument) {
  const std::string text = formatMessage(messageText(id), argument);
  return showText(messageStyle(id), text);
}

}  // namespace quaverly
