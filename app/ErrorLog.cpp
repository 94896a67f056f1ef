#include "app/ErrorLog.h"

#include <chrono>
#include <fstream>
#include <iomanip>
#include <locale>
#include <sstream>

namespace {

constexpr const char* kTimeFormat = "%A, %B, %d, %Y %I:%M %p";

std::tm LocalTimeNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm when{};
#if defined(_WIN32)
    localtime_s(&when, &now);
#else
    localtime_r(&now, &when); // std::localtime's shared buffer is not thread-safe
#endif
    return when;
}

} // namespace

std::string ErrorLog::FormatTime(const std::tm& when) {
    // The classic locale keeps day and month names English under any user locale.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::put_time(&when, kTimeFormat);
    return out.str();
}

std::string ErrorLog::FormatLine(const std::tm& when, const std::string& message) {
    return FormatTime(when) + ": " + message;
}

void ErrorLog::LogError(const std::string& message) {
    m_strLast = message;
    const std::string line = FormatLine(LocalTimeNow(), message);
    std::ofstream file(m_strFileName, std::ios::out | std::ios::app);
    if (!file.is_open()) {
        return;
    }
    file << line << '\n';
    file.flush();
}
