// What `put -r` sends: the PC files and folders named on the command line with
// everything below the folders, each file with the instrument folder it goes into,
// so that the PC's tree is mirrored below the instrument folder chosen.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly::cli {

struct SendPlan {
  std::vector<std::string> files;       // PC paths (UTF-8), in the order to send
  std::vector<std::string> subfolders;  // per file: its instrument folder below the chosen one, '\'-joined
  std::vector<std::string> folders;     // every instrument folder below the chosen one, parents first
  // Why entries cannot be sent as they are, one line each ("'PATH': reason").
  std::vector<std::string> refused;
};

class SendPlanner {
 public:
  // `destinationWireBytes` is the length of the chosen instrument folder's path;
  // every path below it must fit in `maxWirePathBytes`.
  SendPlanner(std::size_t destinationWireBytes, std::size_t maxWirePathBytes)
      : destinationWireBytes_(destinationWireBytes), maxWirePathBytes_(maxWirePathBytes) {}

  // Adds a PC file, or a folder with everything below it as a folder of its own name.
  // Names are checked against the instrument's 8.3 rule; the entries of a folder are
  // taken in the order of their names.
  void add(const std::filesystem::path& entry);

  const SendPlan& plan() const { return plan_; }

 private:
  void addEntry(const std::filesystem::path& entry, const std::string& folder);
  // Takes the instrument path (ASCII case ignored, as the instrument compares names);
  // false, and the clash noted, when another entry has it already.
  bool claim(const std::string& wirePath, const std::filesystem::path& entry);

  const std::size_t destinationWireBytes_;
  const std::size_t maxWirePathBytes_;
  SendPlan plan_;
  std::map<std::string, std::filesystem::path, protocol::LessIgnoringAsciiCase> wirePaths_;
};

}  // namespace quaverly::cli
