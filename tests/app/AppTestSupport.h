#pragma once
// Shared by the main-window tests: a QApplication for the whole run, a temporary current
// directory holding the artwork, and a window whose modal actions only count.

#include "app/TunerWindow.h"
#include "capture/SimulatedWaveIn.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

// A TunerWindow that opens nothing modal and launches nothing.
class TestWindow : public TunerWindow {
public:
    using TunerWindow::TunerWindow;

    int concertA = 0;
    int options = 0;
    int help = 0;
    int webPage = 0;
    std::vector<std::pair<QString, QString>> warnings;

protected:
    void ShowConcertA() override { ++concertA; }
    void ShowOptions() override { ++options; }
    void OpenHelp() override { ++help; }
    void OpenWebPage() override { ++webPage; }
    void WarningBox(const QString& title, const QString& text) override {
        warnings.emplace_back(title, text);
    }
};

// Each test runs in a fresh current directory holding a copy of the artwork.
class AppDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string Path(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // The lines of errorlog.txt without their time stamps.
    std::vector<std::string> LogMessages() const;
    std::string ReadFile(const std::string& name) const;
    void WriteFile(const std::string& name, const std::string& text) const;
    void Remove(const std::string& name) const;

    // A simulated recording device that delivers only when asked (no sound card needed).
    static std::shared_ptr<SimulatedWaveIn> QuietDevice();
    // A created window on a quiet device; fails the test when creation fails.
    std::unique_ptr<TestWindow> MakeWindow(std::shared_ptr<SimulatedWaveIn> device = nullptr);
    // Shows the window and makes it the active one, so that focus and keys behave.
    static void ShowActive(TunerWindow& window);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
};

// A steady pitch result of one class at its frequency against A 440 (the others empty).
void FillResults(PitchResult (&results)[12], int note, int octave, float cents, float level);
