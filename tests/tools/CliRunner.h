#pragma once

// Runs tarvo-analyse and writes the recordings it reads.

#include <string>
#include <vector>

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built tarvo-analyse with the arguments (each shell-quoted).
CliRun RunAnalyse(const std::vector<std::string>& args);

// A scratch directory for this test binary's files.
std::string ScratchPath(const std::string& name);

// Writes interleaved samples in -1..1 as a 16-bit WAV (or `format`, a libsndfile format).
void WriteSound(const std::string& path, int rate, int channels, const std::vector<float>& samples,
                int format = 0);

// A steady harmonic tone: harmonics 1..10 of f0 at amplitude 0.3 / k, below 0.45 rate.
std::vector<float> HarmonicTone(double f0, int rate, double seconds);

struct CsvRow {
    double time = 0;
    std::string note;
    int octave = 0;
    double cents = 0;
    double level = 0;
    double frequency = 0;
    int hold = 0;
};

// Parses the per-frame CSV (header first); rows that do not parse fail the calling test.
std::vector<CsvRow> ParseCsv(const std::string& text);
