#include "app/shell/MainMenus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QString>

#include "app/dialogs/UiText.h"

namespace quaverly {

namespace {

using namespace command;

// Resource 128.
constexpr MenuItem kJapaneseFile[] = {{"終了(&X)", kExit}};
constexpr MenuItem kJapaneseTransfer[] = {
    {"ﾌｧｲﾙ受信(&R)...", kReceive}, {"ﾌｧｲﾙ送信(&T)...", kTransmit}, {"ｺﾝﾄﾛｰﾙ(&C)...", kControl}};
constexpr MenuItem kJapaneseSetup[] = {{"MIDIﾎﾟｰﾄの設定(&S)...", kMidiPortSetup}};
constexpr MenuItem kJapaneseHelp[] = {{"ﾏﾆｭｱﾙ(&M)", kManual}, {}, {"ﾊﾞｰｼﾞｮﾝ情報(&A)...", kAbout}};
constexpr MenuPopup kJapaneseMenu[] = {{"ﾌｧｲﾙ(&F)", kJapaneseFile},
                                       {"通信(&T)", kJapaneseTransfer},
                                       {"設定(&S)", kJapaneseSetup},
                                       {"ﾍﾙﾌﾟ(&H)", kJapaneseHelp}};

// Resource 129.
constexpr MenuItem kEnglishFile[] = {{"E&xit", kExit}};
constexpr MenuItem kEnglishTransfer[] = {
    {"&Receive...", kReceive}, {"&Transmit...", kTransmit}, {"&Control...", kControl}};
constexpr MenuItem kEnglishSetup[] = {{"MIDI Port &Setup...", kMidiPortSetup}};
constexpr MenuItem kEnglishHelp[] = {{"&Manual", kManual}, {}, {"&About Quaverly...", kAbout}};
constexpr MenuPopup kEnglishMenu[] = {
    {"&File", kEnglishFile}, {"&Transfer", kEnglishTransfer}, {"&Setup", kEnglishSetup}, {"&Help", kEnglishHelp}};

}  // namespace

std::span<const MenuPopup> mainMenu(Language language) {
  if (language == Language::English) return kEnglishMenu;
  return kJapaneseMenu;
}

void buildMainMenu(QMenuBar& bar, Language language, const std::function<void(int)>& onCommand) {
  for (const MenuPopup& popup : mainMenu(language)) {
    QMenu* menu = bar.addMenu(toQString(popup.title));
    for (const MenuItem& item : popup.items) {
      if (item.command == 0) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(toQString(item.text));
      action->setData(item.command);
      QObject::connect(action, &QAction::triggered, &bar, [onCommand, id = item.command] { onCommand(id); });
    }
  }
}

}  // namespace quaverly
