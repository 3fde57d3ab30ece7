#include "cli/ConvertCommand.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/jobs/AtomicFile.h"
#include "app/platform/Utf8Path.h"
#include "app/smf/SmfMerger.h"
#include "cli/FileInput.h"

namespace quaverly::cli {

namespace {

using smf::CSmfMerger;

constexpr std::string_view kSynopsis = "convert IN.mid OUT.mid";

// The merge takes the file's length as a 32-bit number.
constexpr std::size_t kLargestInput = 0xFFFFFFFFu;

// Why the merge refused the file, as the end of one line of text.
std::string refusalReason(std::int32_t status, const FileBytes& input) {
  switch (status) {
    case CSmfMerger::kNoMemory:
      return "not enough memory to convert it";
    case CSmfMerger::kMalformed:
      return "it is not a well-formed Standard MIDI File";
    case CSmfMerger::kNotFormat1: {
      const unsigned format = (unsigned{input.data()[8]} << 8) | input.data()[9];
      return "it is a format " + std::to_string(format) + " Standard MIDI File; only format 1 is converted";
    }
    case CSmfMerger::kCancelled:
      return "the conversion was cancelled";
    default:
      return "the conversion failed with status " + std::to_string(status);
  }
}

int runConvert(std::span<const std::string_view> args, const GlobalOptions&, std::ostream& out, std::ostream& err) {
  if (asksForHelp(args)) {
    out << "usage: quaverly-cli " << kSynopsis << "\n"
        << "Converts a format 1 Standard MIDI File to format 0 and writes it to OUT.mid.\n"
        << "IN.mid is never changed; OUT.mid is written only when the conversion succeeds.\n"
        << "Exit status: 0 converted, 1 out of memory, 5 not a well-formed Standard MIDI File,\n"
        << "6 not format 1, 2 wrong usage or a file that cannot be read or written.\n";
    return 0;
  }
  if (args.size() != 2) {
    err << "usage: quaverly-cli " << kSynopsis << "\n";
    return kExitUsageOrFile;
  }
  const std::filesystem::path inPath = platform::pathFromUtf8(args[0]);
  const std::filesystem::path outPath = platform::pathFromUtf8(args[1]);

  FileBytes input;
  if (auto error = readWholeFile(inPath, kLargestInput, input)) {
    err << "quaverly-cli: cannot read '" << args[0] << "': " << error->text << "\n";
    return kExitUsageOrFile;
  }
  // Writing over the input would break the promise that it stays as it is.
  std::error_code ignored;
  if (std::filesystem::equivalent(inPath, outPath, ignored)) {
    err << "quaverly-cli: '" << args[1] << "' is the input file; choose another output file\n";
    return kExitUsageOrFile;
  }

  CSmfMerger merger;
  merger.start(1, input.data(), static_cast<std::uint32_t>(input.size));
  while (!merger.waitFor(std::chrono::seconds(1))) {
  }
  const std::int32_t status = merger.status();
  if (status != CSmfMerger::kSuccess) {
    err << "quaverly-cli: cannot convert '" << args[0] << "': " << refusalReason(status, input) << "\n";
    return status;
  }

  const smf::MergedFile merged = merger.takeOutput();
  if (auto error = writeFileAtomically(outPath, merged.bytes())) {
    err << "quaverly-cli: cannot write '" << args[1] << "': " << error->text << "\n";
    return kExitUsageOrFile;
  }
  return 0;
}

const Command kConvert{"convert", kSynopsis, "convert a format 1 Standard MIDI File to format 0", runConvert};

}  // namespace

const Command& convertCommand() { return kConvert; }

}  // namespace quaverly::cli
