// The command line of quaverly-instrument.
#include "instrument/tool/ToolOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaverly::instrument::tool {
namespace {

ParsedOptions parse(std::vector<std::string_view> args) { return parseToolOptions(args); }

ToolOptions parseOk(std::vector<std::string_view> args) {
  const ParsedOptions parsed = parse(args);
  EXPECT_TRUE(parsed.options.has_value()) << parsed.error;
  return parsed.options.value_or(ToolOptions{});
}

// The error for a command line that must be refused.
std::string parseError(std::vector<std::string_view> args) {
  const ParsedOptions parsed = parse(args);
  EXPECT_FALSE(parsed.options.has_value());
  EXPECT_FALSE(parsed.error.empty());
  return parsed.error;
}

TEST(ToolOptionsTest, DefaultsAreTheInstrumentsOwn) {
  const ToolOptions o = parseOk({});
  const InstrumentOptions d;
  EXPECT_EQ(o.memory, MemoryKind::DefaultDirectory);
  EXPECT_EQ(o.midiSystem, MidiSystem::Automatic);
  EXPECT_FALSE(o.verbose);
  EXPECT_FALSE(o.help);
  EXPECT_EQ(o.instrument.deviceNumber, d.deviceNumber);
  EXPECT_EQ(o.instrument.capacityBytes, d.capacityBytes);
  EXPECT_EQ(o.instrument.blockInterval, d.blockInterval);
  EXPECT_TRUE(o.instrument.panelAllowsTransfer);
  EXPECT_FALSE(o.instrument.wire.enabled);
  EXPECT_FALSE(o.instrument.faults.silent);
  EXPECT_EQ(o.instrument.faults.dropAnswer, 0u);
}

TEST(ToolOptionsTest, SetsThePortMemoryAndIdentity) {
  const ToolOptions o = parseOk({"--api", "jack", "--dir", "/tmp/drive", "--device-number", "15", "--identify", "0x12",
                                 "127", "--capacity", "0x0FFFFFFF", "--refuse-transfer", "-v"});
  EXPECT_EQ(o.midiSystem, MidiSystem::Jack);
  EXPECT_EQ(o.memory, MemoryKind::Directory);
  EXPECT_EQ(o.directory, "/tmp/drive");
  EXPECT_EQ(o.instrument.deviceNumber, 15);
  EXPECT_EQ(o.instrument.identifyA, 0x12);
  EXPECT_EQ(o.instrument.identifyB, 127);
  EXPECT_EQ(o.instrument.capacityBytes, 0x0FFFFFFFu);
  EXPECT_FALSE(o.instrument.panelAllowsTransfer);
  EXPECT_TRUE(o.verbose);
  EXPECT_EQ(parseOk({"--api=alsa", "--memory"}).midiSystem, MidiSystem::Alsa);
  EXPECT_EQ(parseOk({"--memory"}).memory, MemoryKind::InMemory);
  EXPECT_TRUE(parseOk({"-h"}).help);
  EXPECT_TRUE(parseOk({"--help"}).help);
}

TEST(ToolOptionsTest, SetsTimingFlowControlAndTheWire) {
  const ToolOptions o = parseOk({"--block-interval", "7", "--session-timeout=9000", "--wait-every", "4",
                                 "--wait-duration", "50", "--busy-after-end", "300", "--time-scale", "0.5"});
  EXPECT_EQ(o.instrument.blockInterval, Milliseconds{7});
  EXPECT_EQ(o.instrument.sessionTimeout, Milliseconds{9000});
  EXPECT_EQ(o.instrument.waitEveryBlocks, 4u);
  EXPECT_EQ(o.instrument.waitDuration, Milliseconds{50});
  EXPECT_EQ(o.instrument.busyAfterEndOfData, Milliseconds{300});
  EXPECT_DOUBLE_EQ(o.instrument.timeScale, 0.5);
  EXPECT_FALSE(o.instrument.wire.enabled);

  EXPECT_TRUE(parseOk({"--wire-model"}).instrument.wire.enabled);
  const ToolOptions w = parseOk({"--wire-rate", "1000", "--input-buffer", "64"});
  EXPECT_TRUE(w.instrument.wire.enabled);
  EXPECT_EQ(w.instrument.wire.bytesPerSecond, 1000u);
  EXPECT_EQ(w.instrument.wire.inputBufferBytes, 64u);
}

TEST(ToolOptionsTest, SetsEveryFault) {
  const Faults f = parseOk({"--silent",
                            "--answer-delay",
                            "10",
                            "--drop-answer",
                            "2",
                            "--size-error",
                            "-5",
                            "--corrupt-checksum-block",
                            "3",
                            "--repeat-counter-block",
                            "4",
                            "--stray-identify-after-block",
                            "5",
                            "--wait-without-ready-at-block",
                            "6",
                            "--delete-delay",
                            "7000",
                            "--error-at-block",
                            "8",
                            "--memory-full",
                            "--corrupt-stored-byte",
                            "211"})
                       .instrument.faults;
  EXPECT_TRUE(f.silent);
  EXPECT_EQ(f.answerDelay, Milliseconds{10});
  EXPECT_EQ(f.dropAnswer, 2u);
  EXPECT_EQ(f.sizeError, -5);
  EXPECT_EQ(f.corruptChecksumBlock, 3u);
  EXPECT_EQ(f.repeatCounterBlock, 4u);
  EXPECT_EQ(f.strayIdentifyAfterBlock, 5u);
  EXPECT_EQ(f.waitWithoutReadyAtBlock, 6u);
  EXPECT_EQ(f.deleteDelay, Milliseconds{7000});
  EXPECT_EQ(f.errorAtBlock, 8u);
  EXPECT_TRUE(f.memoryFull);
  EXPECT_EQ(f.corruptStoredByte, 211u);
}

TEST(ToolOptionsTest, RefusesValuesOutOfRange) {
  EXPECT_NE(parseError({"--device-number", "16"}).find("--device-number"), std::string::npos);
  parseError({"--device-number", "-1"});
  parseError({"--device-number", "abc"});
  parseError({"--device-number", "5x"});
  parseError({"--device-number", " 5"});
  parseError({"--device-number", ""});
  parseError({"--identify", "128", "0"});
  parseError({"--identify", "0", "0x80"});
  parseError({"--capacity", "268435456"});
  parseError({"--answer-delay", "-1"});
  parseError({"--answer-delay", "3600001"});
  parseError({"--session-timeout", "0"});
  parseError({"--drop-answer", "4294967296"});
  parseError({"--size-error", "2147483648"});
  parseError({"--time-scale", "0"});
  parseError({"--time-scale", "fast"});
  parseError({"--wire-rate", "0"});
  EXPECT_NE(parseError({"--api", "coreaudio"}).find("'coreaudio'"), std::string::npos);
}

TEST(ToolOptionsTest, RefusesMalformedCommandLines) {
  EXPECT_NE(parseError({"--dir", "/a", "--memory"}).find("--memory"), std::string::npos);
  parseError({"--memory", "--dir", "/a"});
  parseError({"--dir", ""});
  EXPECT_NE(parseError({"--device-number"}).find("--device-number"), std::string::npos);
  parseError({"--identify", "1"});
  parseError({"--identify=1"});
  parseError({"--silent=yes"});
  EXPECT_NE(parseError({"--bogus"}).find("'--bogus'"), std::string::npos);
  EXPECT_NE(parseError({"drive"}).find("'drive'"), std::string::npos);
}

TEST(ToolOptionsTest, HelpDocumentsEveryOption) {
  const std::string usage = toolUsage("quaverly-instrument");
  for (const char* option : {"--device-number",
                             "--dir",
                             "--memory",
                             "--capacity",
                             "--wire-model",
                             "--wire-rate",
                             "--input-buffer",
                             "--api",
                             "--identify",
                             "--refuse-transfer",
                             "--block-interval",
                             "--session-timeout",
                             "--wait-every",
                             "--wait-duration",
                             "--busy-after-end",
                             "--time-scale",
                             "--silent",
                             "--answer-delay",
                             "--drop-answer",
                             "--size-error",
                             "--corrupt-checksum-block",
                             "--repeat-counter-block",
                             "--stray-identify-after-block",
                             "--wait-without-ready-at-block",
                             "--delete-delay",
                             "--error-at-block",
                             "--memory-full",
                             "-v, --verbose",
                             "-h, --help"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  std::size_t start = 0;
  while (start < usage.size()) {
    const std::size_t end = usage.find('\n', start);
    const std::size_t length = (end == std::string::npos ? usage.size() : end) - start;
    EXPECT_LE(length, 80u) << usage.substr(start, length);
    start = end == std::string::npos ? usage.size() : end + 1;
  }
}

}  // namespace
}  // namespace quaverly::instrument::tool
