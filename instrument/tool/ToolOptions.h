// The command line of quaverly-instrument: which MIDI system to use, where the
// instrument keeps its files, and every setting and fault of the instrument.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "instrument/InstrumentOptions.h"

namespace quaverly::instrument::tool {

enum class MidiSystem {
  Automatic,  // the ALSA sequencer when it is there, else JACK
  Alsa,
  Jack,
};

enum class MemoryKind {
  DefaultDirectory,  // defaultInstrumentDirectory()
  Directory,
  InMemory,
};

struct ToolOptions {
  InstrumentOptions instrument;
  MemoryKind memory = MemoryKind::DefaultDirectory;
  std::filesystem::path directory;  // for MemoryKind::Directory
  MidiSystem midiSystem = MidiSystem::Automatic;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

struct ParsedOptions {
  std::optional<ToolOptions> options;  // nothing when the command line is wrong
  std::string error;                   // why, naming the option
};

// Parses the arguments after the program name.
ParsedOptions parseToolOptions(std::span<const std::string_view> args);

// The text of --help: every option with its argument and meaning.
std::string toolUsage(std::string_view programName);

}  // namespace quaverly::instrument::tool
