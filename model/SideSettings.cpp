#include "model/SideSettings.h"

#include <algorithm>

namespace {

constexpr const char* kHeader = "# Tarvo Instrument Tuner: settings beyond state.txt, one "
                                "key=value a line";

bool IsKey(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
    });
}

bool IsValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

} // namespace

safefile::ReadStatus SideSettings::ReadFile(const std::string& path, std::string& why) {
    std::string text;
    const safefile::ReadStatus status = safefile::ReadFile(path, kMaxSideSettingsBytes, text, why);
    ReadText(status == safefile::ReadStatus::Read ? text : std::string_view());
    return status;
}

bool SideSettings::WriteFile(const std::string& path, std::string& why) const {
    return safefile::ReplaceFile(path, WriteText(), why);
}

void SideSettings::ReadText(std::string_view text) {
    m_entries.clear();
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos)
            continue;
        Set(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
    }
}

std::string SideSettings::WriteText() const {
    std::string out = kHeader;
    out += '\n';
    for (const auto& [key, value] : m_entries)
        out += key + '=' + value + '\n';
    return out;
}

std::string SideSettings::Get(const std::string& key) const {
    const auto found = m_entries.find(key);
    return found != m_entries.end() ? found->second : std::string();
}

bool SideSettings::Set(const std::string& key, const std::string& value) {
    if (!IsKey(key) || !IsValue(value))
        return false;
    if (value.empty())
        m_entries.erase(key);
    else
        m_entries[key] = value;
    return true;
}
