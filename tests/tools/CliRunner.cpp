#include "CliRunner.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace

std::string ScratchPath(const std::string& name) {
    const auto dir = std::filesystem::path(TARVO_BINARY_DIR) / "tests" / "tools" / "scratch";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

CliRun RunAnalyse(const std::vector<std::string>& args) {
    static int counter = 0;
    const std::string errPath = ScratchPath("stderr-" + std::to_string(::getpid()) + "-" +
                                            std::to_string(counter++) + ".txt");
    std::string cmd = Quote(TARVO_ANALYSE_EXE);
    for (const auto& a : args)
        cmd += " " + Quote(a);
    cmd += " 2>" + Quote(errPath);
    CliRun run;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        ADD_FAILURE() << "cannot run " << cmd;
        return run;
    }
    char buf[65536];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        run.out.append(buf, n);
    const int st = pclose(p);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    run.err = testfiles::ReadBytes(errPath);
    std::filesystem::remove(errPath);
    return run;
}

void WriteSound(const std::string& path, int rate, int channels, const std::vector<float>& samples,
                int format) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format ? format : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    // Tests run as parallel processes and share some files: write aside, then rename, so a
    // reader never sees half a file.
    const std::string part = path + ".part" + std::to_string(::getpid());
    SNDFILE* f = sf_open(part.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << part << ": " << sf_strerror(nullptr);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    EXPECT_EQ(sf_writef_float(f, samples.data(), frames), frames);
    sf_close(f);
    std::filesystem::rename(part, path);
}

std::vector<float> HarmonicTone(double f0, int rate, double seconds) {
    const int n = static_cast<int>(seconds * rate);
    std::vector<float> x(static_cast<size_t>(n));
    double norm = 0.0;
    for (int k = 1; k <= 10; ++k)
        norm += 1.0 / k;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0.0;
        for (int k = 1; k <= 10 && k * f0 < 0.45 * rate; ++k)
            v += std::sin(2.0 * M_PI * k * f0 * t + 0.4 * k) / k;
        x[static_cast<size_t>(i)] = static_cast<float>(0.3 * v / norm);
    }
    return x;
}

std::vector<CsvRow> ParseCsv(const std::string& text) {
    std::vector<CsvRow> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "time,note,octave,cents,level,frequency,hold");
    while (std::getline(in, line)) {
        CsvRow r;
        char note[8] = {};
        const int got = std::sscanf(line.c_str(), "%lf,%7[^,],%d,%lf,%lf,%lf,%d", &r.time, note,
                                    &r.octave, &r.cents, &r.level, &r.frequency, &r.hold);
        EXPECT_EQ(got, 7) << line;
        r.note = note;
        rows.push_back(r);
    }
    return rows;
}
