#include "AppTestSupport.h"
#include "tests/common/QtApp.h"
#include "tests/common/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <cmath>
#include <fstream>

namespace {

const auto* const g_qt = ::testing::AddGlobalTestEnvironment(new QtApp);

const char* const kArtwork[] = {"TarvoLogo.bmp", "TarvoLogoOp.bmp", "NotesClr.bmp", "NotesBev.bmp",
                                "NumClr.bmp",    "NumBev.bmp",      "Label.bmp",    "Circle.bmp"};

} // namespace

void AppDirTest::SetUp() {
    m_dir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(m_dir->isValid());
    for (const char* file : kArtwork) {
        const QString from = QString(TARVO_DATA_DIR) + "/" + file;
        ASSERT_TRUE(QFile::copy(from, m_dir->filePath(file))) << from.toStdString();
    }
    m_previousDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir->path()));
}

void AppDirTest::TearDown() {
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

std::string AppDirTest::Path(const std::string& name) const {
    return m_dir->filePath(QString::fromStdString(name)).toStdString();
}

bool AppDirTest::Exists(const std::string& name) const {
    return QFile::exists(QString::fromStdString(Path(name)));
}

std::vector<std::string> AppDirTest::LogMessages() const {
    std::vector<std::string> lines;
    std::ifstream in(Path("errorlog.txt"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(line.find(": ") + 2)); // after "... 02:17 AM: "
    return lines;
}

std::string AppDirTest::ReadFile(const std::string& name) const {
    return testfiles::ReadBytes(Path(name));
}

void AppDirTest::WriteFile(const std::string& name, const std::string& text) const {
    testfiles::WriteBytes(Path(name), text);
}

void AppDirTest::Remove(const std::string& name) const {
    QFile::remove(QString::fromStdString(Path(name)));
}

std::shared_ptr<SimulatedWaveIn> AppDirTest::QuietDevice() {
    auto device = std::make_shared<SimulatedWaveIn>();
    device->SetDeviceCount(1);
    return device;
}

std::unique_ptr<TestWindow> AppDirTest::MakeWindow(std::shared_ptr<SimulatedWaveIn> device) {
    auto window = std::make_unique<TestWindow>(device ? device : QuietDevice());
    // A quiet device is silent on purpose; the test of the silent-device watch turns it on.
    window->SetSilentDeviceLimit(0);
    EXPECT_TRUE(window->Create());
    return window;
}

void AppDirTest::ShowActive(TunerWindow& window) {
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

void FillResults(PitchResult (&results)[12], int note, int octave, float cents, float level) {
    for (int i = 0; i < 12; ++i)
        results[i] = EmptyPitchResult(i);
    const float frequency =
        440.0f * std::exp2((12.0f * octave + note - 57.0f + cents / 100.0f) / 12.0f);
    results[note] = PitchResult{note, octave, cents, level, frequency};
}
