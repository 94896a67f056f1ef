#pragma once
// Helpers for tests of several folders: whole files, a scratch folder per test and a locale
// with a decimal comma.

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace testfiles {

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder for each test, removed afterwards even when the test took its permissions.
class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                (std::string("tarvo-") + info->test_suite_name() + "-" + info->name() + "-" +
                 std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_dir, ec);
    }
    std::filesystem::path m_dir;
};

// Switches the C and C++ global locales to German (decimal comma, other month names) for its
// lifetime, if that locale is installed; the old ones come back even when a test stops early.
class GermanLocale {
public:
    GermanLocale() : m_savedC(std::setlocale(LC_ALL, nullptr)) {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
            m_savedGlobal = std::locale::global(std::locale("de_DE.UTF-8"));
            m_active = true;
        }
    }
    ~GermanLocale() {
        if (m_active) {
            std::locale::global(m_savedGlobal);
        }
        std::setlocale(LC_ALL, m_savedC.c_str());
    }
    GermanLocale(const GermanLocale&) = delete;
    GermanLocale& operator=(const GermanLocale&) = delete;
    bool Active() const { return m_active; }

private:
    std::string m_savedC;
    std::locale m_savedGlobal;
    bool m_active = false;
};

} // namespace testfiles
