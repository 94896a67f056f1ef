#include "app/ErrorLog.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

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

const std::regex kLinePattern(
    "(Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), "
    "(January|February|March|April|May|June|July|August|September|October|November|December), "
    "(0[1-9]|[12][0-9]|3[01]), [0-9]{4} (0[1-9]|1[0-2]):[0-5][0-9] (AM|PM): (.*)");

using ErrorLogFile = testfiles::ScratchDirTest;

TEST(ErrorLogFormat, TwelveHourClockWithTwoDigitFieldsAndEnglishNamesUnderAnyLocale) {
    const testfiles::GermanLocale german; // when installed; the names must not follow it
    EXPECT_EQ(
        ErrorLog::FormatLine(MakeTime(2026, 12, 6, 2, 17), "Unable to find any recording device"),
        "Sunday, December, 06, 2026 02:17 AM: Unable to find any recording device");
    EXPECT_EQ(ErrorLog::FormatTime(MakeTime(2025, 1, 1, 0, 5)),
              "Wednesday, January, 01, 2025 12:05 AM");
    EXPECT_EQ(ErrorLog::FormatTime(MakeTime(2030, 9, 30, 13, 7)),
              "Monday, September, 30, 2030 01:07 PM");
}

TEST_F(ErrorLogFile, EachMessageAppendsOneLineAndKeepsWhatWasThere) {
    const std::string old = "an earlier run's line\nanother\n";
    const fs::path path = m_dir / "errorlog.txt";
    std::ofstream(path, std::ios::binary) << old;
    ErrorLog log;
    log.SetFileName(path.string());
    const std::string messages[] = {"Unable to create Exit button", ""};
    for (int i = 0; i < 2; ++i) {
        log.LogError(messages[i]);
        const std::string raw = testfiles::ReadBytes(path);
        ASSERT_EQ(raw.substr(0, old.size()), old);
        ASSERT_EQ(std::count(raw.begin(), raw.end(), '\n'), 3 + i);
        const size_t start = raw.rfind('\n', raw.size() - 2) + 1;
        const std::string line = raw.substr(start, raw.size() - 1 - start);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLinePattern)) << line;
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
