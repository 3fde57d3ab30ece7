// Tonelink's port selection dialog: one drop-down list of the system's MIDI input
// devices and one of its output devices, laid out in dialog units like dialog
// resource 133. A list position is taken as the device id, even where a device whose
// capabilities could not be read was left out of the list.
#pragma once

#include <QDialog>
#include <QString>

#include "portlib/PortSelection.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tonelink {

class PortSelectDialog : public QDialog {
  Q_OBJECT

 public:
  // Control ids of the resource, also set as the dynamic property "controlId".
  static constexpr int kOkId = 1;
  static constexpr int kCancelId = 2;
  static constexpr int kInLabelId = 1000;
  static constexpr int kOutLabelId = 1001;
  static constexpr int kInListId = 1002;
  static constexpr int kOutListId = 1003;

  // Each text replaces the resource's caption or label only when it is not empty.
  // The lists are filled from the devices and the current ids preselected here, so
  // the dialog is ready to show when the constructor returns.
  PortSelectDialog(const QString& title, const QString& inLabel, const QString& outLabel, bool englishMode,
                   unsigned inDeviceId, unsigned outDeviceId, QWidget* parent = nullptr);

  // The positions read when OK closed the dialog; 0 until then.
  unsigned inPosition() const { return inPosition_; }
  unsigned outPosition() const { return outPosition_; }

  // Reads the selected position of each list (no selection counts as 0), then
  // closes with OK. Cancel, Esc and the close box reject without reading.
  void accept() override;

 private:
  QRect toPixels(int x, int y, int width, int height) const;

  int baseX_ = 0;  // average character width of the dialog font, in pixels
  int baseY_ = 0;  // character height of the dialog font, in pixels
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QLabel* inLabel_ = nullptr;
  QLabel* outLabel_ = nullptr;
  QComboBox* inList_ = nullptr;
  QComboBox* outList_ = nullptr;
  QLabel* icon_ = nullptr;
  unsigned inPosition_ = 0;
  unsigned outPosition_ = 0;
};

}  // namespace tonelink
