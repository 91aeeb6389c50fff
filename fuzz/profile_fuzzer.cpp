// libFuzzer entry for the profile reader and writer.
#include "fuzz/exercises.h"
#include "fuzz/fuzz_entry.h"

#include <filesystem>
#include <unistd.h>

namespace {

// The file lives in a folder of its own, in memory where the machine has
// one, so that the writer's syncs cost nothing.
std::string& folder()
{
    static std::string path;
    return path;
}

void removeFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(folder(), ec);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (std::filesystem::is_directory("/dev/shm") ? std::string("/dev/shm")
                                                                      : std::filesystem::temp_directory_path().string())
                          + "/quorvana-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        std::abort();
    folder() = pattern;
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzing::verdict(fuzzing::exerciseProfile(folder(), data, size));
}
