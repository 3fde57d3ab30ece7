#include "instrument/tool/ToolOptions.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>
#include <vector>

namespace quaverly::instrument::tool {

namespace {

using Args = std::span<const std::string_view>;
// Applies an option's arguments; returns why they are wrong, or nothing.
using Apply = std::optional<std::string> (*)(ToolOptions&, Args);

struct OptionSpec {
  std::string_view name;       // "--device-number"
  std::string_view shortName;  // "-v", or empty
  std::string_view argNames;   // "N", "A B", or empty
  int argCount;
  std::string_view group;  // heading in --help
  Apply apply;
};

// Longest sensible delay; keeps the instrument's time arithmetic far from overflow.
constexpr std::int64_t kMaxMilliseconds = 3'600'000;
constexpr std::int64_t kMaxBlock = std::numeric_limits<std::uint32_t>::max();
// Sizes and free space travel as 28-bit numbers.
constexpr std::int64_t kMax28Bit = 0x0FFFFFFF;

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// A whole number in decimal, or hexadecimal with 0x; nothing else (no sign on
// unsigned values, no spaces, no trailing characters).
std::optional<std::int64_t> parseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
  if (ec != std::errc{} || ptr != end || value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return std::nullopt;
  }
  const auto signedValue = static_cast<std::int64_t>(value);
  return negative ? -signedValue : signedValue;
}

std::optional<std::string> integerIn(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t& out,
                                     std::string_view what = "a whole number") {
  const auto value = parseInteger(text);
  if (!value || *value < min || *value > max) {
    return "expected " + std::string(what) + " from " + std::to_string(min) + " to " + std::to_string(max) + ", not " +
           quoted(text);
  }
  out = *value;
  return std::nullopt;
}

std::optional<std::string> milliseconds(std::string_view text, Milliseconds& out, std::int64_t min = 0) {
  std::int64_t value = 0;
  if (auto error = integerIn(text, min, kMaxMilliseconds, value, "a number of milliseconds")) return error;
  out = Milliseconds{value};
  return std::nullopt;
}

std::optional<std::string> unsigned32(std::string_view text, std::uint32_t& out, std::int64_t min = 0,
                                      std::int64_t max = kMaxBlock) {
  std::int64_t value = 0;
  if (auto error = integerIn(text, min, max, value)) return error;
  out = static_cast<std::uint32_t>(value);
  return std::nullopt;
}

std::optional<std::string> dataByte(std::string_view text, std::uint8_t& out) {
  std::int64_t value = 0;
  // SysEx data bytes carry seven bits.
  if (auto error = integerIn(text, 0, 0x7F, value)) return error;
  out = static_cast<std::uint8_t>(value);
  return std::nullopt;
}

const std::array kOptions = {
    OptionSpec{"--api", "", "alsa|jack", 1, "MIDI port",
               [](ToolOptions& o, Args a) -> std::optional<std::string> {
                 if (a[0] == "alsa") {
                   o.midiSystem = MidiSystem::Alsa;
                 } else if (a[0] == "jack") {
                   o.midiSystem = MidiSystem::Jack;
                 } else {
                   return "expected 'alsa' or 'jack', not " + quoted(a[0]);
                 }
                 return std::nullopt;
               }},
    OptionSpec{"--dir", "", "PATH", 1, "File memory",
               [](ToolOptions& o, Args a) -> std::optional<std::string> {
                 if (a[0].empty()) return "expected a directory, not an empty text";
                 if (o.memory == MemoryKind::InMemory) return "cannot be combined with --memory";
                 o.memory = MemoryKind::Directory;
                 o.directory = std::filesystem::path(std::string(a[0]));
                 return std::nullopt;
               }},
    OptionSpec{"--memory", "", "", 0, "File memory",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 if (o.memory == MemoryKind::Directory) return "cannot be combined with --dir";
                 o.memory = MemoryKind::InMemory;
                 return std::nullopt;
               }},
    OptionSpec{"--capacity", "", "BYTES", 1, "File memory",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.capacityBytes, 0, kMax28Bit); }},
    OptionSpec{"--device-number", "", "N", 1, "Instrument",
               [](ToolOptions& o, Args a) -> std::optional<std::string> {
                 std::int64_t value = 0;
                 if (auto error = integerIn(a[0], 0, 15, value)) return error;
                 o.instrument.deviceNumber = static_cast<std::uint8_t>(value);
                 return std::nullopt;
               }},
    OptionSpec{"--identify", "", "A B", 2, "Instrument",
               [](ToolOptions& o, Args a) -> std::optional<std::string> {
                 if (auto error = dataByte(a[0], o.instrument.identifyA)) return error;
                 return dataByte(a[1], o.instrument.identifyB);
               }},
    OptionSpec{"--refuse-transfer", "", "", 0, "Instrument",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 o.instrument.panelAllowsTransfer = false;
                 return std::nullopt;
               }},
    OptionSpec{"--block-interval", "", "MS", 1, "Instrument",
               [](ToolOptions& o, Args a) { return milliseconds(a[0], o.instrument.blockInterval); }},
    OptionSpec{"--session-timeout", "", "MS", 1, "Instrument",
               [](ToolOptions& o, Args a) { return milliseconds(a[0], o.instrument.sessionTimeout, 1); }},
    OptionSpec{"--wait-every", "", "N", 1, "Instrument",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.waitEveryBlocks); }},
    OptionSpec{"--wait-duration", "", "MS", 1, "Instrument",
               [](ToolOptions& o, Args a) { return milliseconds(a[0], o.instrument.waitDuration); }},
    OptionSpec{"--busy-after-end", "", "MS", 1, "Instrument",
               [](ToolOptions& o, Args a) { return milliseconds(a[0], o.instrument.busyAfterEndOfData); }},
    OptionSpec{"--time-scale", "", "X", 1, "Instrument",
               [](ToolOptions& o, Args a) -> std::optional<std::string> {
                 double value = 0;
                 const char* end = a[0].data() + a[0].size();
                 const auto [ptr, ec] = std::from_chars(a[0].data(), end, value);
                 if (a[0].empty() || ec != std::errc{} || ptr != end || !(value > 0.0) || value > 1000.0) {
                   return "expected a number above 0 and at most 1000, not " + quoted(a[0]);
                 }
                 o.instrument.timeScale = value;
                 return std::nullopt;
               }},
    OptionSpec{"--wire-model", "", "", 0, "MIDI wire model",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 o.instrument.wire.enabled = true;
                 return std::nullopt;
               }},
    OptionSpec{"--wire-rate", "", "BYTES", 1, "MIDI wire model",
               [](ToolOptions& o, Args a) {
                 o.instrument.wire.enabled = true;
                 return unsigned32(a[0], o.instrument.wire.bytesPerSecond, 1, 10'000'000);
               }},
    OptionSpec{"--input-buffer", "", "BYTES", 1, "MIDI wire model",
               [](ToolOptions& o, Args a) {
                 o.instrument.wire.enabled = true;
                 return unsigned32(a[0], o.instrument.wire.inputBufferBytes, 1, 10'000'000);
               }},
    OptionSpec{"--silent", "", "", 0, "Faults",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 o.instrument.faults.silent = true;
                 return std::nullopt;
               }},
    OptionSpec{"--answer-delay", "", "MS", 1, "Faults",
               [](ToolOptions& o, Args a) { return milliseconds(a[0], o.instrument.faults.answerDelay); }},
    OptionSpec{"--drop-answer", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.faults.dropAnswer); }},
    OptionSpec{"--size-error", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) -> std::optional<std::string> {
                 std::int64_t value = 0;
                 if (auto error = integerIn(a[0], std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max(), value)) {
                   return error;
                 }
                 o.instrument.faults.sizeError = static_cast<std::int32_t>(value);
                 return std::nullopt;
               }},
    OptionSpec{"--corrupt-checksum-block", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.faults.corruptChecksumBlock); }},
    OptionSpec{"--repeat-counter-block", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.faults.repeatCounterBlock); }},
    OptionSpec{"--stray-identify-after-block", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.faults.strayIdentifyAfterBlock); }},
    OptionSpec{"--wait-without-ready-at-block", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.faults.waitWithoutReadyAtBlock); }},
    OptionSpec{"--delete-delay", "", "MS", 1, "Faults",
               [](ToolOptions& o, Args a) { return milliseconds(a[0], o.instrument.faults.deleteDelay); }},
    OptionSpec{"--error-at-block", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.faults.errorAtBlock); }},
    OptionSpec{"--corrupt-stored-byte", "", "N", 1, "Faults",
               [](ToolOptions& o, Args a) { return unsigned32(a[0], o.instrument.faults.corruptStoredByte); }},
    OptionSpec{"--memory-full", "", "", 0, "Faults",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 o.instrument.faults.memoryFull = true;
                 return std::nullopt;
               }},
    OptionSpec{"--verbose", "-v", "", 0, "Output",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 o.verbose = true;
                 return std::nullopt;
               }},
    OptionSpec{"--help", "-h", "", 0, "Output",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 o.help = true;
                 return std::nullopt;
               }},
    OptionSpec{"--version", "", "", 0, "Output",
               [](ToolOptions& o, Args) -> std::optional<std::string> {
                 o.version = true;
                 return std::nullopt;
               }},
};

std::string ms(Milliseconds value) { return std::to_string(value.count()) + " ms"; }

// What each option does, with the defaults taken from the instrument's own. Lines
// are broken by hand to fit beside the option column in 80 characters.
std::string describe(std::string_view name) {
  const InstrumentOptions d;
  if (name == "--api") {
    return "MIDI system for the two ports. Default: the\n"
           "ALSA sequencer, or JACK when ALSA is absent\n"
           "(no /dev/snd/seq) or cannot be opened.";
  }
  if (name == "--dir") {
    return "Keep the instrument's files in this directory\n"
           "(created when missing; an empty one is given\n"
           "the demo songs). A file without write\n"
           "permission is read-only. Default:\n"
           "$XDG_DATA_HOME/quaverly/instrument, else\n"
           "~/.local/share/quaverly/instrument.";
  }
  if (name == "--memory") return "Keep the files in memory, starting empty;\nthey are gone at exit.";
  if (name == "--capacity") {
    return "Size of the file memory; every file takes\nwhole 1 KiB clusters. Default: " +
           std::to_string(d.capacityBytes) + ".";
  }
  if (name == "--device-number")
    return "Answer on device number N (0-15): messages\nwith 0x50 + N as third byte. Default: 0.";
  if (name == "--identify") return "The two data bytes of its identify reply,\n0-127 each. Default: 0 0.";
  if (name == "--refuse-transfer") {
    return "The panel is in a mode that does not allow\ndata transfer: a remote check is refused.";
  }
  if (name == "--block-interval")
    return "Time between the blocks of a file it sends.\nDefault: " + ms(d.blockInterval) + ".";
  if (name == "--session-timeout") {
    return "Silence of the PC that ends a transfer.\nDefault: " + ms(d.sessionTimeout) + ".";
  }
  if (name == "--wait-every") return "While it receives a file: Wait after every\nN blocks. Default: 0 (never).";
  if (name == "--wait-duration") return "... and Ready this much later.\nDefault: " + ms(d.waitDuration) + ".";
  if (name == "--busy-after-end") {
    return "After the end of a file it receives: Ready\nat once, Finished this much later.\nDefault: 0 (Finished at "
           "once).";
  }
  if (name == "--time-scale") return "Multiply every delay of the instrument by X.\nDefault: 1.";
  if (name == "--wire-model") {
    return "Emulate the MIDI wire: " + std::to_string(d.wire.bytesPerSecond) +
           " bytes per second\neach way and an input buffer of " + std::to_string(d.wire.inputBufferBytes) +
           " bytes;\nbytes sent faster than it drains are lost.";
  }
  if (name == "--wire-rate") return "Bytes per second on the wire\n(implies --wire-model).";
  if (name == "--input-buffer") return "Size of its input buffer in bytes\n(implies --wire-model).";
  if (name == "--silent") return "Answer nothing at all.";
  if (name == "--answer-delay") return "Send every message this much later.";
  if (name == "--drop-answer") return "Never send the Nth message it would send.";
  if (name == "--size-error") return "Add N (may be negative) to the size it\nannounces for a requested file.";
  if (name == "--corrupt-checksum-block") return "Send block N of a file with a wrong checksum.";
  if (name == "--repeat-counter-block") return "Send block N with the counter of block N-1.";
  if (name == "--stray-identify-after-block") return "Send an identify reply after block N.";
  if (name == "--wait-without-ready-at-block") return "While it receives: Wait after block N and\nnever Ready.";
  if (name == "--delete-delay") return "Answer a delete this much later.";
  if (name == "--error-at-block") return "While it receives: Error instead of\naccepting block N.";
  if (name == "--corrupt-stored-byte") {
    return "While it receives: store byte N (from 1) of\neach file inverted.";
  }
  if (name == "--memory-full") return "No room for anything: every file sent to it\nis refused.";
  if (name == "--verbose") return "Print every message in and out as it\nhappens.";
  if (name == "--help") return "Show this help and exit.";
  if (name == "--version") return "Show the version and exit.";
  return {};
}

const OptionSpec* findOption(std::string_view name) {
  for (const OptionSpec& option : kOptions) {
    if (name == option.name || (!option.shortName.empty() && name == option.shortName)) return &option;
  }
  return nullptr;
}

}  // namespace

ParsedOptions parseToolOptions(std::span<const std::string_view> args) {
  ToolOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view word = args[i];
    std::optional<std::string_view> inlineValue;  // --name=value
    if (word.starts_with("--")) {
      if (const auto eq = word.find('='); eq != std::string_view::npos) {
        inlineValue = word.substr(eq + 1);
        word = word.substr(0, eq);
      }
    }
    const OptionSpec* option = findOption(word);
    if (!option) {
      const bool looksLikeOption = word.size() > 1 && word.front() == '-';
      return {std::nullopt, looksLikeOption ? "unknown option " + quoted(word) : "unexpected argument " + quoted(word)};
    }
    std::vector<std::string_view> values;
    if (inlineValue) {
      if (option->argCount != 1) {
        return {std::nullopt, std::string(option->name) + ": takes " +
                                  (option->argCount == 0 ? "no value" : "its values as separate arguments")};
      }
      values.push_back(*inlineValue);
    } else {
      if (args.size() - i - 1 < static_cast<std::size_t>(option->argCount)) {
        return {std::nullopt, std::string(option->name) + ": expects " + std::string(option->argNames)};
      }
      for (int k = 0; k < option->argCount; ++k) values.push_back(args[++i]);
    }
    if (auto error = option->apply(options, values)) return {std::nullopt, std::string(option->name) + ": " + *error};
  }
  return {options, {}};
}

std::string toolUsage(std::string_view programName) {
  constexpr std::size_t kColumn = 32;
  std::string text = "Usage: " + std::string(programName) + " [options]\n\n";
  text +=
      "Puts the Quaverly virtual instrument on a MIDI port: opens a virtual MIDI input\n"
      "and output port named \"Quaverly Virtual Instrument\", prints their names and\n"
      "serves until it is interrupted (Ctrl+C or SIGTERM).\n";
  std::string_view group;
  for (const OptionSpec& option : kOptions) {
    if (option.group != group) {
      group = option.group;
      text += "\n";
      text += group;
      text += ":\n";
    }
    std::string head = "  ";
    if (!option.shortName.empty()) {
      head += option.shortName;
      head += ", ";
    }
    head += option.name;
    if (!option.argNames.empty()) {
      head += " ";
      head += option.argNames;
    }
    if (head.size() + 1 >= kColumn) {
      head += "\n";
      head.append(kColumn, ' ');
    } else {
      head.append(kColumn - head.size(), ' ');
    }
    const std::string description = describe(option.name);
    for (char c : description) {
      head += c;
      if (c == '\n') head.append(kColumn, ' ');
    }
    text += head + "\n";
  }
  text +=
      "\nNumbers are decimal or hexadecimal with 0x. Block numbers count from 1 within\n"
      "one transfer; 0 switches a fault off.\n"
      "Exit status: 0 after an interrupt, 1 when the ports or the file memory cannot\n"
      "be opened, 2 for a wrong command line.\n";
  return text;
}

}  // namespace quaverly::instrument::tool
