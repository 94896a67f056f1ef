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

TEST(Launch, PagesReachTheViewerAsOneArgumentFromAnAwkwardDirectoryAndOnlyAnExecutableOne) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string bin = root.filePath("bin").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(bin)));
    const std::string record = root.filePath("arguments").toStdString();
    // The viewer writes its argument count and arguments, NUL-separated, then renames the file
    // so that the test never reads half of it.
    const QString viewer = QString::fromStdString(bin + "/xdg-open");
    std::ofstream(viewer.toStdString())
        << "#!/bin/sh\nprintf '%s\\0' \"$#\" \"$@\" > '" << record << ".part'\n"
        << "/bin/mv '" << record << ".part' '" << record << "'\n";
    QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    const QString oldDir = QDir::currentPath();
    // The arguments the viewer received, waiting for it a few seconds at most.
    const auto received = [&] {
        for (int i = 0; i < 500 && !QFile::exists(QString::fromStdString(record)); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(record, std::ios::binary);
        std::vector<std::string> fields;
        for (std::string field; std::getline(in, field, '\0');)
            fields.push_back(field);
        QFile::remove(QString::fromStdString(record));
        return fields;
    };

    const QString awkward = root.filePath("my tuner's \"data\" $HOME; `x` & dir");
    ASSERT_TRUE(QDir().mkpath(awkward));
    ASSERT_TRUE(QDir::setCurrent(awkward));
    ASSERT_TRUE(OpenHelpPage());
    const std::string help = QDir::current().filePath("tarvohelp.htm").toStdString();
    EXPECT_EQ(received(), (std::vector<std::string>{"1", help}));
    ASSERT_TRUE(OpenProductWebPage());
    EXPECT_EQ(received(), (std::vector<std::string>{"1", std::string("http://") + kProductHost +
                                                             "/products/tarvo10.html"}));
    // A file that is not executable is no viewer, and without one nothing happens.
    QFile::setPermissions(viewer, QFile::ReadOwner | QFile::WriteOwner);
    setenv("PATH", bin.c_str(), 1);
    EXPECT_FALSE(OpenHelpPage());
    setenv("PATH", oldPath.c_str(), 1);
    QDir::setCurrent(oldDir);
}
