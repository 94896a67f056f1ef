#pragma once
// ALSA configurations of our own, so that the real PortAudio path runs on a machine without a
// sound card. Each test process makes its device current before PortAudio and ALSA start.

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace testalsa {

// A fresh folder under /tmp: ALSA splits ALSA_CONFIG_PATH at white space, so not one in a
// build tree or TMPDIR whose path may hold a space. Empty when none can be made.
inline std::filesystem::path ScratchDir() {
    char name[] = "/tmp/tarvo-alsa-XXXXXX";
    return mkdtemp(name) ? std::filesystem::path(name) : std::filesystem::path();
}

// Writes `conf` and makes it this process's configuration: the default device records from
// `infile` (raw samples) and plays into nothing, or with no infile is the null device.
inline void UseDefaultDevice(const std::filesystem::path& conf, const std::string& infile = "") {
    std::ofstream c(conf);
    if (infile.empty()) {
        c << "pcm.!default {\n    type null\n}\n";
    } else {
        c << "pcm.!default {\n    type file\n    slave.pcm { type null }\n"
             "    file \"/dev/null\"\n    infile \""
          << infile << "\"\n    format \"raw\"\n}\n";
    }
    c.close();
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1); // and no reaching for a JACK server
}

// A default device that never answers: its recording is a pipe nobody writes to, and ALSA's
// open of it waits for a writer. PortAudio probes it while initialising.
struct HangingDevice {
    std::filesystem::path dir = ScratchDir();
    std::filesystem::path fifo = dir / "never";

    HangingDevice() {
        mkfifo(fifo.c_str(), 0600);
        UseDefaultDevice(dir / "asoundrc", fifo.string());
    }
    ~HangingDevice() {
        // Let the open that waits end, so the probing thread finishes before the process does.
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        std::filesystem::remove_all(dir);
    }
    HangingDevice(const HangingDevice&) = delete;
    HangingDevice& operator=(const HangingDevice&) = delete;
};

} // namespace testalsa
