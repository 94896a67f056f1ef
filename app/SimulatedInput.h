#pragma once
// Test-only input: when the environment variable TARVO_SIMULATED_INPUT names a sound file, the
// tuner records from a simulated device that plays that file in a loop, paced in real time,
// instead of from the sound card. Used by the end-to-end test and for screenshots; users never
// set it. The program itself still reads no command-line arguments.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class WaveInService;

inline constexpr const char* kSimulatedInputVariable = "TARVO_SIMULATED_INPUT";

// The simulated service for the file TARVO_SIMULATED_INPUT names; null when the variable is
// unset or empty (the sound card is used). A file that cannot be read gives a device that
// records silence, and a line on standard error.
std::shared_ptr<WaveInService> SimulatedInputFromEnvironment();

// The file's samples mixed to mono and converted to `rate` Hz, as 16-bit values, read as
// tarvo-analyse reads them; empty when the file cannot be used, with `error` saying why.
std::vector<int16_t> ReadSoundFile(const std::string& path, int rate, std::string& error);
