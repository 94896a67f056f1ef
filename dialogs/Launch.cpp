#include "dialogs/Launch.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace {

bool IsExecutableFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

bool Run(const std::string& command, const std::string& argument) {
    // The argument goes to the viewer as it is: no shell sees it.
    return QProcess::startDetached(QString::fromStdString(command),
                                   QStringList{QString::fromStdString(argument)});
}

} // namespace

std::string ProductPageAddress() {
    return std::string("http://") + kProductHost + "/products/tarvo10.html";
}

bool FindHtmlOpenCommand(std::string& command) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    const std::string dirs(path);
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        // An empty entry means the current directory, as for the shell.
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        const std::filesystem::path candidate = std::filesystem::path(dir) / "xdg-open";
        if (IsExecutableFile(candidate)) {
            command = std::filesystem::absolute(candidate).string();
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool OpenHelpPage() {
    std::string command;
    if (!FindHtmlOpenCommand(command))
        return false;
    std::error_code error;
    const std::filesystem::path dir = std::filesystem::current_path(error);
    if (error)
        return false;
    return Run(command, (dir / kHelpPageName).string());
}

bool OpenProductWebPage() {
    std::string command;
    if (!FindHtmlOpenCommand(command))
        return false;
    return Run(command, ProductPageAddress());
}
