// The instrument's answers to the connection messages and the file commands: who it
// answers, when it refuses, and what each command does to its memory.
#include <gtest/gtest.h>

#include "app/protocol/wire/SysexCatalogue.h"
#include "tests/instrument/InstrumentHarness.h"

namespace quaverly::instrument::testing {
namespace {

using protocol::SysexId;

Bytes findFirst(std::string_view pattern, std::uint8_t mask = protocol::kFindMaskFoldersAndFiles) {
  return protocol::buildFindFirst(0, mask, pattern);
}

// Every reply of a listing from FindFirst on, up to the refusal that ends it.
std::vector<Bytes> listAll(InstrumentHarness& h, std::string_view pattern,
                           std::uint8_t mask = protocol::kFindMaskFoldersAndFiles) {
  std::vector<Bytes> entries;
  Bytes r = h.ask(findFirst(pattern, mask));
  if (!is(SysexId::FindFirstReply, r)) return entries;
  entries.push_back(r);
  for (int guard = 0; guard < 1000; ++guard) {
    r = h.ask(message(SysexId::FindNext));
    if (!is(SysexId::FindNextReply, r)) {
      EXPECT_TRUE(is(SysexId::CommandRefused, r)) << "a listing ends with CommandRefused";
      break;
    }
    entries.push_back(r);
  }
  return entries;
}

std::vector<std::string> listedPaths(InstrumentHarness& h, std::string_view pattern,
                                     std::uint8_t mask = protocol::kFindMaskFoldersAndFiles) {
  std::vector<std::string> paths;
  for (const Bytes& e : listAll(h, pattern, mask)) paths.push_back(replyPath(e));
  return paths;
}

bool accepted(InstrumentHarness& h, const Bytes& command) {
  const Bytes r = h.ask(command);
  EXPECT_TRUE(is(SysexId::CommandAccepted, r) || is(SysexId::CommandRefused, r)) << "not a command answer";
  return is(SysexId::CommandAccepted, r);
}

Bytes makeFolder(std::string_view path) { return protocol::buildPathCommand(SysexId::MakeFolder, 0, path); }
Bytes deleteFolder(std::string_view path) { return protocol::buildPathCommand(SysexId::DeleteFolder, 0, path); }
Bytes deleteFile(std::string_view path) { return protocol::buildPathCommand(SysexId::DeleteFile, 0, path); }
Bytes rename(std::string_view from, std::string_view to) { return protocol::buildRename(0, from, to); }

// --- Who the instrument answers ---

class InstrumentDeviceNumber : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(InstrumentDeviceNumber, AnswersOnlyItsOwnNumberAndWithIt) {
  const std::uint8_t device = GetParam();
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.deviceNumber = device;
  InstrumentHarness h(o);
  for (std::uint8_t other : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{5}, std::uint8_t{15}}) {
    if (other == device) continue;
    EXPECT_TRUE(h.exchange(protocol::buildMessage(SysexId::IdentifyRequest, other)).empty()) << int(other);
    h.send(protocol::buildRemoteMode(other, true));
  }
  // RemoteMode for the other numbers did not put it into the transfer mode.
  EXPECT_TRUE(is(SysexId::RemoteRefused, h.ask(protocol::buildMessage(SysexId::RemoteCheck, device))));

  const Bytes identify = h.ask(protocol::buildMessage(SysexId::IdentifyRequest, device));
  ASSERT_TRUE(is(SysexId::IdentifyReply, identify));
  EXPECT_EQ(identify[2], 0x50 + device);

  h.enterTransferMode(device);
  h.addFile({"A.MID"}, Bytes(3, 7));
  for (const Bytes& request :
       {protocol::buildMessage(SysexId::RemoteCheck, device), protocol::buildMessage(SysexId::FreeSpaceRequest, device),
        protocol::buildFindFirst(device, 0x30, "0:\\*"), protocol::buildMessage(SysexId::FindNext, device),
        protocol::buildPathCommand(SysexId::FileRequest, device, "0:\\A.MID")}) {
    const Bytes r = h.ask(request);
    ASSERT_GE(r.size(), 3u);
    EXPECT_EQ(r[2], 0x50 + device) << "answer to request byte 6 = " << int(request[6]);
  }
  const auto stream = h.exchange(protocol::buildMessage(SysexId::Ready, device));
  ASSERT_EQ(stream.size(), 2u);
  for (const Bytes& m : stream) EXPECT_EQ(m[2], 0x50 + device);
}

INSTANTIATE_TEST_SUITE_P(Numbers, InstrumentDeviceNumber, ::testing::Values(0, 5, 15));

TEST(InstrumentAddressing, IgnoresOtherMakersBrokenAndUnterminatedMessages) {
  InstrumentHarness h;
  const Bytes identify = message(SysexId::IdentifyRequest);
  Bytes otherMaker = identify;
  otherMaker[1] = 0x41;
  Bytes unterminated(identify.begin(), identify.end() - 1);
  Bytes notSysex = identify;
  notSysex[0] = 0x90;
  Bytes otherFamily = identify;
  otherFamily[2] = 0x10;  // low nibble 0, but not 0x50
  for (const Bytes& m :
       {otherMaker, unterminated, notSysex, otherFamily, Bytes{}, Bytes{0xF0, 0x43, 0x50, 0xF7}, Bytes{0xF7}}) {
    EXPECT_TRUE(h.exchange(m).empty());
  }
  // None of them upset it.
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(identify)));

  // A command whose closing F7 never came is not carried out, even when what did
  // come reads as a complete one.
  h.enterTransferMode();
  h.addFile({"A.MID"}, Bytes(1, 1));
  Bytes cut = protocol::buildPathCommand(SysexId::DeleteFile, 0, "0:\\A.MID");
  cut.back() = 0x00;
  EXPECT_TRUE(h.exchange(cut).empty());
  EXPECT_EQ(h.names(), std::vector<std::string>{"A.MID"});
}

// --- Identity and the transfer mode ---

TEST(InstrumentConnection, IdentifiesAndEntersTransferMode) {
  InstrumentHarness h;
  EXPECT_EQ(h.ask(message(SysexId::IdentifyRequest)),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xF7}));
  EXPECT_TRUE(is(SysexId::RemoteRefused, h.ask(message(SysexId::RemoteCheck))));
  EXPECT_TRUE(h.exchange(protocol::buildRemoteMode(0, true)).empty());
  EXPECT_TRUE(h.instrument().inTransferMode());
  EXPECT_TRUE(is(SysexId::RemoteReady, h.ask(message(SysexId::RemoteCheck))));
  EXPECT_TRUE(h.exchange(protocol::buildRemoteMode(0, false)).empty());
  EXPECT_FALSE(h.instrument().inTransferMode());
  EXPECT_TRUE(is(SysexId::RemoteRefused, h.ask(message(SysexId::RemoteCheck))));
}

TEST(InstrumentConnection, IdentifyReplyCarriesTheConfiguredBytes) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.identifyA = 0x12;
  o.identifyB = 0x7F;
  o.deviceNumber = 3;
  InstrumentHarness h(o);
  const Bytes expected{0xF0, 0x43, 0x53, 0x00, 0x00, 0x00, 0x02, 0x12, 0x7F, 0xF7};
  EXPECT_EQ(h.ask(protocol::buildMessage(SysexId::IdentifyRequest, 3)), expected);
  h.enterTransferMode(3);
  EXPECT_EQ(h.ask(protocol::buildMessage(SysexId::IdentifyRequest, 3)), expected);
}

TEST(InstrumentConnection, RemoteModeWithAnUnknownValueChangesNothing) {
  InstrumentHarness h;
  const Bytes two = protocol::buildMessage(SysexId::RemoteMode, 0, Bytes{0x02});
  EXPECT_TRUE(h.exchange(two).empty());
  EXPECT_TRUE(is(SysexId::RemoteRefused, h.ask(message(SysexId::RemoteCheck))));
  h.enterTransferMode();
  EXPECT_TRUE(h.exchange(two).empty());
  EXPECT_TRUE(is(SysexId::RemoteReady, h.ask(message(SysexId::RemoteCheck))));
}

TEST(InstrumentConnection, PanelThatRefusesTransferKeepsRefusing) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.panelAllowsTransfer = false;
  InstrumentHarness h(o);
  h.addFile({"A.MID"}, Bytes(10, 1));
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
  EXPECT_TRUE(is(SysexId::RemoteRefused, h.ask(message(SysexId::RemoteCheck))));
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(findFirst("0:\\*"))));
  EXPECT_TRUE(is(SysexId::Error, h.ask(protocol::buildPathCommand(SysexId::FileRequest, 0, "0:\\A.MID"))));
}

// --- Outside the transfer mode ---

TEST(InstrumentOutsideTransferMode, RefusesEveryFileCommandAndTransfer) {
  InstrumentHarness h;
  h.addFile({"A.MID"}, Bytes(10, 1));
  h.addFolder({"EMPTY"});
  auto check = [&] {
    for (const Bytes& command :
         {makeFolder("0:\\NEW"), deleteFolder("0:\\EMPTY"), deleteFile("0:\\A.MID"), rename("0:\\A.MID", "0:\\B.MID"),
          findFirst("0:\\*"), message(SysexId::FindNext), message(SysexId::FreeSpaceRequest)}) {
      EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(command))) << "command byte 5 = " << int(command[5]);
    }
    EXPECT_TRUE(is(SysexId::Error, h.ask(protocol::buildPathCommand(SysexId::FileRequest, 0, "0:\\A.MID"))));
    EXPECT_TRUE(is(SysexId::Error, h.ask(protocol::buildFileHeader(0, 5, "0:\\C.MID"))));
    EXPECT_EQ(h.names(), (std::vector<std::string>{"A.MID", "EMPTY"}));
  };
  check();
  // After leaving the mode it refuses again.
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::FindFirstReply, h.ask(findFirst("0:\\*"))));
  EXPECT_TRUE(h.exchange(protocol::buildRemoteMode(0, false)).empty());
  check();
}

TEST(InstrumentOutsideTransferMode, LeavingTheModeEndsAListing) {
  InstrumentHarness h;
  h.addFile({"A.MID"}, Bytes(1, 1));
  h.addFile({"B.MID"}, Bytes(1, 1));
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::FindFirstReply, h.ask(findFirst("0:\\*"))));
  h.send(protocol::buildRemoteMode(0, false));
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext))));
}

// --- Folders ---

TEST(InstrumentFolders, MakesFoldersInTheDriveAndInSubFolders) {
  InstrumentHarness h;
  h.enterTransferMode();
  EXPECT_TRUE(accepted(h, makeFolder("0:\\POPS")));
  EXPECT_TRUE(accepted(h, makeFolder("0:\\pops\\Old")));  // parent found without regard to case
  EXPECT_TRUE(accepted(h, makeFolder("0:\\POPS\\OLD\\A_1")));
  EXPECT_EQ(h.names(), (std::vector<std::string>{"POPS"}));
  EXPECT_EQ(h.names({"POPS"}), (std::vector<std::string>{"Old"}));
  EXPECT_EQ(h.names({"POPS", "Old"}), (std::vector<std::string>{"A_1"}));
  ASSERT_TRUE(h.entry({"POPS"}));
  EXPECT_TRUE(h.entry({"POPS"})->folder);
}

TEST(InstrumentFolders, RefusesFoldersItCannotMake) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFile({"A.MID"}, Bytes(1, 1));
  for (std::string_view path :
       {"0:\\POPS", "0:\\pops", "0:\\a.mid", "0:\\NOPE\\SUB", "0:\\A.MID\\SUB", "0:\\TOOLONGNAME", "0:\\A.B.C",
        "0:\\SP ACE", "0:", "0:\\", "0:\\POPS\\", "1:\\X", "POPS2", ""}) {
    EXPECT_FALSE(accepted(h, makeFolder(path))) << path;
  }
  EXPECT_EQ(h.names(), (std::vector<std::string>{"POPS", "A.MID"}));
  EXPECT_TRUE(h.names({"POPS"}).empty());
}

TEST(InstrumentFolders, DeletesOnlyEmptyFolders) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFolder({"POPS", "SUB"});
  h.addFile({"POPS", "SUB", "A.MID"}, Bytes(1, 1));
  h.addFile({"B.MID"}, Bytes(1, 1));
  EXPECT_FALSE(accepted(h, deleteFolder("0:\\POPS")));
  EXPECT_FALSE(accepted(h, deleteFolder("0:\\POPS\\SUB")));
  EXPECT_FALSE(accepted(h, deleteFolder("0:\\B.MID")));  // a file
  EXPECT_FALSE(accepted(h, deleteFolder("0:\\NOPE")));
  EXPECT_FALSE(accepted(h, deleteFolder("0:")));
  EXPECT_FALSE(accepted(h, deleteFolder("0:\\")));
  EXPECT_TRUE(accepted(h, deleteFile("0:\\POPS\\SUB\\A.MID")));
  EXPECT_TRUE(accepted(h, deleteFolder("0:\\pops\\sub")));
  EXPECT_TRUE(h.names({"POPS"}).empty());
  EXPECT_TRUE(accepted(h, deleteFolder("0:\\POPS")));
  EXPECT_EQ(h.names(), (std::vector<std::string>{"B.MID"}));
}

// --- Deleting and renaming files ---

TEST(InstrumentFiles, DeletesFilesButNotFoldersReadOnlyOrMissingFiles) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFile({"POPS", "A.MID"}, Bytes(1, 1));
  h.addFile({"RO.MID"}, Bytes(1, 1), true);
  h.addFile({"B.MID"}, Bytes(1, 1));
  EXPECT_FALSE(accepted(h, deleteFile("0:\\POPS")));
  EXPECT_FALSE(accepted(h, deleteFile("0:\\RO.MID")));
  EXPECT_FALSE(accepted(h, deleteFile("0:\\C.MID")));
  EXPECT_FALSE(accepted(h, deleteFile("0:\\NOPE\\A.MID")));
  EXPECT_FALSE(accepted(h, deleteFile("0:\\A.MID")));  // it is in POPS
  EXPECT_FALSE(accepted(h, deleteFile("0:")));
  EXPECT_TRUE(accepted(h, deleteFile("0:\\pops\\a.mid")));
  EXPECT_TRUE(accepted(h, deleteFile("0:\\B.MID")));
  EXPECT_FALSE(accepted(h, deleteFile("0:\\B.MID")));  // already gone
  EXPECT_EQ(h.names(), (std::vector<std::string>{"POPS", "RO.MID"}));
  EXPECT_TRUE(h.names({"POPS"}).empty());
}

TEST(InstrumentFiles, RenameKeepsDataPlaceAndReadOnlyAttribute) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(500);
  h.addFile({"FIRST.MID"}, Bytes(1, 1));
  h.addFile({"SONG.MID"}, data, true);
  h.addFile({"LAST.MID"}, Bytes(1, 1));
  EXPECT_TRUE(accepted(h, rename("0:\\song.mid", "0:\\TUNE.MID")));
  EXPECT_EQ(h.names(), (std::vector<std::string>{"FIRST.MID", "TUNE.MID", "LAST.MID"}));
  const auto e = h.entry({"TUNE.MID"});
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->readOnly);
  EXPECT_EQ(h.fileContents({"TUNE.MID"}), data);
}

TEST(InstrumentFiles, RenamesAFolderWithItsContents) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFile({"POPS", "A.MID"}, Bytes(4, 4));
  EXPECT_TRUE(accepted(h, rename("0:\\POPS", "0:\\ROCK")));
  EXPECT_EQ(h.names(), (std::vector<std::string>{"ROCK"}));
  EXPECT_EQ(h.fileContents({"ROCK", "A.MID"}), Bytes(4, 4));
}

TEST(InstrumentFiles, RenameThatOnlyChangesCaseTakesTheNewSpelling) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"SONG.MID"}, Bytes(3, 3));
  EXPECT_TRUE(accepted(h, rename("0:\\SONG.MID", "0:\\Song.mid")));
  EXPECT_EQ(h.names(), (std::vector<std::string>{"Song.mid"}));
  EXPECT_EQ(h.fileContents({"Song.mid"}), Bytes(3, 3));
}

TEST(InstrumentFiles, RefusesRenamesThatBreakTheRules) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFolder({"ROCK"});
  h.addFile({"POPS", "A.MID"}, Bytes(1, 1));
  h.addFile({"POPS", "B.MID"}, Bytes(2, 2));
  const std::pair<std::string_view, std::string_view> refused[] = {
      {"0:\\POPS\\C.MID", "0:\\POPS\\D.MID"},  // old missing
      {"0:\\POPS\\A.MID", "0:\\POPS\\B.MID"},  // new exists
      {"0:\\POPS\\A.MID", "0:\\POPS\\b.mid"},  // new exists in another case
      {"0:\\POPS\\A.MID", "0:\\ROCK\\A.MID"},  // another folder
      {"0:\\POPS\\A.MID", "0:\\A.MID"},        // another folder
      {"0:\\POPS\\A.MID", "0:\\POPS\\LONGNAME1.MID"},
      {"0:\\POPS\\A.MID", "0:\\POPS\\A.MIDI"},
      {"0:\\POPS\\A.MID", "0:\\POPS\\"},
      {"0:\\POPS\\A.MID", "0:\\NOPE\\A.MID"},  // new in a missing folder
      {"0:\\NOPE\\X.MID", "0:\\POPS\\B.MID"},  // old in a missing folder, new exists
      {"0:\\NOPE\\X.MID", "0:\\POPS\\C.MID"},  // old in a missing folder
      {"0:", "0:\\POPS"},                      // the drive, onto an existing name
      {"0:", "0:\\NEW"},                       // the drive
      {"0:\\POPS", "0:"},                      // onto the drive
      {"0:\\POPS\\A.MID", "0:"},
      {"0:\\POPS", "0:\\ROCK"},  // folder onto an existing folder
  };
  for (const auto& [from, to] : refused) {
    EXPECT_FALSE(accepted(h, rename(from, to))) << from << " -> " << to;
  }
  EXPECT_EQ(h.names(), (std::vector<std::string>{"POPS", "ROCK"}));
  EXPECT_EQ(h.names({"POPS"}), (std::vector<std::string>{"A.MID", "B.MID"}));
  EXPECT_EQ(h.fileContents({"POPS", "B.MID"}), Bytes(2, 2));
  EXPECT_TRUE(h.names({"ROCK"}).empty());
}

TEST(InstrumentFiles, RefusesCommandsWithMalformedTexts) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"A.MID"}, Bytes(1, 1));
  h.addFolder({"E"});
  auto raw = [](SysexId id, std::string_view text) {
    return protocol::buildMessage(id, 0, Bytes(text.begin(), text.end()));
  };
  using namespace std::string_view_literals;
  const Bytes malformed[] = {
      raw(SysexId::DeleteFile, "0:\\A.MID"),        // no NUL
      raw(SysexId::DeleteFile, "0:\\A.MID\0X"sv),   // a byte after the NUL
      raw(SysexId::DeleteFile, "0:\\A.MID\0\0"sv),  // two NULs
      raw(SysexId::DeleteFolder, "0:\\E"),
      raw(SysexId::DeleteFolder, "0:\\E\0\0"sv),
      raw(SysexId::MakeFolder, "0:\\NEW"),
      raw(SysexId::Rename, "0:\\A.MID\0"sv),  // one text only
      raw(SysexId::Rename,
          "0:\\A.MID\0"
          "0:\\B.MID"sv),  // second text without NUL
      raw(SysexId::Rename,
          "0:\\A.MID\0"
          "0:\\B.MID\0X"sv),
      raw(SysexId::FindFirst,
          "\x30"
          "0:\\*"sv),               // pattern without NUL
      raw(SysexId::FindFirst, ""),  // no mask, no pattern
  };
  for (const Bytes& m : malformed) {
    EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(m)))
        << "command byte 5 = " << int(m[5]) << ", " << m.size() << " bytes";
  }
  EXPECT_EQ(h.names(), (std::vector<std::string>{"A.MID", "E"}));
  // The same texts well formed are carried out.
  EXPECT_TRUE(accepted(h, rename("0:\\A.MID", "0:\\B.MID")));
  EXPECT_TRUE(accepted(h, deleteFolder("0:\\E")));
}

// --- Listings ---

TEST(InstrumentListing, ListsTheDriveAndSubFolders) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"B.MID"}, Bytes(5, 1));
  h.addFolder({"POPS"});
  h.addFile({"POPS", "A.MID"}, Bytes(300, 2), true);
  auto r = h.ask(findFirst("0:\\*"));
  EXPECT_EQ(r, (Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x04, 0x01, 0x20, 0,   0,   0,
                      5,    '0',  ':',  '\\', 'B',  '.',  'M',  'I',  'D', 0xF7}));
  r = h.ask(message(SysexId::FindNext));
  EXPECT_EQ(
      r, (Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x05, 0x01, 0x10, 0, 0, 0, 0, '0', ':', '\\', 'P', 'O', 'P', 'S', 0xF7}));
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext))));

  const auto entries = listAll(h, "0:\\pops\\*");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(is(SysexId::FindFirstReply, entries[0]));
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(entries[i][7], 0x10);
    EXPECT_EQ(entrySize(entries[i]), 0u);
  }
  // The paths carry the stored names, whatever case the pattern used.
  EXPECT_EQ(replyPath(entries[0]), "0:\\POPS\\.");
  EXPECT_EQ(replyPath(entries[1]), "0:\\POPS\\..");
  EXPECT_EQ(replyPath(entries[2]), "0:\\POPS\\A.MID");
  EXPECT_EQ(entries[2][7], 0x21);
  EXPECT_EQ(entrySize(entries[2]), 300u);
}

TEST(InstrumentListing, KeepsStorageOrderNotSortedOrder) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"Z.MID"}, Bytes(1, 1));
  h.addFolder({"M"});
  h.addFile({"A.MID"}, Bytes(1, 1));
  h.addFolder({"B"});
  EXPECT_EQ(listedPaths(h, "0:\\*"), (std::vector<std::string>{"0:\\Z.MID", "0:\\M", "0:\\A.MID", "0:\\B"}));
  h.addFile({"M", "Y.MID"}, Bytes(1, 1));
  h.addFile({"M", "X.MID"}, Bytes(1, 1));
  EXPECT_EQ(listedPaths(h, "0:\\M\\*"),
            (std::vector<std::string>{"0:\\M\\.", "0:\\M\\..", "0:\\M\\Y.MID", "0:\\M\\X.MID"}));
}

TEST(InstrumentListing, DeepFolderPathsAreFullPaths) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"A"});
  h.addFolder({"A", "Bb"});
  h.addFile({"A", "Bb", "C.MID"}, Bytes(2, 2));
  EXPECT_EQ(listedPaths(h, "0:\\a\\BB\\*"),
            (std::vector<std::string>{"0:\\A\\Bb\\.", "0:\\A\\Bb\\..", "0:\\A\\Bb\\C.MID"}));
}

TEST(InstrumentListing, AttributeAndSizeOfEachKindOfEntry) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"PLAIN.MID"}, Bytes(20000, 1));  // needs three 7-bit digits
  h.addFile({"RO.MID"}, Bytes(128, 1), true);
  h.addFile({"EMPTY.MID"}, Bytes{});
  h.addFolder({"DIR"});
  const auto entries = listAll(h, "0:\\*");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0][7], 0x20);
  EXPECT_EQ(Bytes(entries[0].begin() + 8, entries[0].begin() + 12), (Bytes{0x00, 0x01, 0x1C, 0x20}));
  EXPECT_EQ(entries[1][7], 0x21);
  EXPECT_EQ(entrySize(entries[1]), 128u);
  EXPECT_EQ(entries[2][7], 0x20);
  EXPECT_EQ(entrySize(entries[2]), 0u);
  EXPECT_EQ(entries[3][7], 0x10);
  EXPECT_EQ(entrySize(entries[3]), 0u);
}

TEST(InstrumentListing, MaskWithoutTheFolderBitLeavesFoldersOut) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFile({"A.MID"}, Bytes(1, 1));
  h.addFolder({"POPS", "SUB"});
  h.addFile({"POPS", "B.MID"}, Bytes(1, 1));
  EXPECT_EQ(listedPaths(h, "0:\\*", 0x20), (std::vector<std::string>{"0:\\A.MID"}));
  EXPECT_EQ(listedPaths(h, "0:\\POPS\\*", 0x20), (std::vector<std::string>{"0:\\POPS\\B.MID"}));
  EXPECT_EQ(listedPaths(h, "0:\\POPS\\*", 0x10),
            (std::vector<std::string>{"0:\\POPS\\.", "0:\\POPS\\..", "0:\\POPS\\SUB", "0:\\POPS\\B.MID"}));
  // Only folders, and the mask leaves them out: nothing to list.
  h.addFolder({"ONLYDIR"});
  h.addFolder({"ONLYDIR", "X"});
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(findFirst("0:\\ONLYDIR\\*", 0x20))));
}

TEST(InstrumentListing, EmptyDriveIsRefusedEmptySubFolderHasDotEntriesOnly) {
  InstrumentHarness h;
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(findFirst("0:\\*"))));
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext))));
  h.addFolder({"E"});
  EXPECT_EQ(listedPaths(h, "0:\\E\\*"), (std::vector<std::string>{"0:\\E\\.", "0:\\E\\.."}));
}

TEST(InstrumentListing, FindNextPastTheEndStaysRefusedUntilANewFindFirst) {
  InstrumentHarness h;
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext))));  // no listing yet
  h.addFile({"A.MID"}, Bytes(1, 1));
  h.addFile({"B.MID"}, Bytes(1, 1));
  EXPECT_EQ(replyPath(h.ask(findFirst("0:\\*"))), "0:\\A.MID");
  EXPECT_EQ(replyPath(h.ask(message(SysexId::FindNext))), "0:\\B.MID");
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext))));
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext))));
  // FindFirst starts over, also in the middle of a listing.
  EXPECT_EQ(replyPath(h.ask(findFirst("0:\\*"))), "0:\\A.MID");
  EXPECT_EQ(replyPath(h.ask(findFirst("0:\\*"))), "0:\\A.MID");
  EXPECT_EQ(replyPath(h.ask(message(SysexId::FindNext))), "0:\\B.MID");
}

TEST(InstrumentListing, RefusesPatternsItCannotList) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFile({"POPS", "A.MID"}, Bytes(1, 1));
  h.addFile({"B.MID"}, Bytes(1, 1));
  for (std::string_view pattern : {"0:\\NOPE\\*", "0:\\B.MID\\*", "0:\\*.MID", "0:\\POPS", "0:\\POPS\\", "*", "",
                                   "1:\\*", "0:\\\\*", "0:\\POPS\\A.MID"}) {
    EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(findFirst(pattern)))) << pattern;
    // A refused FindFirst leaves no listing behind.
    EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext)))) << pattern;
  }
}

TEST(InstrumentListing, ListingIsASnapshotOfTheFolder) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"A.MID"}, Bytes(1, 1));
  h.addFile({"B.MID"}, Bytes(1, 1));
  EXPECT_EQ(replyPath(h.ask(findFirst("0:\\*"))), "0:\\A.MID");
  EXPECT_TRUE(accepted(h, deleteFile("0:\\B.MID")));
  EXPECT_EQ(replyPath(h.ask(message(SysexId::FindNext))), "0:\\B.MID");
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(message(SysexId::FindNext))));
}

// Shift JIS characters whose second byte is 0x5C (the backslash), such as 表 (95 5C)
// and ソ (83 5C), must not split a path, and second bytes in the letter range must not
// be folded: ア (83 41) and テ (83 61) are different names.
TEST(InstrumentListing, ShiftJisNamesWithBackslashOrLetterTrailBytes) {
  InstrumentHarness h;
  h.enterTransferMode();
  const std::string hyo = "\x95\x5C";
  const std::string so = "\x83\x5C";
  const std::string a = "\x83\x41";
  h.addFolder({hyo});
  h.addFile({hyo, so + ".MID"}, Bytes(7, 7));
  h.addFolder({a});
  h.addFile({a, "X.MID"}, Bytes(1, 1));

  EXPECT_EQ(listedPaths(h, "0:\\*"), (std::vector<std::string>{"0:\\" + hyo, "0:\\" + a}));
  EXPECT_EQ(listedPaths(h, "0:\\" + hyo + "\\*"),
            (std::vector<std::string>{"0:\\" + hyo + "\\.", "0:\\" + hyo + "\\..", "0:\\" + hyo + "\\" + so + ".MID"}));
  EXPECT_EQ(listedPaths(h, "0:\\" + a + "\\*").size(), 3u);
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(findFirst("0:\\\x83\x61\\*"))));

  // The file in the folder can be fetched and deleted by that path, its name folded for ASCII only.
  std::uint32_t announced = 0;
  const ReceivedStream s = fetchFile(h, "0:\\" + hyo + "\\" + so + ".mid", &announced);
  EXPECT_EQ(announced, 7u);
  EXPECT_EQ(s.data, Bytes(7, 7));
  EXPECT_TRUE(accepted(h, deleteFile("0:\\" + hyo + "\\" + so + ".MID")));
  EXPECT_TRUE(accepted(h, deleteFolder("0:\\" + hyo)));
  EXPECT_FALSE(accepted(h, deleteFolder("0:\\\x83\x61")));
}

// --- Free space ---

TEST(InstrumentFreeSpace, CountsFilesInWholeKilobyteClusters) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.capacityBytes = 10240;
  InstrumentHarness h(o);
  h.enterTransferMode();
  auto freeBytes = [&] {
    const Bytes r = h.ask(message(SysexId::FreeSpaceRequest));
    EXPECT_TRUE(is(SysexId::FreeSpaceReply, r));
    EXPECT_EQ(r.size(), 12u);
    return replyNumber(r);
  };
  EXPECT_EQ(freeBytes(), 10240u);
  h.addFolder({"DIR"});
  h.addFile({"EMPTY.MID"}, Bytes{});
  EXPECT_EQ(freeBytes(), 10240u);
  h.addFile({"ONE.MID"}, Bytes(1, 1));  // one cluster
  EXPECT_EQ(freeBytes(), 9216u);
  h.addFile({"DIR", "K.MID"}, Bytes(1024, 1), true);  // exactly one, read-only counts too
  EXPECT_EQ(freeBytes(), 8192u);
  h.addFile({"DIR", "K1.MID"}, Bytes(1025, 1));  // two
  EXPECT_EQ(freeBytes(), 6144u);
  h.addFile({"BIG.MID"}, Bytes(9000, 1));  // more than is left
  EXPECT_EQ(freeBytes(), 0u);
}

TEST(InstrumentFreeSpace, ReportsAtMostWhatTheSizeFieldCarries) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.capacityBytes = 0x20000000;  // 512 MiB: more than 28 bits
  InstrumentHarness h(o);
  h.enterTransferMode();
  const Bytes r = h.ask(message(SysexId::FreeSpaceRequest));
  ASSERT_TRUE(is(SysexId::FreeSpaceReply, r));
  EXPECT_EQ(replyNumber(r), 0x0FFFFFFFu);
}

}  // namespace
}  // namespace quaverly::instrument::testing
