#include "portlib/PortSelectDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <string>

#include "portlib/system/MidiSystem.h"

namespace tonelink {

namespace {

// The resource's texts.
const QString kCaption = QStringLiteral("MIDIポート設定");
const QString kInLabel = QStringLiteral("MIDI IN Port");
const QString kOutLabel = QStringLiteral("MIDI OUT Port");
const QString kCancelJapanese = QStringLiteral("ｷｬﾝｾﾙ");
const QString kCancelEnglish = QStringLiteral("Cancel");

// The resource's font, 9 point. Windows also knows the face by its English name;
// where neither is installed the system's own face stands in at the same size.
QFont dialogFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  for (const QString& face : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic")}) {
    if (QFontDatabase::hasFamily(face)) {
      font.setFamilies({face});
      break;
    }
  }
  font.setPointSize(9);
  return font;
}

// Text from a C caller or a device name: UTF-8, as every text of the library.
QString fromSystemText(const char* text) {
  if (!text) return {};
  return QString::fromUtf8(text);
}

QString fromSystemText(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// value * numerator / denominator, rounded to the nearest integer as MulDiv does.
int mulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// Icon 132 of the resource, a MIDI socket, from the library's own resources: the 32-pixel
// picture, and the 64-pixel one for screens that draw at twice the pixel density.
QPixmap portSelectIcon(qreal pixelRatio) {
  QIcon icon;
  icon.addFile(QStringLiteral(":/tonelink/icon132.png"));
  icon.addFile(QStringLiteral(":/tonelink/icon132@2x.png"));
  return icon.pixmap(QSize(32, 32), pixelRatio);
}

template <typename Caps>
using CapsQuery = mm::MMRESULT (*)(mm::UINT, Caps*);

// Appends the product name of every device whose capability query succeeds, then
// selects the position equal to the current device id; an id past the end of the
// list leaves nothing selected.
template <typename Caps>
void fillList(QComboBox* list, mm::UINT count, CapsQuery<Caps> query, unsigned currentId) {
  for (mm::UINT id = 0; id < count; ++id) {
    Caps caps{};
    if (query(id, &caps) == mm::MMSYSERR_NOERROR) list->addItem(fromSystemText(caps.szPname));
  }
  list->setCurrentIndex(currentId < static_cast<unsigned>(list->count()) ? static_cast<int>(currentId) : -1);
}

// Reads a list's selected position; no selection counts as 0.
unsigned selectedPosition(const QComboBox* list) {
  const int index = list->currentIndex();
  return index < 0 ? 0u : static_cast<unsigned>(index);
}

}  // namespace

PortSelectDialog::PortSelectDialog(const QString& title, const QString& inLabel, const QString& outLabel,
                                   bool englishMode, unsigned inDeviceId, unsigned outDeviceId, QWidget* parent)
    // A fixed frame with title bar, system menu and close box: no minimise, maximise
    // or help button.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setFont(dialogFont());
  // Dialog base units as Windows derives them from the dialog font: the average
  // width of the Latin letters, rounded, and the character height.
  const QFontMetrics metrics(font());
  const int alphabetWidth =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (alphabetWidth / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());

  setWindowTitle(title.isEmpty() ? kCaption : title);
  setFixedSize(toPixels(0, 0, 211, 115).size());
  setSizeGripEnabled(false);

  // Created in the resource's order, which is also the tab order.
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setObjectName(QStringLiteral("okButton"));
  okButton_->setProperty("controlId", kOkId);
  okButton_->setGeometry(toPixels(47, 92, 50, 14));
  okButton_->setDefault(true);

  cancelButton_ = new QPushButton(englishMode ? kCancelEnglish : kCancelJapanese, this);
  cancelButton_->setObjectName(QStringLiteral("cancelButton"));
  cancelButton_->setProperty("controlId", kCancelId);
  cancelButton_->setGeometry(toPixels(115, 92, 50, 14));

  // Caller texts are shown as they are, never as markup.
  inLabel_ = new QLabel(inLabel.isEmpty() ? kInLabel : inLabel, this);
  inLabel_->setObjectName(QStringLiteral("inLabel"));
  inLabel_->setProperty("controlId", kInLabelId);
  inLabel_->setTextFormat(Qt::PlainText);
  inLabel_->setGeometry(toPixels(37, 14, 155, 8));

  outLabel_ = new QLabel(outLabel.isEmpty() ? kOutLabel : outLabel, this);
  outLabel_->setObjectName(QStringLiteral("outLabel"));
  outLabel_->setProperty("controlId", kOutLabelId);
  outLabel_->setTextFormat(Qt::PlainText);
  outLabel_->setGeometry(toPixels(37, 49, 155, 8));

  // A drop-down list's resource height includes its opened list; closed it is one
  // line high, and the rest sets how many entries the opened list shows.
  const auto placeList = [this](QComboBox* list, int x, int y, int width, int dropHeight) {
    const QRect full = toPixels(x, y, width, dropHeight);
    const int closedHeight = list->sizeHint().height();
    list->setGeometry(full.x(), full.y(), full.width(), closedHeight);
    const int itemHeight = std::max(1, QFontMetrics(list->font()).height());
    list->setMaxVisibleItems(std::max(1, (full.height() - closedHeight) / itemHeight));
  };

  inList_ = new QComboBox(this);
  inList_->setObjectName(QStringLiteral("inList"));
  inList_->setProperty("controlId", kInListId);
  fillList<mm::MIDIINCAPS>(inList_, mm::midiInGetNumDevs(), &mm::midiInGetDevCaps, inDeviceId);
  placeList(inList_, 47, 25, 145, 53);

  outList_ = new QComboBox(this);
  outList_->setObjectName(QStringLiteral("outList"));
  outList_->setProperty("controlId", kOutListId);
  fillList<mm::MIDIOUTCAPS>(outList_, mm::midiOutGetNumDevs(), &mm::midiOutGetDevCaps, outDeviceId);
  placeList(outList_, 47, 60, 145, 59);

  // An icon control takes the icon's own size, in pixels.
  icon_ = new QLabel(this);
  icon_->setObjectName(QStringLiteral("icon"));
  const QPixmap picture = portSelectIcon(devicePixelRatioF());
  icon_->setPixmap(picture);
  const QRect iconAt = toPixels(7, 7, 0, 0);
  icon_->setGeometry(iconAt.x(), iconAt.y(), 32, 32);

  okButton_->setFocus();
  connect(okButton_, &QPushButton::clicked, this, &PortSelectDialog::accept);
  connect(cancelButton_, &QPushButton::clicked, this, &PortSelectDialog::reject);
}

void PortSelectDialog::accept() {
  inPosition_ = selectedPosition(inList_);
  outPosition_ = selectedPosition(outList_);
  QDialog::accept();
}

QRect PortSelectDialog::toPixels(int x, int y, int width, int height) const {
  return {mulDiv(x, baseX_, 4), mulDiv(y, baseY_, 8), mulDiv(width, baseX_, 4), mulDiv(height, baseY_, 8)};
}

bool runPortSelectDialog(const char* title, const char* inLabel, const char* outLabel, bool englishMode,
                         unsigned& inDeviceId, unsigned& outDeviceId) {
  // Widgets need a QApplication, used from its own thread.
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!application || QThread::currentThread() != application->thread()) return false;

  QWidget* owner = QApplication::activeWindow();
  QPointer<PortSelectDialog> dialog =
      new PortSelectDialog(fromSystemText(title), fromSystemText(inLabel), fromSystemText(outLabel), englishMode,
                           inDeviceId, outDeviceId, owner);
  // Modal to its owner, as a dialog box disables only its owner window.
  dialog->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
  const int result = dialog->exec();
  // The owner may have been destroyed, and the dialog with it, while it was open.
  if (!dialog) return false;
  const bool accepted = result == QDialog::Accepted;
  if (accepted) {
    inDeviceId = dialog->inPosition();
    outDeviceId = dialog->outPosition();
  }
  delete dialog;
  return accepted;
}

}  // namespace tonelink
