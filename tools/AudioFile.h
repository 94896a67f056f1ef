#pragma once

// Reading recordings from sound files: one reader for tarvo-analyse and for the tuner's
// simulated input. It trusts no length a header gives: memory follows the audio actually read,
// up to a fixed limit, and a file that ends before the length its header states is refused as
// damaged rather than analysed as a shorter recording.

#include <cstddef>
#include <string>
#include <vector>

// Mono samples holding 16-bit integer values, as the capture side delivers them.
struct Recording {
    std::vector<float> samples;
    int sampleRate = 0;
    int fileRate = 0; // rate of the file before resampling
};

// Longest recording read, in samples after resampling: 64 MiB of floats, 25 minutes at
// 11025 Hz. An endless stream is refused once it passes this.
constexpr size_t kMaxAnalysedSamples = size_t{1} << 24;

// Reads any file libsndfile reads ("-" or /dev/stdin for a stream), mixes the channels to mono
// (their mean), resamples to targetRate (targetRate 0 keeps the file's rate) and scales to the
// 16-bit range, rounded and clipped. On failure `error` says why in a few words.
bool LoadRecording(const std::string& path, int targetRate, Recording& recording,
                   std::string& error);

// How a file name is shown in output read line by line: a backslash and every control
// character escaped C-style (\\, \n, \t, \r, \xHH), everything else as it is.
std::string PrintableName(const std::string& name);
