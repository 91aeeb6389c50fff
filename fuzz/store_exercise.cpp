#include "fuzz/exercises.h"

#include "platform/registry/store.h"

namespace fuzzing {

std::string exerciseStore(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto store = registry::store::parse(text);
    if (!store)
        return {};
    const std::string written = registry::store::serialize(*store);
    std::string error;
    const auto again = registry::store::parse(written, &error);
    if (!again)
        return "the store's own text does not read back: " + error;
    if (registry::store::serialize(*again) != written)
        return "the store's own text reads back as another store";
    return {};
}

} // namespace fuzzing
