// libFuzzer entry for the registry store's text form.
#include "fuzz/exercises.h"
#include "fuzz/fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzing::verdict(fuzzing::exerciseStore(data, size));
}
