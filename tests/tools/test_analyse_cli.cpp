// tarvo-analyse's command line: output format, options and error handling.

#include "CliRunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "tests/common/TestFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// Times are printed to four decimals: right to within half the last digit.
constexpr double kPrintedTime = 0.00005 + 1e-9;

using ::testing::HasSubstr;

class Cli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        a4 = ScratchPath("cli-a4.wav");
        WriteSound(a4, 11025, 1, HarmonicTone(440.0, 11025, 0.5));
    }
    static std::string a4;
};
std::string Cli::a4;

TEST_F(Cli, PrintsOneLinePerFrameWithTheLastSampleTime) {
    const CliRun run = RunAnalyse({a4});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto rows = ParseCsv(run.out);
    // 5512 samples: frames of 1024 every 128 samples.
    ASSERT_EQ(rows.size(), static_cast<size_t>((5512 - 1024) / 128 + 1));
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_NEAR(rows[i].time, (1023.0 + 128.0 * i) / 11025.0, kPrintedTime) << i;
        EXPECT_TRUE(rows[i].hold == 0 || rows[i].hold == 1);
    }
    EXPECT_EQ(rows[0].hold, 1); // the tracker starts holding, then follows
    EXPECT_NEAR(rows.back().cents, 0.0, 0.1);
    EXPECT_NEAR(rows.back().frequency, 440.0, 0.05);
    // Two decimals for cents and level, three for the frequency; A4 followed.
    const std::string last = run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1);
    EXPECT_THAT(last, ::testing::MatchesRegex(
                          "[0-9]+\\.[0-9]{4},A,4,-?[0-9]+\\.[0-9]{2},-?[0-9]+\\.[0-9]{2},"
                          "440\\.[0-9]{3},0\n"));
}

TEST_F(Cli, ConcertAAndKeyChangeTheNamedNote) {
    // Key A: concert A4 shows as C4; key Bb: as B3. The frequency is unchanged.
    const struct {
        std::vector<std::string> args;
        const char* note;
        int octave;
        double cents;
    } cases[] = {{{"--concert-a", "430"}, "A", 4, 1200.0 * std::log2(440.0 / 430.0)}, // limits
                 {{"--concert-a=450"}, "A", 4, 1200.0 * std::log2(440.0 / 450.0)},
                 {{"--key", "A"}, "C", 4, 0.0},
                 {{"--key", "Bb"}, "B", 3, 0.0}};
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(a4);
        const CliRun run = RunAnalyse(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const CsvRow last = ParseCsv(run.out).back();
        EXPECT_EQ(last.note, c.note) << c.args[0];
        EXPECT_EQ(last.octave, c.octave) << c.args[0];
        EXPECT_NEAR(last.cents, c.cents, 0.1) << c.args[0];
        EXPECT_NEAR(last.frequency, 440.0, 0.05) << c.args[0];
    }
}

TEST_F(Cli, ClassesPrintsTwelveRowsPerFrame) {
    const CliRun run = RunAnalyse({"--classes", a4});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("time,class,note,octave,cents,level,frequency\n", 0), 0u);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1 + 12 * ((5512 - 1024) / 128 + 1));
    // Under a key the names rotate; empty classes keep octave 0.
    const CliRun keyed = RunAnalyse({"--classes", "--key", "D", a4});
    ASSERT_EQ(keyed.status, 0) << keyed.err;
    EXPECT_NE(keyed.out.find(",9,G,4,"), std::string::npos);
    EXPECT_NE(keyed.out.find(",0,Bb,0,0.00,-90.00,0.000\n"), std::string::npos);
    EXPECT_EQ(keyed.out.find(",-1,"), std::string::npos);
}

// A copy of `from` cut to `bytes` bytes (or to `bytes` eighths of its size when below 8).
std::string Cut(const std::string& from, const std::string& to, uintmax_t bytes) {
    const std::string path = ScratchPath(to);
    std::filesystem::copy_file(from, path, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(path,
                                 bytes < 8 ? std::filesystem::file_size(from) * bytes / 8 : bytes);
    return path;
}

// The bits `mask` of the big- or little-endian number in bytes [at, at + n) of a file set to
// those of `value`.
void Patch(const std::string& path, size_t at, int n, uint64_t value, bool bigEndian,
           uint64_t mask = ~uint64_t{0}) {
    std::string bytes = testfiles::ReadBytes(path);
    for (int i = 0; i < n; ++i) {
        const int shift = 8 * (bigEndian ? n - 1 - i : i);
        auto& b = reinterpret_cast<unsigned char&>(bytes[at + static_cast<size_t>(i)]);
        b = static_cast<unsigned char>((b & ~(mask >> shift)) | (value & mask) >> shift);
    }
    testfiles::WriteBytes(path, bytes);
}

TEST_F(Cli, BadAudioFilesAreNamedWithWhatIsWrong) {
    const auto tone = HarmonicTone(110.0, 11025, 2.0);
    auto make = [&](const std::string& name, int format) {
        const std::string path = ScratchPath(name);
        WriteSound(path, 11025, 1, tone, format);
        return path;
    };
    const std::string wav = make("cli-whole.wav", 0);
    const std::string aiff = make("cli-whole.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
    const std::string au = make("cli-whole.au", SF_FORMAT_AU | SF_FORMAT_PCM_16);
    const std::string flac = make("cli-whole.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string ogg = ScratchPath("cli-whole.ogg"); // long enough for many Ogg pages
    WriteSound(ogg, 11025, 1, HarmonicTone(110.0, 11025, 20.0), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    // A FLAC whose stream header claims 2^35 frames: the low 36 bits of bytes 18 to 25.
    const std::string inflated = Cut(flac, "cli-inflated.flac", std::filesystem::file_size(flac));
    Patch(inflated, 18, 8, uint64_t{1} << 35, true, (uint64_t{1} << 36) - 1);
    const std::string text = ScratchPath("not-audio.wav");
    std::ofstream(text) << "this is not a recording\n";
    // 2.5 million samples at 100 Hz would be 276 million at 11025 Hz.
    const std::string huge = ScratchPath("cli-huge.wav");
    WriteSound(huge, 100, 1, std::vector<float>(2500000, 0.0f));
    const std::string brief = ScratchPath("cli-brief.wav");
    WriteSound(brief, 11025, 1, HarmonicTone(440.0, 11025, 0.05));
    const std::string quiet = ScratchPath("cli-silence.wav");
    WriteSound(quiet, 11025, 1, std::vector<float>(11025, 0.0f));

    const std::string ends = "read failed: the file ends after ";
    const struct {
        std::string path;
        std::string why;
    } bad[] = {
        {ScratchPath("no-such-file.wav"), "System error"},
        {text, "Format not recognised"},
        {Cut(wav, "cli-cut.wav", 20000), ends + "9978 of the 22050 frames its header gives"},
        {Cut(aiff, "cli-cut.aiff", 20000), ends + "9973 of the 22050 frames its header gives"},
        {Cut(au, "cli-cut.au", 20000), ends + "9988 of the 22050 frames its header gives"},
        {inflated, ends + "22050 of the 34359738368 frames its header gives"},
        {Cut(ogg, "cli-cut.ogg", 6), "read failed: the file ends without its last Ogg page"},
        {Cut(ogg, "cli-6k.ogg", 6000), "no audio could be decoded"},
        {brief, "shorter than one analysis frame"},
        {huge, "recording too long: its header gives 416.7 minutes"},
    };
    // A FLAC cut short: where the cut falls, libsndfile either reports lost sync or just stops.
    std::vector<std::string> args{"--summary", a4, quiet};
    for (int eighths = 2; eighths <= 7; ++eighths)
        args.push_back(Cut(flac, "cli-cut" + std::to_string(eighths) + ".flac", eighths));
    for (const auto& b : bad)
        args.push_back(b.path);
    const CliRun run = RunAnalyse(args);
    EXPECT_EQ(run.status, 2);
    // A summary line for each good file, and only for them.
    EXPECT_EQ(run.out.rfind(a4 + ": A4 ", 0), 0u) << run.out;
    EXPECT_THAT(run.out, HasSubstr(" 440.0"));
    EXPECT_THAT(run.out, HasSubstr("\n" + quiet + ": no settled note (0 of 79 frames)\n"));
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
    for (size_t i = 3; i < 9; ++i)
        EXPECT_THAT(run.err, HasSubstr("tarvo-analyse: " + args[i] + ": read failed: "));
    for (const auto& b : bad)
        EXPECT_THAT(run.err, HasSubstr("tarvo-analyse: " + b.path + ": " + b.why));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 6 + std::size(bad));
}

TEST_F(Cli, AStreamIsReadInBoundedMemoryAndItsPlaceholderLengthIsNoClaim) {
    // A WAV header as a program writing to a pipe leaves it: the length a placeholder.
    const std::string streamed = ScratchPath("cli-streamed.wav");
    WriteSound(streamed, 11025, 1, HarmonicTone(440.0, 11025, 0.5));
    Patch(streamed, 4, 4, 0x7FFFF024, false);
    Patch(streamed, 40, 4, 0x7FFFF000, false);
    CliRun run = RunAnalyse({"--summary", streamed});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr(": A4 "));

    // The same header followed by silence without end, through a pipe: refused once past the
    // longest recording read, having held no more than that in memory.
    const std::string header = Cut(streamed, "cli-header.wav", 44);
    const std::string err = ScratchPath("cli-endless.err");
    const std::string cmd = "cat '" + header + "' /dev/zero | '" + TARVO_ANALYSE_EXE +
                            "' --summary /dev/stdin 2>'" + err + "'";
    // The pipeline's own peak, not that of the test process's earlier children.
    const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_THAT(testfiles::ReadBytes(err), HasSubstr("/dev/stdin: recording too long, or a "
                                                     "stream without end: it goes on past the "));
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "kB"; // 64 MiB of samples, and the program
}

TEST_F(Cli, SeveralFilesGetAHeaderEachWithTheNameEscaped) {
    // A name made to look like a frame row after a line feed stays on its own line.
    const std::string dir = ScratchPath("");
    const std::string name = "x\\y\n0.1000,A,4,0.00,-1.00,440.000,0.wav";
    std::filesystem::copy_file(a4, dir + name, std::filesystem::copy_options::overwrite_existing);
    const std::string shown = dir + "x\\\\y\\n0.1000,A,4,0.00,-1.00,440.000,0.wav";
    CliRun run = RunAnalyse({a4, dir + name});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("# " + a4 + "\ntime,note,octave,cents,level,frequency,hold\n"), 0u);
    EXPECT_THAT(run.out, HasSubstr("\n# " + shown + "\ntime,"));
    EXPECT_THAT(run.out, ::testing::Not(HasSubstr("\n0.1000,")));
    run = RunAnalyse({"--summary", dir + name, dir + name + "-missing"});
    EXPECT_EQ(run.out.rfind(shown + ": A4 ", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
    EXPECT_THAT(run.err, HasSubstr("tarvo-analyse: " + shown + "-missing: "));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST_F(Cli, NativeRateRefusesOtherRates) {
    // The tuner's own rates are in the accuracy cases.
    const std::string r48 = ScratchPath("cli-48000.wav");
    WriteSound(r48, 48000, 1, HarmonicTone(440.0, 48000, 0.5));
    const CliRun run = RunAnalyse({"--native-rate", r48});
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr(r48 + ": sample rate 48000 Hz"));
}

TEST_F(Cli, BadOptionsPrintTheUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--concert-a", "429.9", a4},
                                                                  {"--concert-a", "450.1", a4},
                                                                  {"--concert-a", "abc", a4},
                                                                  {"--concert-a"},
                                                                  {"--key", "H", a4},
                                                                  {"--hop", "0", a4},
                                                                  {"--hop", "12.5", a4},
                                                                  {"--frobnicate", a4},
                                                                  {"--classes", "--summary", a4},
                                                                  {}}) {
        const CliRun run = RunAnalyse(args);
        EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
        EXPECT_THAT(run.err, HasSubstr("usage: tarvo-analyse")) << ::testing::PrintToString(args);
        EXPECT_EQ(run.out, "");
    }
    const CliRun help = RunAnalyse({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("usage: tarvo-analyse"));
    EXPECT_EQ(RunAnalyse({"--key", "f#", "--summary", a4}).status, 0); // any case
}

} // namespace
