// The numbered message catalogue and the one function through which the whole
// program shows a message to the user.
//
// Every message is a pair of texts (Japanese, English) chosen by id. The catalogue
// only looks texts up and formats them; how a message is presented (a message box,
// the four-choice dialog, a line on the terminal) is decided by a presenter that the
// GUI, the command line or a test installs. Without a presenter a message is written
// to standard error.
//
// All functions here may be called from any thread. The presenter runs on the
// thread that calls showMessage; a GUI presenter called from a worker thread has to
// bring its dialog up in a way that is safe there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quaverly {

// The user-interface language, fixed at start-up. The value is also the index of
// the language's text within a catalogue pair.
enum class Language : std::uint8_t { Japanese = 0, English = 1 };

// One catalogue entry, both texts UTF-8. A text may contain line breaks and at most
// one "%s" placeholder.
struct MessagePair {
  std::string_view japanese;
  std::string_view english;

  // Anything that is not English reads the Japanese text, so that a stray
  // language value still finds a text of the pair.
  constexpr std::string_view text(Language language) const {
    return language == Language::English ? english : japanese;
  }
};

// How a message is put in front of the user; fixed per message id.
enum class MessageStyle : int {
  Notice = 1,             // OK button, exclamation icon
  Question = 2,           // OK and Cancel buttons, exclamation icon
  OverwriteQuestion = 3,  // four-choice dialog, overwrite variant
  ConvertQuestion = 4,    // four-choice dialog, convert variant
};

// The button that closed a message box or the four-choice dialog.
enum class MessageResult : int {
  Ok = 1,
  Cancel = 2,
  Yes = 6,
  No = 7,
  YesToAll = 10,
};

// The catalogue's messages by id. The numbers are the catalogue's own and never
// change; 13, 17 and 22 are unused.
enum class MessageId : std::uint16_t {
  PortBusy = 1,         // the MIDI device is in use
  Confirming = 2,       // "Confirming connections..."
  NoAnswer = 3,         // the instrument does not answer
  NoTransferMode = 4,   // the instrument is not in a mode that allows transfer
  SelectFile = 5,       // nothing selected
  NotFound = 6,         // can't find "%s"
  NameUsed = 7,         // the name is already used
  BadFileName = 8,      // not an 8.3 file name
  BadFolderName = 9,    // not an 8-letter folder name
  CannotOpen = 10,      // the file could not be opened
  NoRoomToCreate = 11,  // no room for creating "%s"
  CannotCreate = 12,    // failed to create "%s": memory full or write-protected
  ReceiveCompleted = 14,
  ReceiveCancelled = 15,
  ReceiveFailed = 16,
  TransmitCompleted = 18,
  TransmitCancelled = 19,
  TransmitFailed = 20,
  ConfirmConvert = 21,  // convert "%s" into SMF format 0? (OK/Cancel)
  ConvertCompleted = 23,
  ConvertFailed = 24,
  NotFormat1 = 25,
  OutOfMemory = 26,
  NeedMidExtension = 27,
  AskConvert = 28,    // four-choice: convert "%s"?
  NotConverted = 29,  // "%s" could not be converted
  FolderNotEmpty = 30,
  ConfirmDelete = 31,  // delete "%s"? (OK/Cancel)
  CannotFindToDelete = 32,
  AskOverwrite = 33,       // four-choice: replace "%s"?
  ConfirmDeleteMany = 34,  // delete these "%s" files? (OK/Cancel)
  LibraryMissing = 35,     // the port library is missing
  ReadOnly = 36,           // read-only files cannot be deleted
};

// Number of entries of the built-in catalogue (ids 0 to 36).
inline constexpr std::size_t kBuiltInMessageCount = 37;

// The program's own 37-entry catalogue.
std::span<const MessagePair> builtInCatalogue();

// Makes `table` (count entries) the current catalogue, read in `language`. The table
// is not copied: it must outlive every later lookup (the built-in one is static).
// Done once at start-up by the program; installing again replaces the whole state
// at once, so a concurrent reader sees either the old or the new catalogue.
void installCatalogue(const MessagePair* table, std::size_t count, Language language);

// The text of `id` in the current language; empty when no catalogue is installed or
// the id is not below the entry count. The view stays valid as long as the installed
// table does.
std::string_view messageText(MessageId id);

// The presentation style of a message id: 21, 31, 34 ask OK/Cancel, 33 asks about
// overwriting, 28 about converting; every other id is a plain notice.
MessageStyle messageStyle(MessageId id);

// Puts `argument` in place of the first "%s" of `format`, byte for byte: nothing in
// the argument or elsewhere in the format is interpreted. Without an argument, or
// without a "%s", the format is returned unchanged.
std::string formatMessage(std::string_view format, std::optional<std::string_view> argument);

// Presents a finished text in the given style and returns the button that closed
// it.
using MessagePresenter = std::function<MessageResult(MessageStyle style, std::string_view text)>;

// Installs the presenter used from now on by every thread and returns the one it
// replaces (empty if there was none). An empty presenter removes the current one.
// A call already inside the old presenter finishes with it.
MessagePresenter setMessagePresenter(MessagePresenter presenter);

// Installs a presenter for the lifetime of the object and puts the previous one
// back when it goes out of scope.
class ScopedMessagePresenter {
 public:
  explicit ScopedMessagePresenter(MessagePresenter presenter);
  ~ScopedMessagePresenter();
  ScopedMessagePresenter(const ScopedMessagePresenter&) = delete;
  ScopedMessagePresenter& operator=(const ScopedMessagePresenter&) = delete;

 private:
  MessagePresenter previous_;
};

// Hands (style, text) to the installed presenter and returns its result. With no
// presenter the text and a line break go to standard error and the result is OK.
MessageResult showText(MessageStyle style, std::string_view text);

// Shows catalogue message `id`, with `argument` in place of its "%s" if given, in
// the id's style; returns the button that closed it. An id outside the catalogue
// shows an empty text; no id is refused.
MessageResult showMessage(MessageId id, std::optional<std::string_view> argument = std::nullopt);

}  // namespace quaverly
