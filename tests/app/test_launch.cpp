// Launching the help page and the product web page through a stand-in viewer on PATH: the page
// must reach it as one intact argument, whatever blanks and quotes the directory holds.

#include "dialogs/Launch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

class LaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid());
        m_bin = m_root.filePath("bin").toStdString();
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(m_bin)));
        m_record = m_root.filePath("arguments").toStdString();
        // The viewer writes its argument count and arguments, NUL-separated, then renames the
        // file so that the test never reads half of it.
        const std::string viewer = m_bin + "/xdg-open";
        std::ofstream(viewer) << "#!/bin/sh\n"
                              << "printf '%s\\0' \"$#\" \"$@\" > '" << m_record << ".part'\n"
                              << "/bin/mv '" << m_record << ".part' '" << m_record << "'\n";
        QFile::setPermissions(QString::fromStdString(viewer),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        const char* path = std::getenv("PATH");
        m_oldPath = path ? path : "";
        setenv("PATH", (m_bin + ":" + m_oldPath).c_str(), 1);
        m_oldDir = QDir::currentPath();
    }

    void TearDown() override {
        setenv("PATH", m_oldPath.c_str(), 1);
        QDir::setCurrent(m_oldDir);
    }

    // The arguments the viewer received, waiting for it a few seconds at most.
    std::vector<std::string> Received() {
        for (int i = 0; i < 500 && !QFile::exists(QString::fromStdString(m_record)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(m_record, std::ios::binary);
        std::vector<std::string> fields;
        for (std::string field; std::getline(in, field, '\0');)
            fields.push_back(field);
        return fields;
    }

    QTemporaryDir m_root;
    std::string m_bin;
    std::string m_record;
    std::string m_oldPath;
    QString m_oldDir;
};

TEST_F(LaunchTest, HelpAndProductPagesReachTheViewerAsOneArgumentFromAnAwkwardDirectory) {
    const QString awkward = m_root.filePath("my tuner's \"data\" $HOME; `x` & dir");
    ASSERT_TRUE(QDir().mkpath(awkward));
    ASSERT_TRUE(QDir::setCurrent(awkward));
    ASSERT_TRUE(OpenHelpPage());
    const std::string help = QDir::current().filePath("tarvohelp.htm").toStdString();
    EXPECT_EQ(Received(), (std::vector<std::string>{"1", help}));
    QFile::remove(QString::fromStdString(m_record));
    ASSERT_TRUE(OpenProductWebPage());
    EXPECT_EQ(Received(), (std::vector<std::string>{"1", std::string("http://") + kProductHost +
                                                             "/products/tarvo10.html"}));
}

TEST_F(LaunchTest, ANonExecutableFileIsNoViewerAndWithoutOneNothingHappens) {
    QFile::setPermissions(QString::fromStdString(m_bin + "/xdg-open"),
                          QFile::ReadOwner | QFile::WriteOwner);
    setenv("PATH", m_bin.c_str(), 1);
    EXPECT_FALSE(OpenHelpPage());
}

} // namespace
