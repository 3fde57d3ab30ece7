// The device commands of quaverly-cli against the virtual instrument.
//
// Every command that reaches the instrument waits out the connection check's fixed
// settling time (about 2.5 s), so the cases are grouped to keep those runs few.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/cli/CliDeviceTest.h"

namespace quaverly::clitest {
namespace {

class DeviceCommandsTest : public CliDeviceTest {};

TEST_F(DeviceCommandsTest, PortsListsTheVirtualInstrument) {
  CliRun r = run({"ports"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const int in = virtualIndex(r.out, "Input devices");
  const int out = virtualIndex(r.out, "Output devices");
  ASSERT_GE(in, 0) << r.out;
  ASSERT_GE(out, 0) << r.out;

  // Chosen by index, the device is the one marked.
  r = run({"--in", std::to_string(in), "ports", "--out", std::to_string(out)});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("* " + std::to_string(in) + "  Quaverly Virtual Instrument"), std::string::npos) << r.out;
  EXPECT_EQ(count(r.out, "* "), 2) << r.out;

  // Chosen by part of its name, without regard to case; a part that several names
  // hold (another program may offer a port of that name) is refused.
  std::string lowered = r.out;
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
  const int holders = count(lowered, "virtual");
  r = run({"ports", "--in=VIRTUAL", "--out", "virtual"});
  if (holders == 2) {
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(count(r.out, "* "), 2) << r.out;
    EXPECT_EQ(count(r.out, "* " + std::to_string(in) + "  Quaverly Virtual Instrument"), in == out ? 2 : 1) << r.out;
  } else {
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("'VIRTUAL' is part of"), std::string::npos) << r.err;
  }
}

TEST_F(DeviceCommandsTest, ListsTheDriveAndFolders) {
  CliRun r = runOnInstrument({"ls"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // Folders first, each group by name; the read-only file is marked.
  EXPECT_EQ(r.out,
            "DIR  -          - EMPTY\n"
            "DIR  -          - POPS\n"
            "FILE r         50 LOCKED.MID\n"
            "FILE -        100 SONG1.MID\n"
            "FILE -       2000 SONG2.MID\n");
  EXPECT_EQ(r.err, std::string(kConfirming) + "\n");

  // Another letter case and separator, a trailing separator, the drive left out.
  r = runOnInstrument({"ls", "pops/"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "FILE -       1500 A.MID\n"
            "FILE -         10 B.MID\n");

  // A file is listed by itself; -v traces every message with a timestamp, the last
  // one taking the instrument out of the transfer mode.
  r = runOnInstrument({"-v", "ls", "0:\\POPS\\A.MID"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "FILE -       1500 A.MID\n");
  const std::regex traced(R"(^\[ *\d+\.\d{3}\] (out|in ) F0 43 5[0-9A-F]( [0-9A-F]{2})* F7$)");
  int outgoing = 0;
  int incoming = 0;
  std::string last;
  for (const std::string& line : linesOf(r.err)) {
    if (!line.starts_with("[")) continue;
    EXPECT_TRUE(std::regex_match(line, traced)) << line;
    (line.find("] out ") != std::string::npos ? outgoing : incoming)++;
    last = line;
  }
  EXPECT_GE(outgoing, 5) << r.err;
  EXPECT_GE(incoming, 4) << r.err;
  EXPECT_TRUE(last.ends_with("out F0 43 50 00 00 01 00 00 F7")) << last;

  // A folder that is not there.
  r = runOnInstrument({"ls", "0:/NOSUCH"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(reportLines(r.err), std::vector<std::string>{"quaverly-cli: Can't find \"0:\\NOSUCH\"."}) << r.err;
}

// The --json documents, read back by a JSON parser: the same facts as the text.
TEST_F(DeviceCommandsTest, JsonOutputIsOneParsableDocument) {
  const auto parse = [](const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text;
    return document.object();
  };
  CliRun r = runOnInstrument({"ls", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const QJsonObject listing = parse(r.out);
  EXPECT_EQ(listing["path"].toString(), "0:");
  const QJsonArray entries = listing["entries"].toArray();
  ASSERT_EQ(entries.size(), 5);
  EXPECT_EQ(entries[1].toObject()["name"].toString(), "POPS");
  EXPECT_EQ(entries[1].toObject()["kind"].toString(), "folder");
  EXPECT_TRUE(entries[1].toObject()["size"].isNull());
  const QJsonObject locked = entries[2].toObject();
  EXPECT_EQ(locked["name"].toString(), "LOCKED.MID");
  EXPECT_EQ(locked["kind"].toString(), "file");
  EXPECT_EQ(locked["size"].toInteger(), 50);
  EXPECT_TRUE(locked["readOnly"].toBool());
  EXPECT_FALSE(entries[3].toObject()["readOnly"].toBool());

  r = runOnInstrument({"--json", "df"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const QJsonObject space = parse(r.out);
  EXPECT_EQ(space["freeBytes"].toInteger(), 2089984);
  EXPECT_EQ(space["freeKilobytes"].toInteger(), 2041);

  r = run({"ports", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const QJsonObject ports = parse(r.out);
  for (const char* direction : {"inputs", "outputs"}) {
    bool found = false;
    for (const QJsonValue device : ports[direction].toArray()) {
      found = found || device.toObject()["name"].toString() == "Quaverly Virtual Instrument";
      EXPECT_TRUE(device.toObject()["index"].isDouble());
    }
    EXPECT_TRUE(found) << r.out;
  }

  // The other commands have no JSON form: refused before anything is sent.
  r = run({"rm", "--json", "SONG1.MID"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(reportLines(r.err), std::vector<std::string>{"quaverly-cli: --json is for ls, df, ports and probe"});
}

TEST_F(DeviceCommandsTest, FreeSpaceIsTheCapacityLessWholeClusters) {
  const CliRun r = runOnInstrument({"df"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // 2 MiB less the files in 1 KiB clusters: 100, 2000, 1500, 10 and 50 bytes take
  // 1, 2, 2, 1 and 1 clusters.
  EXPECT_EQ(r.out, "2089984 bytes free (2041 KB)\n");
}

TEST_F(DeviceCommandsTest, RenameChecksTheNameBeforeAnythingIsSent) {
  const std::vector<std::string> before = entries(memory_);
  CliRun r = runOnInstrument({"-v", "mv", "SONG1.MID", "TOOLONGNAME.MID"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(reportLines(r.err),
            std::vector<std::string>{
                "quaverly-cli: Specify up to 8 letters for the file name and up to 3 for the extension."})
      << r.err;
  EXPECT_FALSE(sentAnything(r.err)) << r.err;
  EXPECT_EQ(count(r.err, kConfirming), 0);

  // The system's language chooses the message's, and --lang overrides it.
  environment_["LANG"] = "ja_JP.UTF-8";
  r = runOnInstrument({"mv", "SONG1.MID", "two..dots"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "quaverly-cli: ファイル名の指定は、８文字＋拡張子３文字以内、半角文字で指定してください。\n");
  r = runOnInstrument({"mv", "SONG1.MID", "曲.MID", "--lang", "en"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "quaverly-cli: Specify up to 8 letters for the file name and up to 3 for the extension.\n");
  environment_["LANG"] = "C";
  EXPECT_EQ(entries(memory_), before);

  r = runOnInstrument({"mv", "song1.mid", "NEW.MID"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(memory_ / "NEW.MID"));
  EXPECT_FALSE(fs::exists(memory_ / "SONG1.MID"));

  // A name another entry holds, in any letter case.
  r = runOnInstrument({"mv", "NEW.MID", "song2.mid"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(reportLines(r.err),
            std::vector<std::string>{"quaverly-cli: The name is already used. Enter another file name."});
  EXPECT_TRUE(fs::exists(memory_ / "NEW.MID"));
  EXPECT_EQ(fs::file_size(memory_ / "SONG2.MID"), 2000u);

  r = runOnInstrument({"mv", "POPS/MISSING.MID", "X.MID"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(reportLines(r.err), std::vector<std::string>{"quaverly-cli: Can't find \"0:\\POPS\\MISSING.MID\"."});
  EXPECT_EQ(entries(memory_ / "POPS"), (std::vector<std::string>{"A.MID", "B.MID"}));
}

TEST_F(DeviceCommandsTest, RemoveDeletesFilesAndReportsEachFailure) {
  CliRun r = runOnInstrument({"rm", "SONG1.MID", "pops\\b.mid"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(reportLines(r.err), std::vector<std::string>{}) << r.err;
  EXPECT_EQ(entries(memory_), (std::vector<std::string>{"EMPTY", "LOCKED.MID", "POPS", "SONG2.MID"}));
  EXPECT_EQ(entries(memory_ / "POPS"), std::vector<std::string>{"A.MID"});

  // Each failure has its line; the files after it are still deleted.
  r = runOnInstrument({"rm", "MISSING.MID", "LOCKED.MID", "POPS", "SONG2.MID"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(reportLines(r.err), (std::vector<std::string>{
                                    "quaverly-cli: Cannot delete \"0:\\MISSING.MID\". Cannot find the specified file.",
                                    "quaverly-cli: 0:\\LOCKED.MID: Cannot delete Read-only files.",
                                    "quaverly-cli: cannot delete 0:\\POPS: it is a folder (use rmdir)",
                                }))
      << r.err;
  EXPECT_EQ(entries(memory_), (std::vector<std::string>{"EMPTY", "LOCKED.MID", "POPS"}));

  // Bad input sends nothing.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"rm"}, {"rm", "A.MID", "0:"}}) {
    r = runOnInstrument(args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(linesOf(r.err).size(), 1u) << r.err;
  }
}

TEST_F(DeviceCommandsTest, MakesAndRemovesFolders) {
  CliRun r = runOnInstrument({"mkdir", "bad.name.x"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "quaverly-cli: Specify up to 8 letters for the folder name.\n");

  r = runOnInstrument({"mkdir", "0:/NEWDIR"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::is_directory(memory_ / "NEWDIR"));

  r = runOnInstrument({"mkdir", "newdir"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(reportLines(r.err),
            std::vector<std::string>{"quaverly-cli: The name is already used. Enter another file name."});

  r = runOnInstrument({"mkdir", "NOSUCH/SUB"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(reportLines(r.err), std::vector<std::string>{"quaverly-cli: Can't find \"0:\\NOSUCH\"."});

  // Only an empty folder is deleted, and only a folder.
  r = runOnInstrument({"rmdir", "POPS"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(
      reportLines(r.err),
      std::vector<std::string>{"quaverly-cli: Before you delete folder \"0:\\POPS\" , first delete all files in it."});
  EXPECT_EQ(entries(memory_ / "POPS"), (std::vector<std::string>{"A.MID", "B.MID"}));

  r = runOnInstrument({"rmdir", "SONG2.MID"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(fs::exists(memory_ / "SONG2.MID"));

  r = runOnInstrument({"rmdir", "/newdir/"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(memory_ / "NEWDIR"));
  EXPECT_EQ(entries(memory_), (std::vector<std::string>{"EMPTY", "LOCKED.MID", "POPS", "SONG1.MID", "SONG2.MID"}));
}

TEST_F(DeviceCommandsTest, FindsAnInstrumentOnDeviceNumberFive) {
  environment_["QUAVERLY_INSTRUMENT_DEVICE"] = "5";
  const CliRun r = runOnInstrument({"ls", "-v", "POPS"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "FILE -       1500 A.MID\n"
            "FILE -         10 B.MID\n");
  // Numbers 0 to 4 were asked in vain; everything after goes to 5.
  for (const char* device : {"50", "51", "52", "53", "54"}) {
    EXPECT_EQ(count(r.err, std::string("out F0 43 ") + device + " 00 00 00 01 F7"), 1) << device;
  }
  EXPECT_EQ(count(r.err, "in  F0 43 55"), count(r.err, "in  F0 43 5")) << r.err;
  EXPECT_NE(r.err.find("out F0 43 55 00 01 04"), std::string::npos) << r.err;  // the listing
}

// probe asks every device number who it is and sends nothing else; --store keeps the
// pair found as the program's devices.
TEST_F(DeviceCommandsTest, ProbeFindsTheInstrumentWithoutChangingIt) {
  environment_["QUAVERLY_INSTRUMENT_DEVICE"] = "5";
  CliRun r = runOnInstrument({"-v", "probe", "--json", "--store"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  QJsonParseError error{};
  const QJsonObject result = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
  const QJsonArray answers = result["answers"].toArray();
  ASSERT_EQ(answers.size(), 1) << r.out;
  const QJsonObject answer = answers[0].toObject();
  EXPECT_EQ(answer["deviceNumber"].toInt(), 5);
  EXPECT_EQ(answer["input"].toObject()["name"].toString(), "Quaverly Virtual Instrument");
  EXPECT_EQ(answer["reply"].toArray().size(), 2);
  EXPECT_TRUE(result["stored"].toBool());
  // Every message sent is an identify request, one per device number.
  const std::regex identify(R"(^\[ *\d+\.\d{3}\] out F0 43 5[0-9A-F] 00 00 00 01 F7$)");
  int sent = 0;
  for (const std::string& line : linesOf(r.err)) {
    if (line.find("] out ") == std::string::npos) continue;
    EXPECT_TRUE(std::regex_match(line, identify)) << line;
    ++sent;
  }
  EXPECT_EQ(sent, 16);
  const int input = answer["input"].toObject()["index"].toInt();
  r = runOnInstrument({"-v", "df"});
  EXPECT_NE(r.err.find("stored devices " + std::to_string(input) + " in"), std::string::npos) << r.err;

  // An argument it does not know: refused before anything is sent.
  r = run({"probe", "--", "--everything"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_EQ(count(r.err, " out "), 0) << r.err;
}

// A session runs its commands over one connection check and stops at the first
// failure, whose exit status it takes; --keep-going runs the rest.
TEST_F(DeviceCommandsTest, SessionRunsManyCommandsOverOneConnection) {
  CliRun r = runOnInstrument({"-v", "session", "-c",
                              "ls POPS; df  # the free memory\nmkdir NEW\n\nls 'POPS/A.MID'; rmdir NEW"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(count(r.err, std::string(kConfirming)), 1) << r.err;
  // One identify request per device number asked: the check ran once.
  EXPECT_EQ(count(r.err, "out F0 43 50 00 00 00 01 F7"), 1) << r.err;
  EXPECT_EQ(r.out,
            "FILE -       1500 A.MID\n"
            "FILE -         10 B.MID\n"
            "2089984 bytes free (2041 KB)\n"
            "FILE -       1500 A.MID\n");

  r = runOnInstrument({"session", "-c", "rm NOSUCH.MID; mkdir LATER"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  r = runOnInstrument({"ls"});
  EXPECT_EQ(count(r.out, "LATER"), 0) << r.out;
  r = runOnInstrument({"session", "--keep-going", "-c", "rm NOSUCH.MID; mkdir LATER; probe"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(count(r.err, "probe cannot run inside a session"), 1) << r.err;
  r = runOnInstrument({"ls"});
  EXPECT_EQ(count(r.out, "LATER"), 1) << r.out;
}

TEST_F(DeviceCommandsTest, BadUsageAndDevicesAreRefusedBeforeAnythingIsSent) {
  const std::vector<std::vector<std::string>> cases = {
      {"ls", "--in", "no such device"},
      {"--out", "4096", "df"},
      {"--in=", "ls"},
      {"ls", "--in"},
      {"--lang", "fr", "ls"},
      {"--bogus", "ls"},
      {"frobnicate"},
      {"ls", "A", "B"},
      {"ls", "1:/SONGS"},
      {"ls", "0:/../x"},
      {"ls", "0:/€"},
      {"mv", "SONG1.MID"},
      {"mv", "0:", "X.MID"},
      {"df", "extra"},
      {"ports", "extra"},
  };
  for (const auto& args : cases) {
    const CliRun r = run(args);
    std::string shown;
    for (const auto& arg : args) shown += arg + " ";
    EXPECT_EQ(r.exitCode, 2) << shown << r.err;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_EQ(linesOf(r.err).size(), 1u) << shown << r.err;
    EXPECT_TRUE(r.err.starts_with("quaverly-cli: ")) << shown << r.err;
  }
  const CliRun noDevice = run({"ls", "--in", "no such device"});
  EXPECT_NE(noDevice.err.find("no input device name contains 'no such device'"), std::string::npos) << noDevice.err;

  // Help goes to standard output.
  CliRun r = run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* command :
       {"ports", "ls [FOLDER]", "df", "mv PATH NEWNAME", "rm PATH...", "mkdir PATH", "rmdir PATH"}) {
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  }
  r = run({"rm", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(r.out.starts_with("usage: quaverly-cli [OPTIONS] rm PATH...")) << r.out;
}

TEST_F(DeviceCommandsTest, StoredSettingsAreRead) {
  const CliRun listing = run({"ports"});
  ASSERT_EQ(listing.exitCode, 0) << listing.err;
  const int in = virtualIndex(listing.out, "Input devices");
  const int out = virtualIndex(listing.out, "Output devices");
  ASSERT_GE(in, 0);
  ASSERT_GE(out, 0);

  // The program's user settings, where QSettings keeps them here; and its INI file.
  writeText(root_ / "config" / "VELMAR" / "Tessitor.conf",
            "[Quaverly]\nMidiDevice\\InID=" + std::to_string(in) + "\nMidiDevice\\OutID=" + std::to_string(out) + "\n");
  const fs::path ini = root_ / "config-dirs" / "VELMAR" / "Quaverly.ini";
  writeText(ini, "[Transmit]\nIntervalTime(msec)=10\n");
  CliRun r = run({"-v", "ports"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("# settings: " + ini.string() + "; stored devices " + std::to_string(in) + " in, " +
                       std::to_string(out) + " out"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("* " + std::to_string(in) + "  Quaverly Virtual Instrument"), std::string::npos) << r.out;

  // The user's INI folder comes before the system's; unreadable ids are 0.
  const fs::path userIni = root_ / "config" / "VELMAR" / "Quaverly.ini";
  writeText(userIni, "[Transmit]\n");
  writeText(root_ / "config" / "VELMAR" / "Tessitor.conf", "[Quaverly]\nMidiDevice\\InID=abc\n");
  r = run({"ports", "-v"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("# settings: " + userIni.string() + "; stored devices 0 in, 0 out"), std::string::npos) << r.err;
}

TEST_F(DeviceCommandsTest, AnInstrumentThatCannotOpenIsAConnectionFailure) {
  // The instrument's memory cannot be a file: its ports do not open.
  environment_["QUAVERLY_INSTRUMENT_DIR"] = (memory_ / "SONG1.MID").string();
  const CliRun r = runOnInstrument({"df"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "quaverly-cli: The selected MIDI device is in use. Quit any applications currently using the device.\n");
}

}  // namespace
}  // namespace quaverly::clitest
