#include "app/shell/CTessitorView.h"

#include <QPainter>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/CTransmitDlg.h"
#include "app/dialogs/UiText.h"
#include "app/filemanager/ControlDialog.h"
#include "app/jobs/InstrumentFileCommands.h"
#include "app/jobs/JobUserInterface.h"
#include "app/protocol/Connection.h"
#include "app/protocol/FileCommands.h"
#include "app/settings/AppSettings.h"
#include "app/shell/CProgressDlg.h"
#include "app/shell/GuiConnectionUi.h"
#include "app/shell/MainMenus.h"

namespace quaverly {

namespace {

struct ButtonLayout {
  int command;
  int left, top, right, bottom;  // client pixels of the view, right and bottom exclusive
  int normalBitmap, pressedBitmap, hoverBitmap;
  unsigned tooltipItem;  // user-interface string item
};

constexpr ButtonLayout kButtons[] = {
    {command::kReceive, 104, 32, 197, 59, 136, 137, 184, 1},
    {command::kTransmit, 101, 61, 194, 88, 138, 132, 185, 2},
    {command::kControl, 101, 93, 194, 116, 134, 135, 183, 3},
};

}  // namespace

CTessitorView::CTessitorView(CTessitorDoc& document, AppSettings& settings, QWidget* parent)
    : QWidget(parent), document_(document), settings_(settings) {
  // The picture covers the whole view; nothing is erased beneath it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(bitmapLibrary().bitmapSize(kBackgroundBitmapId));
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const ButtonLayout& layout = kButtons[i];
    PictureButton& button = buttons_[i];
    button.create(QRect(layout.left, layout.top, layout.right - layout.left, layout.bottom - layout.top), this,
                  layout.command);
    button.setBitmaps(layout.normalBitmap, layout.pressedBitmap, layout.hoverBitmap);
    button.setToolTip(uiText(layout.tooltipItem));
    connect(&button, &PictureButton::commandPosted, this, &CTessitorView::commandPosted);
  }
}

PictureButton* CTessitorView::button(int commandId) {
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    if (kButtons[i].command == commandId) return &buttons_[i];
  }
  return nullptr;
}

void CTessitorView::runInstrumentCommand(int commandId) {
  PictureButton* pressed = button(commandId);
  if (!pressed) return;
  pressed->showPressed();
  protocol::Link& link = protocol::Link::instance();
  GuiConnectionUi ui(this);
  if (protocol::linkConnect(link, ui)) {
    if (commandId == command::kControl) {
      runControlDialog();
    } else {
      runTransferDialog(commandId);
    }
    protocol::linkDisconnect(link);
  }
  pressed->reset();
}

void CTessitorView::runControlDialog() {
  LinkFileCommands commands(protocol::Link::instance());
  ControlDialog dialog(commands, settings_.currentInstrumentFolder, this);
  dialog.setOuterSize(QSize(settings_.ctrlDlgWidth, settings_.ctrlDlgHeight));
  dialog.exec();
  settings_.ctrlDlgWidth = dialog.outerSize().width();
  settings_.ctrlDlgHeight = dialog.outerSize().height();
}

void CTessitorView::runTransferDialog(int commandId) {
  protocol::Link& link = protocol::Link::instance();
  PresenterJobUserInterface ui(guiProgressFactory(this));
  const TransferSettings transfer{{settings_.intervalByteCount, settings_.intervalTimeMs}, settings_.convertMode};
  TransferServices services{
      [&](const ReceiveRequest& request) {
        JobEnvironment environment{link, transfer, ui};
        runReceiveJob(request, environment);
      },
      [&](const TransmitRequest& request) {
        JobEnvironment environment{link, transfer, ui};
        runTransmitJob(request, environment);
      },
      [&link]() -> std::optional<std::uint32_t> {
        std::uint32_t bytes = 0;
        if (protocol::freeSpace(link, bytes) != protocol::kLinkSuccess) return std::nullopt;
        return bytes;
      }};
  LinkFileCommands commands(link);
  CTransmitDlg dialog(commandId == command::kReceive ? TransferMode::Receive : TransferMode::Transmit, commands,
                      settings_, std::move(services), this);
  dialog.setInitialFolder(toQString(settings_.currentFolder));
  dialog.runModal();
  settings_.currentFolder = dialog.pcFolder();
}

void CTessitorView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  bitmapLibrary().drawAt(painter, QPoint(0, 0), kBackgroundBitmapId);
}

}  // namespace quaverly
