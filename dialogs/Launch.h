#pragma once

#include <string>

// Opening the help page and the product web page in the desktop's HTML viewer. The viewer is
// `xdg-open` found on PATH; it is started detached with the page as its one argument, never
// through a shell, so a directory holding blanks or quotes reaches it intact. Nothing is
// reported: a missing viewer or page simply opens nothing.

// Host of the maker's web site: opened by a click on the logo and named in the logo's hint.
inline constexpr const char* kProductHost = "www.tarvo.com";
inline constexpr const char* kHelpPageName = "tarvohelp.htm";

// The product page address, "http://" + host + "/products/tarvo10.html".
std::string ProductPageAddress();

// The HTML open command: the full path of `xdg-open` in a directory of PATH; false when
// there is none.
bool FindHtmlOpenCommand(std::string& command);

// Starts the HTML open command with the help page of the current directory. True when the
// viewer was started.
bool OpenHelpPage();

// Starts the HTML open command with the product page address. True when the viewer was started.
bool OpenProductWebPage();
