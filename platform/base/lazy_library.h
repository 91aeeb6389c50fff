#pragma once
// A shared library opened the first time one of its functions is called,
// not when the program starts: the synthesizer, the sound card and the wave
// reader bring some forty libraries between them, which a player that is only
// browsing should neither load nor wait for.
//
// Each function the program calls gets a forwarder of the same name and
// signature (QUORVANA_FORWARD), so the code that calls it stays as it is. A
// library or function that is missing makes its forwarders return FAILURE,
// and why() tells the user why.
#include <mutex>
#include <string>

namespace lazy_library {

class Library {
public:
    // SONAME as the dynamic linker knows it ("libfluidsynth.so.3").
    explicit constexpr Library(const char* soname) : soname_(soname) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // NAME in the library, opening it first if need be; null when either is
    // missing.
    void* symbol(const char* name);
    // Empty, or why the library or a function of it could not be found.
    std::string why();
    // Why the library could not be opened, fixed once it was tried: for a
    // library's own error-text function to return while it is missing.
    const char* openFailure();

private:
    void open();

    const char* soname_;
    std::once_flag opened_;
    void* handle_ = nullptr;
    std::string openFailure_;
    std::mutex whyMutex_;
    std::string why_;
};

} // namespace lazy_library

// Defines the C function NAME with parameters PARAMS (as declared in the
// library's header, which must be included) to call the library's own with
// ARGS; FAILURE is returned when it cannot be found (empty for void).
#define QUORVANA_FORWARD(library, failure, ret, name, params, args)                                 \
    extern "C" ret name params                                                                     \
    {                                                                                              \
        using Fn = ret(*) params;                                                                  \
        static const Fn real = reinterpret_cast<Fn>((library).symbol(#name));                      \
        if (!real)                                                                                 \
            return failure;                                                                        \
        return real args;                                                                          \
    }
