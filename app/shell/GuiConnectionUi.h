// The connection check's user interface in the GUI: the wait window and the
// shared message pump.
#pragma once

#include <string_view>

#include "app/protocol/Connection.h"
#include "app/shell/CWaitDlg.h"

class QWidget;

namespace quaverly {

class GuiConnectionUi final : public protocol::ConnectionUi {
 public:
  // `owner`: the window the wait window disables while the check runs.
  explicit GuiConnectionUi(QWidget* owner);

  void showWait(std::string_view text) override;
  void pump() override;
  void closeWait() override;

 private:
  QWidget* owner_;
  CWaitDlg waitDlg_;
};

}  // namespace quaverly
