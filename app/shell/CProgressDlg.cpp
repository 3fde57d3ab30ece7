#include "app/shell/CProgressDlg.h"

#include <QCloseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <utility>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/MessagePump.h"
#include "app/dialogs/OwnerWindow.h"
#include "app/dialogs/UiText.h"
#include "app/messages/UiStrings.h"

namespace quaverly {

namespace {

constexpr int kCancelId = 2;

// The window's layout in pixels.
constexpr QSize kClientSize{292, 113};
constexpr QRect kCancelRect{103, 81, 88, 21};
constexpr QRect kPictureFrame{12, 11, 270, 60};
// The bar inside the picture frame: its offsets from the frame's left and top, the
// gap it leaves at the frame's right end, and its height.
constexpr int kBarLeft = 13;
constexpr int kBarTop = 40;
constexpr int kBarRightGap = 15;
constexpr int kBarHeight = 3;

int pictureOf(TransferKind kind) {
  switch (kind) {
    case TransferKind::Receive:
      return CProgressDlg::kReceivePicture;
    case TransferKind::Transmit:
      return CProgressDlg::kTransmitPicture;
  }
  return 0;
}

QRect progressBarRect(int percent) {
  const int left = kPictureFrame.left() + kBarLeft;
  const int frameRight = kPictureFrame.left() + kPictureFrame.width();  // first pixel past the frame
  const int length = (frameRight - left - kBarRightGap) * percent / 100;
  return {left, kPictureFrame.top() + kBarTop, length, kBarHeight};
}

}  // namespace

// The window itself: paints the picture and the bar, and turns Cancel, Escape and
// the close box into a cancel request; it stays open until the job destroys it.
class ProgressWindow : public QDialog {
 public:
  ProgressWindow(int picture, const int& percent)
      : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                             Qt::WindowCloseButtonHint),
        picture_(picture),
        percent_(percent) {
    setWindowTitle(uiText(kTitleText));
    setFixedSize(kClientSize);
    // Everything but the button is painted here; the picture covers its frame.
    auto* cancel = new QPushButton(uiText(kCancelText), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setProperty("controlId", kCancelId);
    cancel->setFont(dialogFont());
    cancel->setGeometry(kCancelRect);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &ProgressWindow::reject);
  }

  void reject() override { cancelRequested = true; }

  bool cancelRequested = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (picture_) bitmapLibrary().drawAt(painter, kPictureFrame.topLeft(), picture_);
    if (percent_ > 0) {
      const QImage bar = bitmapLibrary().image(CProgressDlg::kBarPicture);
      if (!bar.isNull()) painter.drawImage(progressBarRect(percent_), bar);
    }
  }

  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    reject();
  }

 private:
  int picture_;
  const int& percent_;
};

CProgressDlg::CProgressDlg(TransferKind kind, QWidget* owner) {
  QWidget* ownerWindow = ownerWindowFor(owner);
  ownerDisabler_ = std::make_unique<OwnerDisabler>(ownerWindow);
  auto* window = new ProgressWindow(pictureOf(kind), percent_);
  window_ = window;
  placeInFrontOf(window, ownerWindow);
  window->show();
}

CProgressDlg::~CProgressDlg() {
  if (window_) {
    window_->hide();
    delete window_.data();
  }
  ownerDisabler_.reset();
}

QDialog* CProgressDlg::window() const { return window_; }

QRect CProgressDlg::barRect(int percent) const { return progressBarRect(percent); }

void CProgressDlg::setRange(int low, int high) {
  rangeLow_ = low;
  rangeHigh_ = high;
}

void CProgressDlg::setPos(int position) {
  pumpMessages();
  // A position outside the range draws an empty or a full bar, never past the frame.
  const int span = rangeHigh_ - rangeLow_;
  const long long scaled = span > 0 ? (static_cast<long long>(position) - rangeLow_) * 100 / span : 100;
  percent_ = static_cast<int>(std::clamp<long long>(scaled, 0, 100));
  // Drawn at once, so the bar moves while the user-interface thread stays in the
  // job's polling loop. Only the bar's own rectangle is painted: a longer bar drawn
  // earlier stays until the window is painted as a whole.
  if (window_ && percent_ > 0) window_->repaint(progressBarRect(percent_));
}

bool CProgressDlg::pollCancel() {
  pumpMessages();
  if (!window_) return false;
  return std::exchange(window_->cancelRequested, false);
}

ProgressDisplayFactory guiProgressFactory(QWidget* owner) {
  QPointer<QWidget> guardedOwner = owner;
  return [guardedOwner](TransferKind kind) -> std::unique_ptr<ProgressDisplay> {
    return std::make_unique<CProgressDlg>(kind, guardedOwner.data());
  };
}

}  // namespace quaverly
