// What `get -r` receives: the instrument folders named on the command line with
// everything below them, each file with the PC folder it goes into, so that the
// instrument's tree is mirrored under the chosen PC folder.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/jobs/InstrumentFolderTree.h"
#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly::cli {

struct ReceivePlan {
  std::vector<FolderNode*> files;       // in the order to receive
  std::vector<std::string> subfolders;  // per file: its PC folder below the chosen one, '/'-joined
  std::vector<std::string> folders;     // every PC folder to make below the chosen one, parents first
  // Instrument paths (UTF-8) of entries whose names cannot be PC names, or that lie
  // too deep; a folder among them is left out with everything below it.
  std::vector<std::string> refused;
  // Two entries that would become one PC name (ASCII case ignored, as on the
  // instrument): their instrument paths. The plan must not be carried out then.
  std::vector<std::pair<std::string, std::string>> clashes;
};

class ReceivePlanner {
 public:
  // `maxWirePathBytes` bounds the instrument paths followed: deeper entries are refused.
  ReceivePlanner(InstrumentFolderTree& tree, std::size_t maxWirePathBytes)
      : tree_(tree), maxWirePathBytes_(maxWirePathBytes) {}

  // Adds `root` and everything below it, listing each folder from the instrument.
  // The drive adds its entries straight into the chosen folder; any other folder
  // adds a PC folder of its own name; a file goes into the chosen folder. An entry
  // planned already (roots that overlap) is not added twice.
  void add(FolderNode* root);

  const ReceivePlan& plan() const { return plan_; }

 private:
  void addEntry(FolderNode* node, const std::string& pcFolder);
  void addChildren(FolderNode* folder, const std::string& pcFolder);
  // Takes the PC path for the node; false when another entry has it already.
  bool claim(const std::string& pcPath, const FolderNode* node);

  InstrumentFolderTree& tree_;
  const std::size_t maxWirePathBytes_;
  ReceivePlan plan_;
  std::set<const FolderNode*> planned_;
  std::map<std::string, const FolderNode*, protocol::LessIgnoringAsciiCase> pcPaths_;  // -> the entry that has it
};

}  // namespace quaverly::cli
