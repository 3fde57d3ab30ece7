#include "app/messages/UiStrings.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace quaverly {
namespace {

static_assert(sizeof("ｸ") == 4, "string literals must be encoded as UTF-8");

struct ResourceString {
  unsigned id;
  std::string_view text;
};

// Sorted by id (checked below) for a binary search.
constexpr ResourceString kStrings[] = {
    {103, "Quaverly"},
    {105, "Quaverly"},
    // The document template string.
    {128, "Quaverly\n\nQuaver\n\n\nQuaverly.Document\nQuaver Document"},
    // Date-and-time formats of the file lists.
    {129, "%02d/%02d/%02d  %02d:%02d"},
    {130, "%y/%m/%d  %H:%M"},
    // Japanese items, 1000 + n.
    {1000, "ｸｪｲﾊﾞﾘｰ"},
    {1001, "ﾌｧｲﾙ受信"},
    {1002, "ﾌｧｲﾙ送信"},
    {1003, "ｺﾝﾄﾛｰﾙ"},
    {1004, "SMF変換"},
    {1005, "ﾌｧｲﾙの場所(&I):"},
    {1006, "保存する場所(&S):"},
    {1007, "ﾌｧｲﾙの場所(&L):"},
    {1008, "ﾌｧｲﾙ名(&N):"},
    {1009, "ﾌｧｲﾙの種類(&T):"},
    {1010, "変換(&C)"},
    {1011, "受信(&R)"},
    {1012, "送信(&T)"},
    {1013, "ｷｬﾝｾﾙ"},
    {1014, "SMF変換"},
    {1015, "ﾌｧｲﾙ受信(楽器→ｺﾝﾋﾟｭｰﾀ)"},
    {1016, "ﾌｧｲﾙ送信(ｺﾝﾋﾟｭｰﾀ→楽器)"},
    {1017, "１つ上のﾌｫﾙﾀﾞへ"},
    {1018, "新しいﾌｫﾙﾀﾞの作成"},
    {1020, "一覧"},
    {1021, "詳細"},
    {1022, "ﾃﾞｽｸﾄｯﾌﾟ"},
    {1023, "ﾏｲｺﾝﾋﾟｭｰﾀ"},
    {1024, "楽器"},
    {1025, "ｺﾝﾄﾛｰﾙ"},
    {1026, "全てのﾌｫﾙﾀﾞ"},
    {1027, "開いているﾌｫﾙﾀﾞ : "},
    {1028, "最新の情報に更新"},
    {1029, "削除"},
    {1030, "DIR"},
    {1031, "名前"},
    {1032, "ｻｲｽﾞ"},
    {1033, "ﾌｧｲﾙの種類"},
    {1034, "更新日時"},
    {1035, "ﾌｫﾙﾀﾞ"},
    {1036, "ﾌｧｲﾙ"},
    {1037, "SMFﾌｧｲﾙ"},
    {1038, "ＭＳ Ｐゴシック"},
    {1039, "ｼｽﾃﾑﾌｫﾙﾀﾞ"},
    {1040, "0 ﾊﾞｲﾄ"},
    {1041, "種類"},
    {1042, "合計ｻｲｽﾞ"},
    {1043, "空き容量"},
    {1044, "ﾘﾑｰﾊﾞﾌﾞﾙﾃﾞｨｽｸ"},
    {1045, "ﾛｰｶﾙﾃﾞｨｽｸ"},
    {1046, "CD-ROM"},
    {1047, "ｼｽﾃﾑﾌｫﾙﾀﾞ"},
    {1048, "MIDIﾎﾟｰﾄの設定"},
    {1049, "ﾊﾞｰｼﾞｮﾝ情報（ｸｪｲﾊﾞﾘｰ）"},
    {1050, "ﾌｧｲﾙの種類(&F)"},
    {1051, "%s にｱｸｾｽできません。\nﾃﾞﾊﾞｲｽの準備ができていません。"},
    {1052, "すでに起動しています。"},
    {1053, "%s\nパスが存在しません。\nパス名を確認してください。"},
    {1054, "\"%s\"を作成できません。"},
    {1055, "残り容量:"},
    {1056, "KB"},
    {1057, "全て変換(&A)"},
    // English items, 2000 + n.
    {2000, "Quaverly"},
    {2001, "Receive"},
    {2002, "Transmit"},
    {2003, "Control"},
    {2004, "SMF Convert"},
    {2005, "Look &in:"},
    {2006, "&Save in:"},
    {2007, "&Look in:"},
    {2008, "File &name:"},
    {2009, "Files of &type:"},
    {2010, "&Convert"},
    {2011, "&Receive"},
    {2012, "&Transmit"},
    {2013, "Cancel"},
    {2014, "SMF Convert"},
    {2015, "Receive(Musical instrument->Computer)"},
    {2016, "Transmit(Computer->Musical instrument)"},
    {2017, "Up One Level"},
    {2018, "Create New Folder"},
    {2020, "List"},
    {2021, "Details"},
    {2022, "Desktop"},
    {2023, "My Computer"},
    {2024, "Musical instrument"},
    {2025, "Control"},
    {2026, "All Folders"},
    {2027, "Contents of : "},
    {2028, "Refresh"},
    {2029, "Delete"},
    {2030, "DIR"},
    {2031, "Name"},
    {2032, "Size"},
    {2033, "Type"},
    {2034, "Modified"},
    {2035, "Folder"},
    {2036, "File"},
    {2037, "SMF Files"},
    {2038, "MS Sans Serif"},
    {2039, "System Folder"},
    {2040, "0 byte"},
    {2041, "Type"},
    {2042, "Total Size"},
    {2043, "Free Space"},
    {2044, "Removable Disk"},
    {2045, "Local Disk"},
    {2046, "CD-ROM Disc"},
    {2047, "System Folder"},
    {2048, "MIDI Port Setup"},
    {2049, "About(Quaverly)"},
    {2050, "&Files of type"},
    {2051, "%s is not accessible.\nThe device is not ready."},
    {2052, "Already used for another file."},
    {2053, "%s\nThe path does not exist.\nMake sure that the correct path is given."},
    {2054, "Failed to create \"%s\"."},
    {2055, "Free space:"},
    {2056, "KB"},
    {2057, "Yes to &All"},
};

constexpr bool sortedAndUnique() {
  return std::adjacent_find(std::begin(kStrings), std::end(kStrings),
                            [](const ResourceString& a, const ResourceString& b) { return a.id >= b.id; }) ==
         std::end(kStrings);
}
static_assert(sortedAndUnique(), "resource strings must be sorted by id without repeats");

// Texts of the four-choice dialog's own template; only the Japanese Convert variant
// takes its Yes to All text from the string table (1057).
constexpr FourChoiceTexts kJapaneseFourChoice{"はい(&Y)", "すべて上書き(&A)", "いいえ(&N)", "ｷｬﾝｾﾙ"};
constexpr FourChoiceTexts kEnglishFourChoice{"&Yes", "Yes to &All", "&No", "Cancel"};
constexpr unsigned kJapaneseConvertAllString = 1057;

std::atomic<Language> g_language{Language::Japanese};

}  // namespace

Language languageFromLocaleId(unsigned localeId) {
  return localeId == kJapaneseLocaleId ? Language::Japanese : Language::English;
}

std::optional<Language> parseLanguageCode(std::string_view code) {
  if (code == "ja") return Language::Japanese;
  if (code == "en") return Language::English;
  return std::nullopt;
}

void setLanguage(Language language) {
  g_language.store(language);
  const auto catalogue = builtInCatalogue();
  installCatalogue(catalogue.data(), catalogue.size(), language);
}

Language uiLanguage() { return g_language.load(); }

bool isJapanese() { return uiLanguage() != Language::English; }

bool isEnglish() { return uiLanguage() == Language::English; }

unsigned stringBase() { return isEnglish() ? 1000U : 0U; }

std::string_view resourceString(unsigned id) {
  const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                    [](const ResourceString& entry, unsigned wanted) { return entry.id < wanted; });
  if (it == std::end(kStrings) || it->id != id) {
    return {};
  }
  return it->text;
}

std::string_view uiString(unsigned n) { return resourceString(1000U + n + stringBase()); }

MessageResult showResourceString(unsigned id, std::optional<std::string_view> argument) {
  return showText(MessageStyle::Notice, formatMessage(resourceString(id), argument));
}

std::optional<FourChoiceVariant> fourChoiceVariant(MessageStyle style) {
  switch (style) {
    case MessageStyle::OverwriteQuestion:
      return FourChoiceVariant::Overwrite;
    case MessageStyle::ConvertQuestion:
      return FourChoiceVariant::Convert;
    case MessageStyle::Notice:
    case MessageStyle::Question:
      break;
  }
  return std::nullopt;
}

FourChoiceTexts fourChoiceButtonTexts(FourChoiceVariant variant) {
  if (isEnglish()) {
    return kEnglishFourChoice;
  }
  FourChoiceTexts texts = kJapaneseFourChoice;
  if (variant == FourChoiceVariant::Convert) {
    texts.yesToAll = resourceString(kJapaneseConvertAllString);
  }
  return texts;
}

}  // namespace quaverly
