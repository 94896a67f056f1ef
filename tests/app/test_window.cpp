// The main window on Qt's offscreen platform, on a simulated recording device: creation and its
// log lines, layout, hints, the logo link, the keyboard commands and focus ring, the exit paths,
// and the frame update driven with made-up results and a fixed clock.

#include "AppTestSupport.h"

#include "app/FrameUpdate.h"
#include "dialogs/Launch.h"
#include "display/HintControls.h"
#include "model/TunerSettings.h"
#include "tests/common/StateText.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <filesystem>
#include <functional>

#include <sys/stat.h>

namespace {

using statetext::StateText;

// concert A 432.5, default colours, key Eb (3), hop 128, no tunings.
const std::string kSavedState = StateText({{0, "43250"}, {7, "3"}});
// The side file beside it, remembering the recording device "webcam".
const std::string kSideFile = "# Tarvo Instrument Tuner: settings beyond state.txt, one key=value "
                              "a line\nrecordingDevice.name=webcam\n";

using Lines = std::vector<std::string>;

class WindowTest : public AppDirTest {};

// --- creation ------------------------------------------------------------------------------

TEST_F(WindowTest, TheRecordingDeviceIsRememberedByNameBesideStateTxt) {
    // Saved at position 1, where the webcam was before the Scarlett came.
    WriteFile("state.txt", StateText({{0, "43250"}, {6, "1"}, {7, "3"}}));
    WriteFile("state-extra.txt", kSideFile);
    auto device = QuietDevice();
    device->SetDeviceNames({"scarlett", "webcam"});
    MakeWindow(device).reset(); // created, then saved
    EXPECT_EQ(device->Opens().at(0).deviceId, 1u);
    EXPECT_EQ(ReadFile("state.txt"), StateText({{0, "43250"}, {6, "2"}, {7, "3"}}));
    EXPECT_EQ(ReadFile("state-extra.txt"), kSideFile);
    EXPECT_FALSE(Exists("errorlog.txt"));

    // Unplugged: the preferred device, one log line, and the name kept for when it is back.
    device->SetDeviceNames({"scarlett"});
    MakeWindow(device).reset();
    EXPECT_EQ(device->Opens().back().deviceId, WAVE_MAPPER);
    EXPECT_EQ(LogMessages(), Lines{"The recording device webcam is not present, using the "
                                   "preferred recording device"});
    EXPECT_EQ(ReadFile("state-extra.txt"), kSideFile);
}

TEST_F(WindowTest, ArtworkProblemsAreLoggedByName) {
    const auto loggedOnce = [this](const std::string& text) {
        const auto lines = LogMessages();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(text), std::string::npos) << lines[0];
    };
    // A missing logo ends the start (an incomplete installation): nothing recorded or saved.
    WriteFile("state.txt", kSavedState);
    Remove("TarvoLogo.bmp");
    auto device = QuietDevice();
    EXPECT_FALSE(TestWindow(device).Create());
    EXPECT_TRUE(device->Opens().empty());
    EXPECT_EQ(ReadFile("state.txt"), kSavedState);
    loggedOnce("(TarvoLogo.bmp: missing)");
    // A damaged picture is left out, as damaged gauge artwork is, and the tuner records.
    TearDown();
    SetUp();
    WriteFile("state.txt", kSavedState);
    WriteFile("NotesClr.bmp", "text");
    device = QuietDevice();
    EXPECT_TRUE(MakeWindow(device)->Engine().IsRunning());
    EXPECT_FALSE(device->Opens().empty());
    loggedOnce("(NotesClr.bmp: not a BMP picture); that file and the");
}

TEST_F(WindowTest, NoRecordingDeviceWarnsLogsAndStillRunsKeepingTheStoredHop) {
    std::string saved = kSavedState;
    saved.replace(saved.rfind("128"), 3, "256");
    WriteFile("state.txt", saved);
    auto device = QuietDevice();
    device->SetDeviceCount(0);
    auto window = MakeWindow(device);
    ASSERT_EQ(window->warnings.size(), 1u);
    EXPECT_EQ(window->warnings[0].first, "Error: No sound card found");
    EXPECT_EQ(window->warnings[0].second, QString(kNoDeviceText));
    EXPECT_EQ(LogMessages(), Lines{"Unable to find any recording device"});
    EXPECT_FALSE(window->Engine().IsRunning());
    // A run that never recorded has no hop of its own to save.
    window.reset();
    EXPECT_EQ(ReadFile("state.txt"), saved);
}

// --- bad settings files ----------------------------------------------------------------------

TEST_F(WindowTest, BadSettingsFilesAreNamedKeptAndNeverReplacedBlindly) {
    // Line 2 counts a tuning the file does not hold.
    const std::string unreadable = kSavedState.substr(0, kSavedState.size() - 2) + "1\n";
    const std::string opened = "Unable to read state.txt (it opened, but it ends early, in line "
                               "3), using defaults; ";
    const std::string huge((std::size_t{1} << 20) + 1, '#');
    namespace fs = std::filesystem;
    auto type = [this](const char* name) { return fs::symlink_status(Path(name)).type(); };
    struct Case {
        const char* what;
        std::function<void()> make; // state.txt, and what lies beside it
        Lines log;                  // at start, then at exit (where nothing is logged if saved)
        enum { kClosed, kWarned, kBySignal } how; // kWarned: closed after a box told the user
        std::function<void()> check = [] {};
    } cases[] = {
        {"unreadable",
         [&] { WriteFile("state.txt", unreadable); },
         {opened + "it is kept as state.txt.bad."},
         Case::kClosed,
         [&] {
             EXPECT_EQ(ReadFile("state.txt.bad"), unreadable);
             EXPECT_EQ(ReadFile("state.txt"), StateText());
         }},
        {"unreadable, another file kept before",
         [&] {
             WriteFile("state.txt", unreadable);
             WriteFile("state.txt.bad", "older");
         },
         {opened + "it cannot be kept aside (state.txt.bad already holds another file), so it "
                   "will not be replaced at exit.",
          "Unable to save state.txt: state.txt could not be read at start and state.txt.bad "
          "already holds another file; it is left as it is"},
         Case::kWarned,
         [&] {
             EXPECT_EQ(ReadFile("state.txt"), unreadable);
             EXPECT_EQ(ReadFile("state.txt.bad"), "older");
         }},
        {"a FIFO",
         [&] { ASSERT_EQ(::mkfifo(Path("state.txt").c_str(), 0600), 0); },
         {"Unable to open state.txt (a FIFO, not a file), using defaults.",
          "Unable to save state.txt: state.txt is a FIFO, not a file"},
         Case::kWarned,
         [&] { EXPECT_EQ(type("state.txt"), fs::file_type::fifo); }},
        {"a directory, closed by a signal",
         [&] {
             fs::create_directory(Path("state.txt"));
             WriteFile("state-extra.txt", kSideFile + "# a line the save drops\n");
         },
         {"Unable to open state.txt (a directory, not a file), using defaults.",
          "Unable to save state.txt: state.txt is a directory, not a file"},
         Case::kBySignal,
         [&] {
             EXPECT_EQ(type("state.txt"), fs::file_type::directory);
             EXPECT_EQ(ReadFile("state-extra.txt"), kSideFile); // saved all the same
         }},
        // The side file is handled as state.txt is, and apart from it: state.txt is saved.
        {"a FIFO side file",
         [&] {
             WriteFile("state.txt", kSavedState);
             ASSERT_EQ(::mkfifo(Path("state-extra.txt").c_str(), 0600), 0);
         },
         {"Unable to open state-extra.txt (a FIFO, not a file), using defaults.",
          "Unable to save state-extra.txt: state-extra.txt is a FIFO, not a file"},
         Case::kClosed,
         [&] {
             EXPECT_EQ(ReadFile("state.txt"), kSavedState);
             EXPECT_EQ(type("state-extra.txt"), fs::file_type::fifo);
         }},
        {"a side file too large to be one",
         [&] {
             WriteFile("state.txt", kSavedState);
             WriteFile("state-extra.txt", huge);
         },
         {"Unable to read state-extra.txt (it opened, but larger than 1048576 bytes), using "
          "defaults; it is kept as state-extra.txt.bad."},
         Case::kClosed,
         [&] {
             EXPECT_TRUE(ReadFile("state-extra.txt.bad") == huge);
             EXPECT_EQ(ReadFile("state-extra.txt"), kSideFile.substr(0, kSideFile.find('\n') + 1));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        c.make();
        {
            auto window = MakeWindow();
            if (c.how == Case::kBySignal)
                window->SetUnattendedExit();
            window->close();
            EXPECT_EQ(window->warnings.empty(), c.how != Case::kWarned);
        }
        EXPECT_EQ(LogMessages(), c.log);
        c.check();
    }
}

TEST_F(WindowTest, DialogResultsReachButtonEngineInstrumentsAndRecording) {
    auto device = QuietDevice();
    device->SetDeviceCount(2);
    auto window = MakeWindow(device);
    ApplyConcertA(432.26f, window->Settings(), window->Actions());
    EXPECT_EQ(window->ConcertAButton()->text(), "432.3 Hz");
    EXPECT_FLOAT_EQ(window->Engine().GetConcertA(), 432.26f);

    // Colours only: no restart; the needle takes the new colour at once.
    const size_t opens = device->Opens().size();
    const ColorArray colors = {0x00FF00, 0xFF0000, 0x008000, 0xFF0000};
    EXPECT_FALSE(ApplyOptions(OptionsResult{colors, 0, 0}, window->Settings(), window->Actions()));
    EXPECT_EQ(device->Opens().size(), opens);
    EXPECT_EQ(window->Surface().pixel(170, 43 + 150), qRgb(0, 255, 0));

    // A new recording device restarts capture on it, once.
    EXPECT_TRUE(ApplyOptions(OptionsResult{colors, 0, 2}, window->Settings(), window->Actions()));
    ASSERT_EQ(device->Opens().size(), opens + 1);
    EXPECT_EQ(device->Opens().back().deviceId, 1u);
    EXPECT_TRUE(window->Engine().IsRunning());
    EXPECT_FLOAT_EQ(window->Engine().GetConcertA(), 432.26f);
}

// --- hints and the logo --------------------------------------------------------------------

TEST_F(WindowTest, HintRegionsShowTheirTexts) {
    auto window = MakeWindow();
    const struct {
        QPoint at;
        int region;
    } points[] = {{{10, 308}, 0},  {{74, 331}, 0},  {{10, 43}, 1},   {{39, 299}, 1},  {{50, 43}, 2},
                  {{289, 299}, 2}, {{146, 331}, 3}, {{152, 308}, 4}, {{225, 308}, 5}, {{170, 5}, 6},
                  {{290, 41}, 6},  {{5, 5}, 7},     {{109, 29}, 7}};
    for (const auto& p : points) {
        window->OnPointerMove(p.at.x(), p.at.y());
        EXPECT_EQ(window->HintLine()->text(), window->HintText(p.region))
            << p.at.x() << "," << p.at.y();
    }
    EXPECT_EQ(window->HintText(6),
              QString("Click the logo to jump to our web page, ") + kProductHost);
    // Leaving every region keeps the last hint.
    window->OnPointerMove(40, 100);
    EXPECT_EQ(window->HintLine()->text(), window->HintText(7));
    // Controls report the pointer in the window's coordinates.
    ShowActive(*window);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5),
                     window->HelpButton()->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window->HelpButton(), &move);
    EXPECT_EQ(window->HintLine()->text(), window->HintText(4));
}

TEST_F(WindowTest, LogoOpensWebPageOnPressAndReleaseInside) {
    auto window = MakeWindow();
    ShowActive(*window);
    const QPoint logo(200, 20);
    const QPoint off(100, 100);

    QTest::mouseClick(window.get(), Qt::LeftButton, {}, logo);
    EXPECT_EQ(window->webPage, 1);

    // Pressed on the logo, dragged off and released: nothing.
    QTest::mousePress(window.get(), Qt::LeftButton, {}, logo);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, off);
    EXPECT_EQ(window->webPage, 1);
    // Pressed off the logo, released on it: nothing.
    QTest::mousePress(window.get(), Qt::LeftButton, {}, off);
    QTest::mouseRelease(window.get(), Qt::LeftButton, {}, logo);
    EXPECT_EQ(window->webPage, 1);

    // The right button opens it too.
    QTest::mouseClick(window.get(), Qt::RightButton, {}, logo);
    EXPECT_EQ(window->webPage, 2);
}

// --- keyboard ------------------------------------------------------------------------------

TEST_F(WindowTest, TabMovesFocusAlongTheRing) {
    auto window = MakeWindow();
    ShowActive(*window);
    EXPECT_EQ(window->focusWidget(), window.get());

    // The press reaches the window, the release the key selector it just focused.
    QTest::keyPress(window.get(), Qt::Key_Tab);
    QTest::keyRelease(window->KeySelector(), Qt::Key_Tab);
    EXPECT_EQ(window->focusWidget(), window->KeySelector());

    const QWidget* ring[] = {window->ConcertAButton(), window->OptionsButton(),
                             window->HelpButton(),     window->ExitButton(),
                             window->KeySelector(),    window->ConcertAButton(),
                             window->OptionsButton()};
    for (const QWidget* expected : ring) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(window->focusWidget(), expected) << ControlId(expected);
    }
    EXPECT_EQ(window->options + window->help + window->concertA, 0);
}

TEST_F(WindowTest, LettersActOnceInBothCasesWhateverHasTheFocus) {
    auto window = MakeWindow();
    ShowActive(*window);
    // As the keyboard delivers a key: the press to what has the focus, the release to what has
    // it then (the press may have moved it).
    auto type = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyPress(window->focusWidget(), static_cast<Qt::Key>(key), modifiers);
        QTest::keyRelease(window->focusWidget(), static_cast<Qt::Key>(key), modifiers);
    };
    // From the window itself, lower and upper case: the release then reaches the button the
    // press focused, and does not act again.
    type(Qt::Key_O);
    EXPECT_EQ(window->options, 1);
    EXPECT_EQ(window->focusWidget(), window->OptionsButton());
    window->setFocus();
    type(Qt::Key_H, Qt::ShiftModifier);
    EXPECT_EQ(window->help, 1);

    // From a focused button: the press stays with it, the release acts once.
    window->ExitButton()->setFocus();
    type(Qt::Key_O);
    EXPECT_EQ(window->options, 2);
    EXPECT_EQ(window->focusWidget(), window->OptionsButton());
    // From the key selector, whose type-ahead never sees a command (F would select key F).
    window->KeySelector()->setFocus();
    type(Qt::Key_F);
    EXPECT_EQ(window->KeySelector()->currentIndex(), 0);
    QTest::mouseClick(window->ConcertAButton(), Qt::LeftButton);
    EXPECT_EQ(window->concertA, 1);
    EXPECT_TRUE(window->isVisible());
}

// --- exit paths ----------------------------------------------------------------------------

class ExitPathTest : public AppDirTest, public ::testing::WithParamInterface<int> {};

TEST_P(ExitPathTest, StopsCaptureAndWritesStateOnce) {
    auto device = QuietDevice();
    auto window = MakeWindow(device);
    ShowActive(*window);
    QSignalSpy destroyed(window.get(), &TunerWindow::WindowDestroyed);
    window->KeySelector()->setCurrentIndex(4);
    ASSERT_TRUE(window->Engine().IsRunning());

    switch (GetParam()) {
    case 0: // Exit button
        QTest::mouseClick(window->ExitButton(), Qt::LeftButton);
        break;
    case 1: // exit key, lower case, on the window
        window->setFocus();
        QTest::keyClick(window.get(), 'e');
        break;
    case 2: // title-bar close box
        window->close();
        break;
    }
    EXPECT_EQ(destroyed.count(), 1);
    EXPECT_FALSE(device->IsOpen());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(ReadFile("state.txt"), StateText({{7, "4"}}));

    // Nothing writes it again: not a second close, not the window's deletion.
    Remove("state.txt");
    window->close();
    QApplication::processEvents();
    window.reset();
    EXPECT_FALSE(Exists("state.txt"));
    EXPECT_EQ(destroyed.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(AllPaths, ExitPathTest, ::testing::Values(0, 1, 2));

TEST_F(WindowTest, SSwitchesNeedleAndStrobeInPlaceRememberedBesideStateTxt) {
    WriteFile("state.txt", kSavedState);
    {
        auto window = MakeWindow();
        ShowActive(*window);
        window->OnPointerMove(170, 200);
        QTest::keyClick(window.get(), 's');
        ASSERT_TRUE(window->StrobeShown());
        EXPECT_EQ(window->HintLine()->text(), TunerWindow::FineGaugeHint(true));
        // Band 1's grey frame, drawn at once.
        EXPECT_EQ(window->Surface().pixel(StrobeGauge::BandArea(0).topLeft() - QPoint(0, 1)),
                  qRgb(192, 192, 192));
    }
    // state.txt keeps its format; the choice is in the side file.
    EXPECT_EQ(ReadFile("state.txt"), kSavedState);
    EXPECT_EQ(ReadFile("state-extra.txt"),
              kSideFile.substr(0, kSideFile.find('\n') + 1) + "fineTuningGauge=strobe\n");
    auto window = MakeWindow();
    EXPECT_TRUE(window->StrobeShown());
    ShowActive(*window);
    window->KeySelector()->setFocus(); // a command there too, never the list's type-ahead
    QTest::keyClick(window->KeySelector(), Qt::Key_S);
    EXPECT_FALSE(window->StrobeShown());
    EXPECT_EQ(window->KeySelector()->currentIndex(), 3);
}

// --- frame update --------------------------------------------------------------------------

TEST(PercentFromCents, FloorOfTheTrackersHalfCentUpReading) {
    // The tracker adds 0.5: a true -1.4 arrives as -0.9, a true +0.5 as 1.0.
    EXPECT_EQ(PercentFromCents(-0.9f), -1);
    EXPECT_EQ(PercentFromCents(0.9f), 0);
    EXPECT_EQ(PercentFromCents(-3.0f), -3);
    // Within two digits.
    EXPECT_EQ(PercentFromCents(250.0f), 99);
    EXPECT_EQ(PercentFromCents(-250.0f), -99);
    EXPECT_EQ(PercentFromCents(std::nanf("")), 0);
}

TEST(FontSizes, KeepThePixelHeightOfTheText) {
    EXPECT_EQ(MainFontSize(13), 77);
    EXPECT_EQ(PresetFontSize(77), 115);
    EXPECT_EQ(MainFontSize(0), 0);
}

class FrameTest : public AppDirTest {
protected:
    void SetUp() override {
        AppDirTest::SetUp();
        window = MakeWindow();
        window->SetFakeTime(100000);
    }
    void TearDown() override {
        window.reset();
        AppDirTest::TearDown();
    }

    // Frames of one steady result at hop 128 and 11025 Hz, enough for the tracker to follow,
    // then the display refresh that shows the newest.
    void Steady(int note, int octave, float cents, int frames = 12, float level = -10.0f) {
        PitchResult results[12];
        FillResults(results, note, octave, cents, level);
        for (int i = 0; i < frames; ++i)
            window->ProcessFrame(results, 128.0f, 11025, 0.5f);
        window->ShowNewestReading();
    }
    void Silence(int frames = 1) {
        PitchResult results[12];
        for (int i = 0; i < 12; ++i)
            results[i] = EmptyPitchResult(i);
        for (int i = 0; i < frames; ++i)
            window->ProcessFrame(results, 128.0f, 11025, 0.0f);
        window->ShowNewestReading();
    }

    std::unique_ptr<TestWindow> window;
};

TEST_F(FrameTest, PercentIsTheReadingRoundedToNearestBothSidesOfZero) {
    // Cents from the analysis and the percent a musician must see.
    const struct {
        float cents;
        int percent;
    } cases[] = {{-1.4f, -1}, {-0.6f, -1}, {-0.4f, 0}, {0.6f, 1}, {-12.2f, -12}, {30.0f, 30}};
    for (const auto& c : cases) {
        Silence(5); // over 50 ms: the hold; the next steady note restarts the averages
        Steady(9, 4, c.cents);
        EXPECT_EQ(window->ShownPercent(), c.percent) << c.cents;
    }
}

TEST_F(FrameTest, NeedleFadesToGreyWhileTheTrackerHolds) {
    // A point of the upright needle, as drawn.
    const auto needle = [&] { return window->Surface().pixel(170, 43 + 150); };
    const QRgb grey = qRgb(160, 160, 160);
    const QRgb red = qRgb(255, 0, 0);
    Silence(); // a hold from the first frame is grey at once
    EXPECT_EQ(needle(), grey);
    window->Settings().SetNeedleColor(0x0000FF);
    Steady(9, 4, 0.0f);
    ASSERT_EQ(needle(), red);

    const uint32_t t = 200000;
    const struct {
        uint32_t after; // ms since the hold began
        QRgb color;
    } fade[] = {{0, red}, {100, red}, {850, qRgb(208, 80, 80)}, {5000, grey}};
    for (const auto& step : fade) {
        window->SetFakeTime(t + step.after);
        Silence(step.after == 0 ? 5 : 1); // over 50 ms without the note: the hold begins at t
        EXPECT_EQ(needle(), step.color) << step.after;
    }
    // Following again: the scheme colour at once.
    window->SetFakeTime(t + 6000);
    Steady(9, 4, 0.0f);
    EXPECT_EQ(needle(), red);
}

TEST_F(FrameTest, TheStrobeFollowsTheReadingAndTheFramesOwnHarmonicsAtTheScreensPace) {
    window->OnChar('s');
    // A4 read 0.5 cents sharp; the frame's harmonics 2 and 4 stretched by 1 and 4 cents. Its
    // third is too weak to count and a peak a half-step above the fourth is not the fourth.
    const float f = 440.0f * std::exp2(0.5f / 1200.0f);
    const float freq[] = {f, 2.0f * f * std::exp2(1.0f / 1200.0f), 3.0f * f,
                          4.0f * f * std::exp2(4.0f / 1200.0f), 4.0f * f * 1.06f};
    const float amp[] = {1000.0f, 300.0f, 9.0f, 100.0f, 500.0f};
    PitchResult results[12];
    FillResults(results, 9, 4, 0.5f, -10.0f);
    for (int i = 0; i < 12; ++i)
        window->ProcessFrame(results, 128.0f, 11025, 0.5f, FramePeaks{freq, amp, 5});
    ASSERT_TRUE(window->ShowNewestReading());
    // A second later, without a new reading, each band has moved by its error.
    window->SetFakeTime(101000);
    EXPECT_FALSE(window->ShowNewestReading());
    const double expected[] = {0.5, 1.5, 0.0, 4.5};
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(window->Strobe().Phase(k), expected[k], 1e-3) << "band " << k + 1;
    const QRect third = StrobeGauge::BandArea(2);
    EXPECT_EQ(window->Surface().pixel(third.topLeft()), qRgb(160, 160, 160));
    // Held, the bands stand still.
    Silence(5);
    const double held = window->Strobe().Phase(0);
    window->SetFakeTime(102000);
    window->ShowNewestReading();
    EXPECT_EQ(window->Strobe().Phase(0), held);
}

TEST_F(FrameTest, FrameRateTitleAfterMoreThanASecond) {
    auto fresh = std::make_unique<TestWindow>(QuietDevice());
    fresh->SetSilentDeviceLimit(0);
    fresh->SetFakeTime(50000);
    ASSERT_TRUE(fresh->Create());
    window = std::move(fresh);
    window->OnChar('f');
    PitchResult results[12];
    FillResults(results, 9, 4, 0.0f, -10.0f);
    window->SetFakeTime(50500);
    for (int i = 0; i < 89; ++i)
        window->ProcessFrame(results, 128.0f, 11025, 0.5f);
    window->ShowNewestReading();
    EXPECT_EQ(window->windowTitle(), "Tarvo Instrument Tuner 1.02");
    window->SetFakeTime(51040); // 90 updates in 1040 ms
    window->ProcessFrame(results, 128.0f, 11025, 0.5f);
    window->ShowNewestReading();
    EXPECT_EQ(window->windowTitle(), "Tarvo Instrument Tuner 1.02 (87 fps)");

    // Off: the base title, and a rate measured meanwhile is not shown.
    window->SetFakeTime(52100);
    window->ProcessFrame(results, 128.0f, 11025, 0.5f);
    window->OnChar('F');
    window->ShowNewestReading();
    EXPECT_EQ(window->windowTitle(), "Tarvo Instrument Tuner 1.02");
}

} // namespace
