// The main window's view: the picture of bitmap 131 with three picture buttons on it
// (Receive, Transmit, Control), and the commands that talk to the instrument.
#pragma once

#include <QWidget>

#include <array>

#include "app/dialogs/PictureButton.h"

namespace quaverly {

class CTessitorDoc;
struct AppSettings;

class CTessitorView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBackgroundBitmapId = 131;

  // `settings` keeps what the commands' dialogs remember: the Control dialog's size
  // and the instrument folder shown last.
  CTessitorView(CTessitorDoc& document, AppSettings& settings, QWidget* parent = nullptr);

  CTessitorDoc& document() const { return document_; }

  // The button that sends `commandId`; null for a command without one.
  PictureButton* button(int commandId);

  // Receive, Transmit or Control: shows the command's button pressed, checks the
  // connection to the instrument (the user is told when it fails), runs the
  // command's dialog, closes the connection again, and returns the button to normal.
  void runInstrumentCommand(int commandId);

 signals:
  // A button was released over itself.
  void commandPosted(int commandId);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // The command's dialog, run modally on the connected link.
  void runControlDialog();
  void runTransferDialog(int commandId);

  CTessitorDoc& document_;
  AppSettings& settings_;
  std::array<PictureButton, 3> buttons_;
};

}  // namespace quaverly
