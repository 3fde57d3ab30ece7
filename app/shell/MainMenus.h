// The main window's menus, resource 128 (Japanese) and 129 (English), and the ids of
// the commands they and the main window's buttons send.
#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "app/messages/MessageCatalogue.h"

class QMenuBar;

namespace quaverly {

namespace command {
inline constexpr int kReceive = 32771;
inline constexpr int kTransmit = 32772;
inline constexpr int kControl = 32773;
inline constexpr int kMidiPortSetup = 32775;
inline constexpr int kManual = 32778;
inline constexpr int kAbout = 57664;
inline constexpr int kExit = 57665;
}  // namespace command

// One item of a pop-up menu; a separator has command 0 and no text. '&' marks the
// access key.
struct MenuItem {
  std::string_view text;
  int command = 0;
};

struct MenuPopup {
  std::string_view title;
  std::span<const MenuItem> items;
};

// The pop-up menus of the menu bar in `language`: File, Transfer, Setup, Help.
std::span<const MenuPopup> mainMenu(Language language);

// Fills `bar` with the menus of `language`; choosing an item calls onCommand with its
// command id. Each action also carries the id as its data.
void buildMainMenu(QMenuBar& bar, Language language, const std::function<void(int)>& onCommand);

}  // namespace quaverly
