#include "app/ErrorLog.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::tm MakeTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    std::mktime(&t); // fills in the weekday
    return t;
}

std::vector<std::string> ReadLines(const fs::path& path, std::string* raw = nullptr) {
    const std::string bytes = testfiles::ReadBytes(path);
    if (raw) {
        *raw = bytes;
    }
    std::vector<std::string> lines;
    std::istringstream split(bytes);
    for (std::string line; std::getline(split, line);) {
        lines.push_back(line);
    }
    return lines;
}

const std::regex kLinePattern(
    "(Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), "
    "(January|February|March|April|May|June|July|August|September|October|November|December), "
    "(0[1-9]|[12][0-9]|3[01]), [0-9]{4} (0[1-9]|1[0-2]):[0-5][0-9] (AM|PM): (.*)");

class ErrorLogFile : public testfiles::ScratchDirTest {
protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        m_path = m_dir / "errorlog.txt";
    }
    fs::path m_path;
};

TEST(ErrorLogFormat, TwelveHourClockWithTwoDigitFields) {
    EXPECT_EQ(
        ErrorLog::FormatLine(MakeTime(2026, 12, 6, 2, 17), "Unable to find any recording device"),
        "Sunday, December, 06, 2026 02:17 AM: Unable to find any recording device");
    EXPECT_EQ(ErrorLog::FormatTime(MakeTime(2025, 1, 1, 0, 5)),
              "Wednesday, January, 01, 2025 12:05 AM");
    EXPECT_EQ(ErrorLog::FormatTime(MakeTime(2025, 7, 4, 12, 0)), "Friday, July, 04, 2025 12:00 PM");
    EXPECT_EQ(ErrorLog::FormatTime(MakeTime(2024, 2, 29, 23, 59)),
              "Thursday, February, 29, 2024 11:59 PM");
    EXPECT_EQ(ErrorLog::FormatTime(MakeTime(2030, 9, 30, 13, 7)),
              "Monday, September, 30, 2030 01:07 PM");
}

TEST(ErrorLogFormat, NamesStayEnglishUnderAnotherLocale) {
    std::string text;
    {
        const testfiles::GermanLocale german;
        if (!german.Active()) {
            GTEST_SKIP() << "de_DE.UTF-8 locale not installed";
        }
        text = ErrorLog::FormatTime(MakeTime(2026, 12, 6, 14, 17));
    }
    EXPECT_EQ(text, "Sunday, December, 06, 2026 02:17 PM");
}

TEST_F(ErrorLogFile, FirstMessageCreatesTheFileWithOneStampedLine) {
    ErrorLog log(m_path.string());
    const auto before = std::chrono::system_clock::now();
    log.LogError("Unable to open state.txt, using defaults.");
    const auto after = std::chrono::system_clock::now();

    std::string raw;
    const std::vector<std::string> lines = ReadLines(m_path, &raw);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(raw.back(), '\n');
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLinePattern)) << lines[0];
    EXPECT_EQ(m[6].str(), "Unable to open state.txt, using defaults.");

    // The stamp is the local time of the call (either side of a minute boundary).
    auto stamp = [](std::chrono::system_clock::time_point tp) {
        const std::time_t t = std::chrono::system_clock::to_time_t(tp);
        std::tm local{};
        localtime_r(&t, &local);
        return ErrorLog::FormatTime(local);
    };
    const std::string time = lines[0].substr(0, lines[0].find(": "));
    EXPECT_TRUE(time == stamp(before) || time == stamp(after)) << time;
}

TEST_F(ErrorLogFile, EachMessageAppendsOneLineAndKeepsWhatWasThere) {
    const std::string old = "an earlier run's line\nanother\n";
    std::ofstream(m_path, std::ios::binary) << old;
    ErrorLog log;
    log.SetFileName(m_path.string());
    EXPECT_EQ(log.FileName(), m_path.string());
    const std::vector<std::string> messages = {"Unable to create Exit button",
                                               "Unable to open any recording device", ""};
    for (std::size_t i = 0; i < messages.size(); ++i) {
        log.LogError(messages[i]);
        std::string raw;
        const std::vector<std::string> lines = ReadLines(m_path, &raw);
        ASSERT_EQ(lines.size(), 3 + i);
        ASSERT_EQ(raw.substr(0, old.size()), old);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines.back(), m, kLinePattern)) << lines.back();
        EXPECT_EQ(m[6].str(), messages[i]);
    }
}

TEST_F(ErrorLogFile, DefaultFileNameIsErrorLogInTheCurrentDirectory) {
    EXPECT_EQ(ErrorLog().FileName(), "errorlog.txt");
    const fs::path saved = fs::current_path();
    fs::current_path(m_dir);
    ErrorLog().LogError("Unable to find any recording device");
    fs::current_path(saved);
    EXPECT_EQ(ReadLines(m_path).size(), 1u);
}

TEST_F(ErrorLogFile, UnwritablePlaceDropsTheMessageSilently) {
    ErrorLog missingDir((m_dir / "missing" / "errorlog.txt").string());
    EXPECT_NO_THROW(missingDir.LogError("lost"));
    EXPECT_FALSE(fs::exists(m_dir / "missing"));

    ErrorLog aDirectory(m_dir.string());
    EXPECT_NO_THROW(aDirectory.LogError("lost"));

    ErrorLog emptyName("");
    EXPECT_NO_THROW(emptyName.LogError("lost"));

    if (fs::exists("/dev/full")) {
        ErrorLog fullDisk("/dev/full");
        EXPECT_NO_THROW(fullDisk.LogError("lost"));
    }
}

TEST_F(ErrorLogFile, ReadOnlyDirectoryDropsTheMessageSilently) {
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream(m_dir / "probe").is_open()) {
        GTEST_SKIP() << "running with rights that ignore directory permissions";
    }
    ErrorLog readOnly(m_path.string());
    EXPECT_NO_THROW(readOnly.LogError("lost"));
    EXPECT_FALSE(fs::exists(m_path));
}

} // namespace
