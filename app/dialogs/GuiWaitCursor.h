// The wait cursor of the GUI: the whole program shows the busy pointer while an
// instrument listing or delete waits for its replies.
#pragma once

#include "app/jobs/InstrumentFolderTree.h"

namespace quaverly {

class GuiWaitCursor final : public WaitCursor {
 public:
  // Each show() pushes the busy pointer over the application's own, each restore()
  // takes one away, so nested waits end with the pointer they started with.
  void show() override;
  void restore() override;
};

}  // namespace quaverly
