#include "model/SafeFile.h"
#include "model/TunerSettings.h"
#include "tests/common/StateText.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <limits>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using statetext::kHeader;
using statetext::StateText;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

namespace {

const std::string kStandard = "Standard\t7\t4\t0\t9\t0\t2\t1\t7\t1\t11\t1\t4\t2\n";
const std::string kDropD = "Drop D\t8\t2\t0\t9\t0\t2\t1\t7\t1\t11\t1\t4\t2\n";

std::string WithTunings(const std::string& count, const std::string& lines) {
    return StateText({{9, count}}) + lines;
}

std::vector<std::string> Names(TunerSettings& s) {
    std::vector<std::string> out;
    Tuning t;
    for (bool more = s.tunings.ReadAt(0, t); more; more = s.tunings.ReadNext(t))
        out.push_back(t.name);
    return out;
}

class SettingsFile : public testfiles::ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        m_path = (m_dir / "state.txt").string();
    }
    std::string m_path;
};

TEST(Settings, DefaultsAndEveryFieldAreWrittenInPlace) {
    TunerSettings s;
    EXPECT_EQ(s.WriteStateText(), StateText());
    s.SetConcertA(440.5f);
    s.SetColors(ColorScheme{0, 16777215, 1, 0x123456});
    s.SetMidiDevice(2147483647);
    s.SetRecordingDevice(-1);
    s.SetKeyIndex(11);
    s.SetAnalysisHop(201.75f);
    Tuning t{{{{7, 0}, {11, 0}, {2, 1}, {7, 1}, {11, 1}, {2, 2}}}, "Open G", 4294967295u};
    s.tunings.Append(t);
    EXPECT_EQ(s.WriteStateText(),
              kHeader + "44050\t0\t16777215\t1\t1193046\t2147483647\t4294967295\t11\t201\t1\n"
                        "Open G\t4294967295\t7\t0\t11\t0\t2\t1\t7\t1\t11\t1\t2\t2\n");
    // Copies carry every field; ApplyDefaults resets all but the tunings.
    s.SetRecordingDeviceName("usb-mic");
    TunerSettings copy(s), assigned;
    assigned = s;
    EXPECT_EQ(copy.WriteStateText(), s.WriteStateText());
    EXPECT_EQ(assigned.WriteStateText(), s.WriteStateText());
    EXPECT_EQ(assigned.GetRecordingDeviceName(), "usb-mic");
    s.ApplyDefaults();
    EXPECT_EQ(s.WriteStateText(), WithTunings("1", "Open G\t4294967295\t7\t0\t11\t0\t2\t1\t7\t1\t"
                                                   "11\t1\t2\t2\n"));
}

TEST(Settings, EveryStoredConcertAIsWrittenBackUnchanged) {
    for (int hundredths = 43000; hundredths <= 45000; ++hundredths) {
        TunerSettings s;
        const std::string text = StateText({{0, std::to_string(hundredths)}});
        ASSERT_TRUE(s.ReadStateText(text)) << hundredths;
        ASSERT_EQ(s.WriteStateText(), text) << hundredths;
    }
}

// What the reader takes: line 2 as a stream extraction reads it, CR LF line ends, any header,
// tuning names as they are, device indexes as written (4294967295 is -1, no selection).
TEST(SettingsReader, AcceptsWhatTheWriterAndAStreamExtractionWrite) {
    TunerSettings s;
    ASSERT_TRUE(s.ReadStateText("any\theader\r\n044050 +0\t\t16777215\n 1  2 \t2147483647\t"
                                "4294967295 \r\n 12 2147483647 +2\r\n" +
                                kStandard.substr(0, kStandard.size() - 1) + " \t\r\n" +
                                "  two words \t-1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0"));
    EXPECT_EQ(s.GetConcertA(), 440.5f);
    EXPECT_EQ(s.GetColors(), (ColorScheme{0, 16777215, 1, 2}));
    EXPECT_EQ(s.GetMidiDevice(), 2147483647);
    EXPECT_EQ(s.GetRecordingDevice(), kNoDevice);
    EXPECT_EQ(s.GetKeyIndex(), 0); // a key the selector cannot show
    EXPECT_EQ(s.GetAnalysisHop(), 2147483648.0f);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"Standard", "  two words "}));
    Tuning t;
    s.tunings.ReadAt(1, t);
    EXPECT_EQ(t.tag, 4294967295u); // an unsigned extraction wraps a minus sign
    // A name no reader could take back is written without its tab and line feed.
    s.tunings.Append(Tuning{.name = "a\tb\nc"});
    ASSERT_TRUE(s.ReadStateText(s.WriteStateText()));
    EXPECT_EQ(Names(s).back(), "a b c");
}

TEST(SettingsReader, EveryRejectionLeavesDefaultsAndNoTunings) {
    const std::vector<std::string> bad = {
        StateText({{0, "42999"}}),
        StateText({{0, "45001"}}),
        StateText({{1, "16777216"}}),
        StateText({{8, "-1"}}),
        StateText({{8, "2147483648"}}),
        StateText({{9, "-1"}}),
        StateText({{6, "-2"}}),
        StateText({{6, "4294967296"}}),
        StateText({{2, "red"}}),
        StateText({{9, "0 x"}}),
        WithTunings("3", kStandard + kDropD + "Bad\t9\t4\t0\t9\t0\t2\t1\t7\t3\t11\t1\t4\t2\n"),
        WithTunings("1", "x\t0\t-1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\n"),
        WithTunings("1", "x\t0\t0\t0\t0\t0\t0\t0\t0\t0\t12\t0\t0\t0\n"),
        WithTunings("1", "x\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0 9\n"),
        WithTunings("1", "x\t4294967296\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0"),
        WithTunings("3", kStandard + kDropD),
        "",
        kHeader,
        StateText().substr(0, kHeader.size() + 30),
    };
    for (const std::string& text : bad) {
        TunerSettings s;
        ASSERT_TRUE(s.ReadStateText(WithTunings("1", kStandard)));
        EXPECT_FALSE(s.ReadStateText(text)) << text;
        EXPECT_EQ(s.WriteStateText(), StateText()) << text;
    }
}

TEST_F(SettingsFile, WhyAFileIsRejectedIsNamed) {
    using Kind = StateFileProblem::Kind;
    const std::string good = StateText();
    const struct {
        std::string path, content; // content written to `path` when not empty
        Kind kind;
        std::string why;
    } cases[] = {
        {m_dir.string() + "/none", "", Kind::Missing, "No such file or directory"},
        {m_dir.string(), "", Kind::NotOpened, "a directory, not a file"},
        {"/dev/zero", "", Kind::NotOpened, "a character device, not a file"},
        {m_path, StateText({{2, "16777216"}}), Kind::Unreadable,
         "line 2 is not in the tuner's format"},
        {m_path, WithTunings("3", kStandard), Kind::Unreadable, "it ends early, in line 4"},
        {m_path, good + std::string(kMaxStateFileBytes - good.size() + 1, '\n'), Kind::Unreadable,
         "larger than " + std::to_string(kMaxStateFileBytes) + " bytes"},
    };
    for (const auto& c : cases) {
        if (!c.content.empty())
            WriteBytes(c.path, c.content);
        TunerSettings s;
        StateFileProblem problem;
        EXPECT_FALSE(s.ReadStateFile(c.path, &problem)) << c.why;
        EXPECT_EQ(problem.kind, c.kind) << c.why;
        EXPECT_EQ(problem.why, c.why);
    }
    WriteBytes(m_path, good + std::string(kMaxStateFileBytes - good.size(), '\n'));
    EXPECT_TRUE(TunerSettings().ReadStateFile(m_path));
}

TEST_F(SettingsFile, ValuesOutsideWhatTheReaderTakesAreWrittenReadable) {
    TunerSettings s;
    s.SetConcertA(470.0f);
    s.SetColors(ColorScheme{0xFF123456, 0x01000000, 0, 0});
    s.SetAnalysisHop(-5.0f);
    s.tunings.Append(Tuning{});
    ASSERT_TRUE(s.WriteStateFile(m_path));
    TunerSettings back;
    ASSERT_TRUE(back.ReadStateFile(m_path));
    EXPECT_EQ(back.GetConcertA(), 450.0f);
    EXPECT_EQ(back.GetNeedleColor(), 0x123456u);
    EXPECT_EQ(back.GetHighEnergyColor(), 0u);
    EXPECT_EQ(back.GetAnalysisHop(), 0.0f);
    EXPECT_EQ(back.tunings.Count(), 1);
    s.SetConcertA(std::numeric_limits<float>::quiet_NaN());
    ASSERT_TRUE(s.WriteStateFile(m_path));
    ASSERT_TRUE(back.ReadStateFile(m_path));
    EXPECT_EQ(back.GetConcertA(), 440.0f);
}

TEST_F(SettingsFile, SavesReplaceSafelyOrReportWhy) {
    const std::string old = WithTunings("1", kStandard);
    WriteBytes(m_path, old);
    TunerSettings s;
    s.SetKeyIndex(4);
    std::string why;
    const std::string temp = safefile::TempPathFor(m_path);
    fs::create_directory(temp);
    EXPECT_FALSE(s.WriteStateFile(m_path, &why));
    EXPECT_EQ(why, "cannot create " + temp + ": Is a directory");
    fs::remove(temp);

    // A full disk: the new content cannot be written whole and the old file stays.
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

    // A link left at the temporary name is not followed: it goes, what it named stays.
    WriteBytes(m_dir / "victim", "untouched");
    fs::create_symlink(m_dir / "victim", temp);
    EXPECT_TRUE(s.WriteStateFile(m_path));
    EXPECT_EQ(ReadBytes(m_dir / "victim"), "untouched");
    EXPECT_EQ(ReadBytes(m_path), s.WriteStateText());
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
}

TEST_F(SettingsFile, ALinkStaysALinkAndOnlyRegularFilesAreReplaced) {
    TunerSettings s;
    const fs::path real = m_dir / "kept" / "real-state.txt";
    fs::create_directories(real.parent_path());
    WriteBytes(real, "old");
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(real, mode);
    fs::create_symlink(fs::path("kept") / "real-state.txt", m_path);
    ASSERT_TRUE(s.WriteStateFile(m_path));
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(ReadBytes(real), s.WriteStateText());
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, mode);

    ASSERT_EQ(::mkfifo((m_dir / "fifo").c_str(), 0666), 0);
    fs::create_symlink("fifo", m_dir / "to-fifo");
    for (const char* name : {"fifo", "to-fifo", "kept"}) {
        std::string why;
        EXPECT_FALSE(s.ReadStateFile((m_dir / name).string())) << name;
        EXPECT_FALSE(s.WriteStateFile((m_dir / name).string(), &why)) << name;
        EXPECT_NE(fs::status(m_dir / name).type(), fs::file_type::regular) << name;
    }
}

TEST_F(SettingsFile, SideFileKeepsValidLinesAndRoundTrips) {
    SideSettings side;
    side.ReadText("# comment\r\nrecordingDevice.name=Mic = 2 \r\n\nno equals\n=no key\n"
                  "bad key=1\nlater.key=kept\nlater.key=the last\n");
    EXPECT_EQ(side.WriteText(), "# Tarvo Instrument Tuner: settings beyond state.txt, one "
                                "key=value a line\nlater.key=the last\n"
                                "recordingDevice.name=Mic = 2 \n");
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"bad key", "x"}, {"", "x"}, {"k", "two\nlines"}, {"k", {"a\0b", 3}}})
        EXPECT_FALSE(side.Set(key, value)) << key;
    EXPECT_TRUE(side.Set("later.key", ""));
    EXPECT_EQ(side.WriteText().find("later.key"), std::string::npos);

    const std::string path = (m_dir / "state-extra.txt").string();
    std::string why;
    ASSERT_TRUE(side.WriteFile(path, why)) << why;
    SideSettings read;
    ASSERT_EQ(read.ReadFile(path, why), safefile::ReadStatus::Read) << why;
    EXPECT_EQ(read, side);
    fs::remove(path);
    EXPECT_EQ(read.ReadFile(path, why), safefile::ReadStatus::Missing);
    EXPECT_EQ(read, SideSettings{});
}

} // namespace
