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

TEST_F(ErrorLogFile, EachMessageAppendsOneLineAndKeepsWhatWasThere) {
    const std::string old = "an earlier run's line\nanother\n";
    std::ofstream(m_path, std::ios::binary) << old;
    ErrorLog log;
    log.SetFileName(m_path.string());
    EXPECT_EQ(log.FileName(), m_path.string());
    const std::vector<std::string> messages = {"Unable to create Exit button", ""};
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

TEST_F(ErrorLogFile, UnwritablePlaceDropsTheMessageSilently) {
    ErrorLog missingDir((m_dir / "missing" / "errorlog.txt").string());
    EXPECT_NO_THROW(missingDir.LogError("lost"));
    EXPECT_FALSE(fs::exists(m_dir / "missing"));

    ErrorLog aDirectory(m_dir.string());
    EXPECT_NO_THROW(aDirectory.LogError("lost"));

    ErrorLog fullDisk("/dev/full");
    EXPECT_NO_THROW(fullDisk.LogError("lost"));
}

} // namespace
