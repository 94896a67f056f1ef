// Reads the note, octave and percent off a screenshot of the tuner's client area by comparing
// the glyph bands with what the note display draws for every candidate value from the same
// artwork: no OCR, exact pixels.
//
//   tarvo-read-shot SHOT.png ARTWORK_DIR
//
// Prints "A3 +15" (note, octave, signed percent) and exits 0 when both bands match a candidate
// exactly; prints the nearest candidates and exits 1 otherwise.

#include "display/FineTuningGauge.h"
#include "model/Notes.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

constexpr QRect kNoteBand(68, 63, 80, 28);
constexpr QRect kNumberBand(169, 63, 100, 28);

int Differences(const QImage& a, const QImage& b, const QRect& band) {
    int differ = 0;
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x <= band.right(); ++x)
            differ += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return differ;
}

QImage Render(NoteDisplay& notes, int note, int octave, int percent) {
    QImage window(300, 380, QImage::Format_RGB32);
    window.fill(Qt::white);
    notes.SetNote(note);
    notes.SetOctave(octave);
    notes.SetPercent(percent);
    notes.Draw(window, true);
    return window;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarvo-read-shot SHOT.png ARTWORK_DIR\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QImage shot = QImage(argv[1]).convertToFormat(QImage::Format_RGB32);
    if (shot.width() < 300 || shot.height() < 380) {
        std::fprintf(stderr, "tarvo-read-shot: %s is not a 300 x 380 client area\n", argv[1]);
        return 2;
    }
    NoteDisplay gauge;
    if (!gauge.Load(argv[2])) {
        std::fprintf(stderr, "tarvo-read-shot: artwork missing in %s\n", argv[2]);
        return 2;
    }
    gauge.SetTextColor(0xFF0000u); // the default scheme's text

    int bestNote = -1, bestOctave = -1, noteDiff = std::numeric_limits<int>::max();
    for (int note = 0; note < kNoteCount; ++note) {
        for (int octave = 0; octave <= 9; ++octave) {
            const int d = Differences(shot, Render(gauge, note, octave, 0), kNoteBand);
            if (d < noteDiff) {
                noteDiff = d;
                bestNote = note;
                bestOctave = octave;
            }
        }
    }
    int bestPercent = 0, percentDiff = std::numeric_limits<int>::max();
    for (int percent = -99; percent <= 99; ++percent) {
        const int d = Differences(shot, Render(gauge, 6, 0, percent), kNumberBand);
        if (d < percentDiff) {
            percentDiff = d;
            bestPercent = percent;
        }
    }
    std::printf("%s%d %c%02d\n", kKeyNames[static_cast<size_t>(bestNote)], bestOctave,
                bestPercent < 0 ? '-' : '+', std::abs(bestPercent));
    if (noteDiff != 0 || percentDiff != 0) {
        std::fprintf(stderr, "tarvo-read-shot: nearest candidates differ in %d and %d pixels\n",
                     noteDiff, percentDiff);
        return 1;
    }
    return 0;
}
