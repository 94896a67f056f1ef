#include "model/SafeFile.h"
#include "model/TunerSettings.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "USED DIRECTLY BY TARVO GUITAR TUNER, DO NOT EDIT!\n";
const std::string kDefaultLine2 = "44000\t10485760\t16711680\t32768\t16711680\t0\t0\t0\t128\t0\n";
const std::string kDefaultFile = kHeader + kDefaultLine2;

// Line 2 with the given fields joined by tabs and a line end.
std::string Line(const std::vector<std::string>& fields, const std::string& end = "\n") {
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        s += (i ? "\t" : "") + fields[i];
    }
    return s + end;
}

const std::string kStandard = "Standard\t7\t4\t0\t9\t0\t2\t1\t7\t1\t11\t1\t4\t2\n";
const std::string kDropD = "Drop D\t8\t2\t0\t9\t0\t2\t1\t7\t1\t11\t1\t4\t2\n";

std::string FileWithTunings(const std::string& count, const std::string& lines) {
    return kHeader +
           Line({"44000", "10485760", "16711680", "32768", "16711680", "0", "0", "0", "128",
                 count}) +
           lines;
}

void ExpectDefaults(TunerSettings& s) {
    EXPECT_EQ(s.GetConcertA(), 440.0f);
    EXPECT_EQ(s.GetKeyIndex(), 0);
    EXPECT_EQ(s.GetColors(), ColorScheme{});
    EXPECT_EQ(s.GetNeedleColor(), 0xA00000u);
    EXPECT_EQ(s.GetHighEnergyColor(), 0xFF0000u);
    EXPECT_EQ(s.GetLowEnergyColor(), 0x008000u);
    EXPECT_EQ(s.GetTextColor(), 0xFF0000u);
    EXPECT_EQ(s.GetMidiDevice(), 0);
    EXPECT_EQ(s.GetRecordingDevice(), 0);
    EXPECT_EQ(s.GetAnalysisHop(), 128.0f);
    EXPECT_EQ(s.tunings.Count(), 0);
}

std::vector<Tuning> TuningsOf(TunerSettings& s) {
    std::vector<Tuning> out;
    Tuning t;
    for (bool more = s.tunings.ReadAt(0, t); more; more = s.tunings.ReadNext(t)) {
        out.push_back(t);
    }
    return out;
}

using testfiles::ReadBytes;
using testfiles::WriteBytes;

class SettingsFile : public testfiles::ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        m_path = (m_dir / "state.txt").string();
    }
    std::string m_path;
};

// --- defaults and byte-exact output -------------------------------------------------------

TEST(Settings, NewObjectHoldsTheDefaultsAndWritesThemByteForByte) {
    TunerSettings s;
    ExpectDefaults(s);
    EXPECT_EQ(s.WriteStateText(), kDefaultFile);
}

TEST(Settings, ApplyDefaultsResetsEveryFieldButTheTunings) {
    TunerSettings s;
    ASSERT_TRUE(s.ReadStateText(FileWithTunings("1", kStandard)));
    s.SetConcertA(431.5f);
    s.SetKeyIndex(7);
    s.SetColors(ColorScheme{1, 2, 3, 4});
    s.SetMidiDevice(3);
    s.SetRecordingDevice(-1);
    s.SetAnalysisHop(97.0f);
    s.ApplyDefaults();
    EXPECT_EQ(s.tunings.Count(), 1);
    s.tunings.Clear();
    ExpectDefaults(s);
}

TEST(Settings, WritesEveryFieldInItsPlaceWithTuningsInOrder) {
    TunerSettings s;
    s.SetConcertA(440.5f);
    s.SetColors(ColorScheme{0, 16777215, 1, 0x123456});
    s.SetMidiDevice(2147483647);
    s.SetRecordingDevice(-1);
    s.SetKeyIndex(11);
    s.SetAnalysisHop(201.75f); // whole samples only
    Tuning t;
    t.name = "Open G";
    t.tag = 4294967295u;
    t.strings = {{{7, 0}, {11, 0}, {2, 1}, {7, 1}, {11, 1}, {2, 2}}};
    s.tunings.Append(t);
    t.name = "";
    t.tag = 0;
    s.tunings.Append(t);
    EXPECT_EQ(s.WriteStateText(),
              kHeader + "44050\t0\t16777215\t1\t1193046\t2147483647\t4294967295\t11\t201\t2\n"
                        "Open G\t4294967295\t7\t0\t11\t0\t2\t1\t7\t1\t11\t1\t2\t2\n"
                        "\t0\t7\t0\t11\t0\t2\t1\t7\t1\t11\t1\t2\t2\n");
}

TEST(Settings, EveryStoredConcertAIsWrittenBackUnchanged) {
    for (int hundredths = 43000; hundredths <= 45000; ++hundredths) {
        TunerSettings s;
        const std::string text =
            FileWithTunings("0", "").replace(kHeader.size(), 5, std::to_string(hundredths));
        ASSERT_TRUE(s.ReadStateText(text)) << hundredths;
        ASSERT_EQ(s.WriteStateText(), text) << hundredths;
    }
}

TEST(Settings, DialogTenthsAreStoredExactly) {
    // The concert A dialog works in tenths: position / 10.
    for (int tenths = 4300; tenths <= 4500; ++tenths) {
        TunerSettings s;
        s.SetConcertA(static_cast<float>(tenths) / 10.0f);
        ASSERT_EQ(s.WriteStateText().substr(kHeader.size(), 6), std::to_string(tenths * 10) + "\t");
    }
}

// --- round trips ---------------------------------------------------------------------------

TEST_F(SettingsFile, DefaultsRoundTripThroughTheFile) {
    TunerSettings s;
    ASSERT_TRUE(s.WriteStateFile(m_path));
    EXPECT_EQ(ReadBytes(m_path), kDefaultFile);
    TunerSettings back;
    back.SetKeyIndex(5);
    ASSERT_TRUE(back.ReadStateFile(m_path));
    ExpectDefaults(back);
    ASSERT_TRUE(back.WriteStateFile(m_path));
    EXPECT_EQ(ReadBytes(m_path), kDefaultFile);
}

TEST_F(SettingsFile, FieldsAtTheirLimitsAndTuningsRoundTrip) {
    TunerSettings s;
    s.SetConcertA(450.0f);
    s.SetColors(ColorScheme{16777215, 0, 16777215, 0});
    s.SetMidiDevice(2147483647);
    s.SetRecordingDevice(0);
    s.SetKeyIndex(11);
    s.SetAnalysisHop(2147483520.0f); // largest float below 2^31
    std::vector<Tuning> tunings;
    for (int i = 0; i < 5; ++i) {
        Tuning t;
        t.name = i == 0   ? ""
                 : i == 1 ? std::string(254, 'x')
                          : "Tuning \xC3\xA9 " + std::to_string(i);
        t.tag = i == 2 ? 4294967295u : static_cast<uint32_t>(i * 1000);
        for (int k = 0; k < 6; ++k) {
            t.strings[static_cast<std::size_t>(k)] = StringPitch{(i * 5 + k) % 12, (i + k) % 3};
        }
        tunings.push_back(t);
        s.tunings.Append(t);
    }
    s.tunings.Append(tunings[3]); // duplicates too
    tunings.push_back(tunings[3]);

    ASSERT_TRUE(s.WriteStateFile(m_path));
    const std::string written = ReadBytes(m_path);
    TunerSettings back;
    ASSERT_TRUE(back.ReadStateFile(m_path));
    EXPECT_EQ(back.GetConcertA(), 450.0f);
    EXPECT_EQ(back.GetColors(), (ColorScheme{16777215, 0, 16777215, 0}));
    EXPECT_EQ(back.GetMidiDevice(), 2147483647);
    EXPECT_EQ(back.GetRecordingDevice(), 0);
    EXPECT_EQ(back.GetKeyIndex(), 11);
    EXPECT_EQ(back.GetAnalysisHop(), 2147483520.0f);
    EXPECT_EQ(TuningsOf(back), tunings);
    EXPECT_EQ(back.WriteStateText(), written);
}

TEST(Settings, ReadReplacesEarlierTunings) {
    TunerSettings s;
    ASSERT_TRUE(s.ReadStateText(FileWithTunings("2", kStandard + kDropD)));
    ASSERT_TRUE(s.ReadStateText(FileWithTunings("1", kDropD)));
    ASSERT_EQ(s.tunings.Count(), 1);
    EXPECT_EQ(TuningsOf(s)[0].name, "Drop D");
}

TEST(Settings, CopiesCarryEveryField) {
    TunerSettings s;
    ASSERT_TRUE(s.ReadStateText(FileWithTunings("2", kStandard + kDropD)));
    s.SetKeyIndex(3);
    s.SetConcertA(445.5f);
    TunerSettings copy(s);
    EXPECT_EQ(copy.WriteStateText(), s.WriteStateText());
    TunerSettings assigned;
    assigned = s;
    EXPECT_EQ(assigned.WriteStateText(), s.WriteStateText());
}

// --- what the reader accepts -------------------------------------------------------------

TEST(SettingsReader, AcceptsCarriageReturnBeforeEachLineFeed) {
    std::string text = FileWithTunings("2", kStandard + kDropD);
    std::string crlf;
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    TunerSettings s;
    ASSERT_TRUE(s.ReadStateText(crlf));
    const std::vector<Tuning> tunings = TuningsOf(s);
    ASSERT_EQ(tunings.size(), 2u);
    EXPECT_EQ(tunings[0].name, "Standard");
    EXPECT_EQ(tunings[1].name, "Drop D");
    EXPECT_EQ(s.WriteStateText(), text); // written back with plain line feeds
}

TEST(SettingsReader, HeaderMayHoldAnyText) {
    for (const std::string& header :
         {std::string(), std::string("12345\t1\t2"), std::string(254, 'h'), std::string(1000, 'h'),
          std::string("\xEF\xBB\xBFUSED DIRECTLY\r")}) {
        TunerSettings s;
        EXPECT_TRUE(s.ReadStateText(header + "\n" + kDefaultLine2)) << header.size();
        ExpectDefaults(s);
    }
}

TEST(SettingsReader, AcceptsWhatAStreamExtractionAccepts) {
    TunerSettings s;
    // Leading zeros, plus signs, several blanks and line ends between numbers, no final line
    // feed after a count of 0.
    ASSERT_TRUE(s.ReadStateText(kHeader + "044050 +0\t\t16777215\n 1  2 \t3\t10 \r\n 7 064 +0"));
    EXPECT_EQ(s.GetConcertA(), 440.5f);
    EXPECT_EQ(s.GetColors(), (ColorScheme{0, 16777215, 1, 2}));
    EXPECT_EQ(s.GetMidiDevice(), 3);
    EXPECT_EQ(s.GetRecordingDevice(), 10);
    EXPECT_EQ(s.GetKeyIndex(), 7);
    EXPECT_EQ(s.GetAnalysisHop(), 64.0f);
    EXPECT_EQ(s.tunings.Count(), 0);
}

TEST(SettingsReader, KeyIndexAboveElevenReadsAsKeyC) {
    for (const char* stored : {"12", "13", "2147483647", "4294967295"}) {
        TunerSettings s;
        ASSERT_TRUE(s.ReadStateText(kHeader + Line({"44000", "10485760", "16711680", "32768",
                                                    "16711680", "0", "0", stored, "128", "0"})))
            << stored;
        EXPECT_EQ(s.GetKeyIndex(), 0) << stored;
    }
    TunerSettings s;
    ASSERT_TRUE(s.ReadStateText(kHeader + Line({"44000", "10485760", "16711680", "32768",
                                                "16711680", "0", "0", "11", "128", "0"})));
    EXPECT_EQ(s.GetKeyIndex(), 11);
}

TEST(SettingsReader, AnyDeviceIndexIsAccepted) {
    TunerSettings s;
    ASSERT_TRUE(
        s.ReadStateText(kHeader + Line({"44000", "10485760", "16711680", "32768", "16711680",
                                        "2147483647", "4294967295", "0", "0", "0"})));
    EXPECT_EQ(s.GetMidiDevice(), 2147483647);
    EXPECT_EQ(s.GetRecordingDevice(), kNoDevice);
    EXPECT_EQ(s.GetAnalysisHop(), 0.0f);
}

TEST(SettingsReader, BlanksAfterALinesLastNumberBelongToNoName) {
    // A blank or tab after the last octave (or after the count) ends the line like the line
    // feed does; nothing of it reaches the next tuning's name.
    TunerSettings s;
    std::string text = FileWithTunings("2", kStandard + kDropD);
    text.insert(text.find("\nStandard"), " \t");
    text.insert(text.find("\nDrop D"), " ");
    ASSERT_TRUE(s.ReadStateText(text));
    EXPECT_EQ(TuningsOf(s)[1].name, "Drop D");
    EXPECT_EQ(s.WriteStateText(), FileWithTunings("2", kStandard + kDropD));
    // What no reader could take back is not written: a tab or line feed in a name, or more.
    Tuning t;
    t.name = "a\tb\nc" + std::string(300, 'x');
    s.tunings.Append(t);
    ASSERT_TRUE(s.ReadStateText(s.WriteStateText()));
    EXPECT_EQ(TuningsOf(s)[2].name, "a b c" + std::string(kMaxTuningNameLength - 5, 'x'));
}

TEST(SettingsReader, TuningNamesAreTakenAsTheyAre) {
    TunerSettings s;
    ASSERT_TRUE(s.ReadStateText(
        FileWithTunings("3", "\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n"
                             "  two  words \t-1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n"
                             "#;=\xC3\xA4\t+5\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0")));
    const std::vector<Tuning> t = TuningsOf(s);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].name, "");
    EXPECT_EQ(t[1].name, "  two  words ");
    EXPECT_EQ(t[1].tag, 4294967295u); // an unsigned extraction wraps a minus sign
    EXPECT_EQ(t[2].name, "#;=\xC3\xA4");
    EXPECT_EQ(t[2].tag, 5u);
}

// --- what makes a file unusable --------------------------------------------------------------

struct Rejection {
    const char* what;
    std::string text;
};

std::vector<Rejection> Rejections() {
    auto line2 = [](std::size_t field, const std::string& value) {
        std::vector<std::string> f = {"44000", "10485760", "16711680", "32768", "16711680",
                                      "0",     "0",        "0",        "128",   "0"};
        f[field] = value;
        return kHeader + Line(f);
    };
    const std::string badOctave = "Bad\t9\t4\t0\t9\t0\t2\t1\t7\t3\t11\t1\t4\t2\n";
    std::vector<Rejection> r = {
        {"concert A 42999", line2(0, "42999")},
        {"concert A 45001", line2(0, "45001")},
        {"concert A -44000", line2(0, "-44000")},
        {"concert A 4.4e4", line2(0, "4.4e4")},
        {"tuning octave 3 after good lines", FileWithTunings("3", kStandard + kDropD + badOctave)},
        {"tuning octave -1", FileWithTunings("1", "x\t0\t0\t-1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n")},
        {"tuning note 12", FileWithTunings("1", "x\t0\t0\t0\t0\t0\t0\t0\t0\t0\t12\t0\t0\t0\n")},
        {"tuning note -1", FileWithTunings("1", "x\t0\t-1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n")},
        {"fewer tuning lines than counted", FileWithTunings("3", kStandard + kDropD)},
        {"tuning line cut short", FileWithTunings("1", "x\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n")},
        {"text after a tuning's last octave",
         FileWithTunings("1", "x\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0 9\n")},
        {"a tuning line without fields", FileWithTunings("2", "no fields\n" + kStandard)},
        {"text after the tuning count", line2(9, "0 x")},
        {"text for a tuning tag", FileWithTunings("1", "x\ty\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0")},
        {"tuning tag 4294967296",
         FileWithTunings("1", "x\t4294967296\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0")},
        {"text for a tuning note",
         FileWithTunings("1", "x\t0\t0\t0\tE\t0\t0\t0\t0\t0\t0\t0\t0\t0")},
        {"hop -1", line2(8, "-1")},
        {"hop 2147483648", line2(8, "2147483648")},
        {"tuning count -1", line2(9, "-1")},
        {"midi device -1 as text", line2(5, "-1")},
        {"recording device -2 as text", line2(6, "-2")},
        {"key -1 as text", line2(7, "-1")},
        {"device 4294967296", line2(6, "4294967296")},
        {"text where a number belongs", line2(2, "red")},
        {"a sign without digits", line2(4, "-")},
        {"a decimal comma", line2(8, "128,5x")},
        {"empty file", ""},
        {"header only", kHeader},
        {"header without line end", "USED DIRECTLY BY TARVO GUITAR TUNER, DO NOT EDIT!"},
    };
    for (std::size_t i = 1; i <= 4; ++i) {
        r.push_back({"colour 16777216", line2(i, "16777216")});
        r.push_back({"colour -1", line2(i, "-1")});
    }
    // Cut anywhere in the middle of line 2.
    for (std::size_t cut = 1; cut + 1 < kDefaultLine2.size(); ++cut) {
        r.push_back({"file cut in line 2", kHeader + kDefaultLine2.substr(0, cut)});
    }
    return r;
}

TEST(SettingsReader, EveryRejectionLeavesDefaultsAndNoTunings) {
    for (const Rejection& r : Rejections()) {
        TunerSettings s; // holding the tunings of an earlier good file
        ASSERT_TRUE(s.ReadStateText(FileWithTunings("2", kStandard + kDropD)));
        EXPECT_FALSE(s.ReadStateText(r.text)) << r.what << ": " << r.text;
        ExpectDefaults(s);
    }
}

TEST_F(SettingsFile, WhyAFileIsRejectedIsNamed) {
    using Kind = StateFileProblem::Kind;
    TunerSettings written;
    ASSERT_TRUE(written.WriteStateFile(m_path));
    const std::string good = ReadBytes(m_path);
    const std::string dir = m_dir.string();
    struct Case {
        const char* what;
        std::string path;
        std::string content; // written to `path` when not empty
        Kind kind;
        std::string why;
    } cases[] = {
        {"missing", dir + "/no-such-file.txt", "", Kind::Missing, "No such file or directory"},
        {"a directory", dir, "", Kind::NotOpened, "a directory, not a file"},
        {"an endless device", "/dev/zero", "", Kind::NotOpened, "a character device, not a file"},
        {"a colour out of range", m_path,
         kHeader + "44000\t10485760\t16777216\t32768\t16711680\t0\t0\t0\t128\t0\n",
         Kind::Unreadable, "line 2 is not in the tuner's format"},
        {"fewer tunings than counted", m_path, FileWithTunings("3", kStandard + kDropD),
         Kind::Unreadable, "it ends early, in line 5"},
        // A good file padded with blank lines reads up to the size limit and is refused past it.
        {"over the size limit", m_path,
         good + std::string(kMaxStateFileBytes - good.size() + 1, '\n'), Kind::Unreadable,
         "larger than " + std::to_string(kMaxStateFileBytes) + " bytes"},
    };
    for (const Case& c : cases) {
        if (!c.content.empty())
            WriteBytes(c.path, c.content);
        TunerSettings s;
        s.tunings.Append(Tuning{});
        StateFileProblem problem;
        EXPECT_FALSE(s.ReadStateFile(c.path, &problem)) << c.what;
        EXPECT_EQ(problem.kind, c.kind) << c.what;
        EXPECT_EQ(problem.why, c.why) << c.what;
        s.tunings.Clear();
        ExpectDefaults(s);
    }
    WriteBytes(m_path, good + std::string(kMaxStateFileBytes - good.size(), '\n'));
    EXPECT_TRUE(TunerSettings().ReadStateFile(m_path));
}

// --- writing safely --------------------------------------------------------------------------

TEST_F(SettingsFile, WriteReplacesTheOldFileAndLeavesNothingBeside) {
    WriteBytes(m_path, std::string(5000, 'z'));
    TunerSettings s;
    ASSERT_TRUE(s.WriteStateFile(m_path));
    EXPECT_EQ(ReadBytes(m_path), kDefaultFile);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir)) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST_F(SettingsFile, FailedWriteIsReportedAndKeepsTheOldFile) {
    const std::string old = FileWithTunings("1", kStandard);
    WriteBytes(m_path, old);
    TunerSettings s;
    s.SetKeyIndex(4);
    std::string why;

    // The new content cannot be created beside the old file.
    const std::string temp = safefile::TempPathFor(m_path);
    fs::create_directory(temp);
    EXPECT_FALSE(s.WriteStateFile(m_path, &why));
    EXPECT_EQ(why, "cannot create " + temp + ": Is a directory");
    EXPECT_EQ(ReadBytes(m_path), old);
    fs::remove(temp);

    // A full disk: the new content cannot be written whole.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool bWritten = s.WriteStateFile(m_path, &why);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(bWritten);
    EXPECT_EQ(why, "writing " + temp + " failed: File too large");
    EXPECT_EQ(ReadBytes(m_path), old);
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));

    // A link someone left at the temporary name is not followed: it goes, and what it named
    // stays as it was.
    const fs::path victim = m_dir / "victim.txt";
    WriteBytes(victim, "untouched");
    fs::create_symlink(victim, temp);
    EXPECT_TRUE(s.WriteStateFile(m_path));
    EXPECT_EQ(ReadBytes(victim), "untouched");
    EXPECT_EQ(ReadBytes(m_path), s.WriteStateText());
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));

    // A directory that does not exist.
    EXPECT_FALSE(s.WriteStateFile((m_dir / "missing" / "state.txt").string()));
}

TEST_F(SettingsFile, NothingButARegularFileIsOpenedOrReplaced) {
    // A state file linked to a device (the way to stop a program saving), a FIFO or a
    // directory: reading neither blocks nor reads, saving replaces nothing. The device is a
    // private node, never a real one, and only where this test may make one.
    const fs::path node = m_dir / "nul";
    const bool bHaveNode = ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0666), 0);
    fs::create_directory(m_dir / "dir");
    struct Case {
        const char* name;
        const char* linkTo; // state file is a link to this, or the thing itself when null
        fs::file_type type;
        std::string why;
    } cases[] = {
        {"fifo", nullptr, fs::file_type::fifo, "is a FIFO, not a file"},
        {"dir", nullptr, fs::file_type::directory, "is a directory, not a file"},
        {"to-fifo", "fifo", fs::file_type::fifo, "links to " + m_dir.string() + "/fifo, a FIFO"},
        {"to-node", "nul", fs::file_type::character,
         "links to " + m_dir.string() + "/nul, a character device"},
    };
    for (const Case& c : cases) {
        if (c.type == fs::file_type::character && !bHaveNode)
            continue;
        const fs::path path = m_dir / c.name;
        if (c.linkTo != nullptr)
            fs::create_symlink(c.linkTo, path);
        TunerSettings s;
        StateFileProblem problem;
        EXPECT_FALSE(s.ReadStateFile(path.string(), &problem)) << c.name;
        EXPECT_EQ(problem.kind, StateFileProblem::Kind::NotOpened) << c.name;
        std::string why;
        EXPECT_FALSE(s.WriteStateFile(path.string(), &why)) << c.name;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
        EXPECT_EQ(fs::status(path).type(), c.type) << c.name;
    }
    // Only what was made here is left: nothing written beside any of them.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), {}), bHaveNode ? 5 : 3);
}

TEST_F(SettingsFile, ALinkStaysALinkAndAPrivateFileStaysPrivate) {
    TunerSettings s;
    s.SetKeyIndex(4);
    const fs::path real = m_dir / "kept" / "real-state.txt";
    fs::create_directories(real.parent_path());
    WriteBytes(real, "old");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(fs::path("kept") / "real-state.txt", m_path);

    ASSERT_TRUE(s.WriteStateFile(m_path));
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(ReadBytes(real), s.WriteStateText());
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(real.parent_path()), {}), 1);
}

TEST_F(SettingsFile, AnotherCopysUnfinishedSaveIsLeftAlone) {
    // A second copy of the program saving at the same moment writes its own temporary file.
    const std::string theirs = m_path + ".tmp.other";
    WriteBytes(theirs, "half a file");
    TunerSettings s;
    s.SetKeyIndex(4);
    ASSERT_TRUE(s.WriteStateFile(m_path));
    EXPECT_NE(safefile::TempPathFor(m_path), theirs);
    EXPECT_EQ(ReadBytes(theirs), "half a file");
    EXPECT_EQ(ReadBytes(m_path), s.WriteStateText());
}

TEST_F(SettingsFile, WriteIntoAReadOnlyDirectoryFails) {
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(m_dir / "probe").is_open()) {
        GTEST_SKIP() << "running with rights that ignore directory permissions";
    }
    TunerSettings s;
    EXPECT_FALSE(s.WriteStateFile(m_path));
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(SettingsFile, FieldsOutsideWhatTheReaderTakesAreWrittenReadable) {
    TunerSettings s;
    s.SetConcertA(470.0f);
    s.SetColors(ColorScheme{0xFF123456, 0x01000000, 0, 0});
    s.SetAnalysisHop(-5.0f);
    ASSERT_TRUE(s.WriteStateFile(m_path));
    TunerSettings back;
    ASSERT_TRUE(back.ReadStateFile(m_path));
    EXPECT_EQ(back.GetConcertA(), 450.0f);
    EXPECT_EQ(back.GetNeedleColor(), 0x123456u);
    EXPECT_EQ(back.GetHighEnergyColor(), 0u);
    EXPECT_EQ(back.GetAnalysisHop(), 0.0f);

    s.SetConcertA(std::numeric_limits<float>::quiet_NaN());
    s.SetAnalysisHop(1e20f);
    ASSERT_TRUE(s.WriteStateFile(m_path));
    ASSERT_TRUE(back.ReadStateFile(m_path));
    EXPECT_EQ(back.GetConcertA(), 440.0f);
    EXPECT_EQ(back.GetAnalysisHop(), 2147483648.0f);
}

// --- locale independence -------------------------------------------------------------------

TEST_F(SettingsFile, ReadAndWriteIgnoreADecimalCommaLocale) {
    const std::string text =
        FileWithTunings("2", kStandard + kDropD).replace(kHeader.size(), 5, "44050");
    bool bRead = false, bWritten = false, bGroupedRead = false;
    float fConcertA = 0.0f;
    std::string written;
    {
        const testfiles::GermanLocale german;
        if (!german.Active()) {
            GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
        }
        WriteBytes(m_path, text);
        TunerSettings s;
        bRead = s.ReadStateFile(m_path);
        fConcertA = s.GetConcertA();
        bWritten = s.WriteStateFile(m_path);
        written = ReadBytes(m_path);
        TunerSettings grouped; // a thousands separator is not a number
        bGroupedRead =
            grouped.ReadStateText(FileWithTunings("0", "").replace(kHeader.size(), 5, "44.050"));
    }

    EXPECT_TRUE(bRead);
    EXPECT_EQ(fConcertA, 440.5f);
    EXPECT_TRUE(bWritten);
    EXPECT_EQ(written, text);
    EXPECT_FALSE(bGroupedRead);
}

} // namespace
