#pragma once
// Ends the tuner the way its close box does when the desktop session sends SIGTERM, SIGINT or
// SIGHUP, so capture stops in order and the settings are written instead of lost.

#include <functional>

class QObject;

// Installs the handlers; call once, on the window thread. `onSignal` runs on the window thread
// for each signal received; `parent` owns the notifier that carries the signal there.
void InstallSignalExit(QObject* parent, std::function<void()> onSignal);
