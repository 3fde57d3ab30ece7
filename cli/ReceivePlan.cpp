#include "cli/ReceivePlan.h"

#include <optional>

#include "app/jobs/PcFiles.h"

namespace quaverly::cli {

void ReceivePlanner::add(FolderNode* root) {
  if (!root) return;
  if (root == tree_.drive()) {
    addChildren(root, "");
  } else {
    addEntry(root, "");
  }
}

void ReceivePlanner::addEntry(FolderNode* node, const std::string& pcFolder) {
  if (!planned_.insert(node).second) return;
  const std::string wirePath = tree_.pathOf(node);
  const std::optional<std::string> name = protocol::shiftJisToUtf8(tree_.nameOf(node));
  // Such a name could lead outside the chosen folder, or name nothing there.
  if (!name || !isPlainFileName(*name) || wirePath.size() > maxWirePathBytes_) {
    plan_.refused.push_back(protocol::displayText(wirePath));
    return;
  }
  const std::string pcPath = pcFolder.empty() ? *name : pcFolder + "/" + *name;
  if (!claim(pcPath, node)) return;
  if (tree_.kindOf(node) == InstrumentFolderTree::kFile) {
    plan_.files.push_back(node);
    plan_.subfolders.push_back(pcFolder);
    return;
  }
  plan_.folders.push_back(pcPath);
  addChildren(node, pcPath);
}

void ReceivePlanner::addChildren(FolderNode* folder, const std::string& pcFolder) {
  tree_.listFolder(folder);
  for (FolderNode* child = tree_.firstChild(folder); child; child = tree_.nextSibling(child)) {
    addEntry(child, pcFolder);
  }
}

bool ReceivePlanner::claim(const std::string& pcPath, const FolderNode* node) {
  const auto [at, added] = pcPaths_.emplace(pcPath, node);
  if (added) return true;
  plan_.clashes.emplace_back(protocol::displayText(tree_.pathOf(at->second)),
                             protocol::displayText(tree_.pathOf(node)));
  return false;
}

}  // namespace quaverly::cli
