#pragma once

#include <QIcon>

// The program's icon: a tuner dial with its needle, drawn at the usual sizes (the installed
// desktop icon is the same picture as SVG).
QIcon TunerIcon();
