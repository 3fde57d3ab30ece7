#include "app/shell/CWaitDlg.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>

#include "app/dialogs/DialogFont.h"
#include "app/dialogs/DialogUnits.h"
#include "app/dialogs/OwnerWindow.h"
#include "app/dialogs/UiText.h"
#include "app/messages/UiStrings.h"

namespace quaverly {

namespace {

constexpr int kTextControlId = 1005;

// The window has no buttons; Escape does not close it, only destroy() does.
class WaitWindow : public QDialog {
 public:
  WaitWindow() : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {}
  void reject() override {}
};

}  // namespace

CWaitDlg::CWaitDlg() = default;

CWaitDlg::~CWaitDlg() { destroy(); }

bool CWaitDlg::create(QWidget* parent) {
  if (window_) return true;
  QWidget* owner = ownerWindowFor(parent);
  ownerDisabler_ = std::make_unique<OwnerDisabler>(owner);

  auto* window = new WaitWindow;
  window->setFont(dialogFont());
  window->setWindowTitle(uiText(kTitleText));
  const DialogUnits units(dialogFont());
  window->setFixedSize(units.size(186, 47));

  text_ = new QLabel(window);
  text_->setObjectName(QStringLiteral("waitText"));
  text_->setProperty("controlId", kTextControlId);
  text_->setTextFormat(Qt::PlainText);
  text_->setAlignment(Qt::AlignCenter);
  text_->setFont(dialogFont());
  text_->setGeometry(units.rect(13, 7, 158, 8));

  window_ = window;
  placeInFrontOf(window, owner);
  window->show();
  return true;
}

void CWaitDlg::setText(const QString& text) {
  if (!window_) return;
  text_->setText(text);
  // The line grows (and the window with it) rather than cut a text that is wider
  // or taller than the template's line.
  const QRect needed = QFontMetrics(text_->font()).boundingRect(QRect(0, 0, 4096, 4096), Qt::AlignLeft, text);
  const QRect line = text_->geometry();
  const int extraWidth = std::max(0, needed.width() + 2 - line.width());
  const int extraHeight = std::max(0, needed.height() - line.height());
  if (extraWidth > 0 || extraHeight > 0) {
    text_->setGeometry(line.adjusted(0, 0, extraWidth, extraHeight));
    window_->setFixedSize(window_->size() + QSize(extraWidth, extraHeight));
  }
}

void CWaitDlg::destroy() {
  if (window_) {
    window_->hide();
    delete window_.data();
  }
  text_ = nullptr;
  ownerDisabler_.reset();
}

}  // namespace quaverly
