#include "capture/QuietAudioLibraries.h"

#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>

// ALSA's thread-local message handler. Declared here: alsa/error.h (1.2.8) declares it outside
// its extern "C" block, so C++ code including it would look for a mangled name.
extern "C" {
using AlsaLocalHandler = void (*)(const char* file, int line, const char* function, int err,
                                  const char* fmt, va_list arg);
AlsaLocalHandler snd_lib_error_set_local(AlsaLocalHandler handler);
}

namespace {

void DropAlsa(const char*, int, const char*, int, const char*, va_list) {}

using JackPrint = void (*)(const char*);
using JackSetPrint = void (*)(JackPrint);

void DropJack(const char*) {}

// We do not link JACK; PortAudio does, so the library is loaded when there is anything to
// quiet. Its message functions are process-wide: the outermost holder swaps them, and puts
// back what was there unless someone (PortAudio, once connected to a server) installed their
// own in the meantime. Without the library's variables the defaults are put back.
struct Jack {
    JackSetPrint setError = nullptr;
    JackSetPrint setInfo = nullptr;
    JackPrint* error = nullptr; // the library's current functions
    JackPrint* info = nullptr;

    Jack() {
        setError = reinterpret_cast<JackSetPrint>(dlsym(RTLD_DEFAULT, "jack_set_error_function"));
        setInfo = reinterpret_cast<JackSetPrint>(dlsym(RTLD_DEFAULT, "jack_set_info_function"));
        error = static_cast<JackPrint*>(dlsym(RTLD_DEFAULT, "jack_error_callback"));
        info = static_cast<JackPrint*>(dlsym(RTLD_DEFAULT, "jack_info_callback"));
    }

    static void Swap(JackSetPrint set, JackPrint* current, JackPrint& saved, bool bEnter) {
        if (set == nullptr)
            return;
        if (bEnter) {
            saved = current ? *current : nullptr;
            set(&DropJack);
        } else if (current == nullptr || *current == &DropJack) {
            set(saved);
        }
    }
};

std::mutex g_jackMutex;
int g_jackDepth = 0;
JackPrint g_savedError = nullptr;
JackPrint g_savedInfo = nullptr;

void QuietJack(bool bEnter) {
    static const Jack jack;
    std::lock_guard lock(g_jackMutex);
    if (bEnter ? g_jackDepth++ != 0 : --g_jackDepth != 0)
        return;
    Jack::Swap(jack.setError, jack.error, g_savedError, bEnter);
    Jack::Swap(jack.setInfo, jack.info, g_savedInfo, bEnter);
}

} // namespace

QuietAudioLibraries::QuietAudioLibraries() {
    const char* debug = std::getenv("TARVO_AUDIO_DEBUG");
    if (debug != nullptr && *debug != '\0')
        return;
    m_bActive = true;
    // The thread's own handler: other threads' messages (a running stream's) are untouched.
    m_previousAlsa = reinterpret_cast<void (*)()>(snd_lib_error_set_local(&DropAlsa));
    QuietJack(true);
}

QuietAudioLibraries::~QuietAudioLibraries() {
    if (!m_bActive)
        return;
    QuietJack(false);
    snd_lib_error_set_local(reinterpret_cast<AlsaLocalHandler>(m_previousAlsa));
}
