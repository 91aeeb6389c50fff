#include "platform/base/lazy_library.h"

#include <dlfcn.h>

namespace lazy_library {

void Library::open()
{
    // Local: its functions are reached through this handle only, and cannot
    // stand in for another library's.
    handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* error = dlerror();
        openFailure_ = std::string(soname_) + " cannot be loaded (" + (error ? error : "not found") + ")";
        std::lock_guard lock(whyMutex_);
        why_ = openFailure_;
    }
}

void* Library::symbol(const char* name)
{
    std::call_once(opened_, [this] { open(); });
    if (!handle_)
        return nullptr;
    void* found = dlsym(handle_, name);
    if (!found) {
        std::lock_guard lock(whyMutex_);
        why_ = std::string(soname_) + " has no " + name;
    }
    return found;
}

std::string Library::why()
{
    std::call_once(opened_, [this] { open(); });
    std::lock_guard lock(whyMutex_);
    return why_;
}

const char* Library::openFailure()
{
    std::call_once(opened_, [this] { open(); });
    return openFailure_.c_str();
}

} // namespace lazy_library
