#pragma once
// The registry store's file: read and parsed once while it stays the same,
// changed under a lock shared with every other running player, and
// replaced whole. The caller holds the registry's mutex around each call.
#include "platform/registry/registry.h"
#include "platform/registry/store.h"

#include <functional>
#include <string>

namespace registry::store_file {

// Whether the store at PATH may be written: a file without any write
// permission is read-only, even for root, and so is one in a folder we may
// not write.
bool writable(const std::string& path);

// The store as it is on disk now; null with CODE set when it cannot be read.
store::Store* load(LONG& code);

// Applies CHANGE to the current store and writes it back under the lock, so
// that a change made meanwhile by another process is kept. CHANGE leaves the
// store untouched when it fails.
LONG modify(const std::function<LONG(store::Store&)>& change);

} // namespace registry::store_file
