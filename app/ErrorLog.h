#pragma once
// The error log: problems at start-up and with the recording device, appended as one
// time-stamped line each to a text file (errorlog.txt in the current directory) so that a user
// can read them after a silent failure. Window thread only.

#include <ctime>
#include <string>
#include <utility>

inline constexpr const char* kErrorLogFileName = "errorlog.txt";

class ErrorLog {
public:
    ErrorLog() = default;
    explicit ErrorLog(std::string fileName) : m_strFileName(std::move(fileName)) {}

    void SetFileName(const std::string& fileName) { m_strFileName = fileName; }

    // Appends "<local time>: <message>" and a line end; the file is created when missing and
    // never truncated. When it cannot be opened the message is dropped without any report.
    void LogError(const std::string& message);
    // The last message given, written or not (empty before the first).
    const std::string& LastMessage() const { return m_strLast; }

    // "%A, %B, %d, %Y %I:%M %p" with English names whatever the locale, e.g.
    // "Sunday, December, 06, 2026 02:17 AM".
    static std::string FormatTime(const std::tm& when);
    // One log line without its line end: time, ": ", message.
    static std::string FormatLine(const std::tm& when, const std::string& message);

private:
    std::string m_strFileName = kErrorLogFileName;
    std::string m_strLast;
};
