#pragma once
// Walking the chunks of a RIFF file (wave sounds, RMID songs, soundfonts):
// an id, a size, a body padded to an even length. Sizes are not trusted: a
// chunk that claims more than is left ends the walk.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace base::riff {

// READ(offset, buffer, size) returns how many bytes it could read there.
using ReadAt = std::function<size_t(uint64_t offset, void* buffer, size_t size)>;

// Reads from BYTES in memory.
ReadAt inMemory(std::span<const uint8_t> bytes);

struct Chunk {
    char id[4];
    uint64_t body; // offset of the body
    uint64_t size; // as the header gives it; a visitor may put the true one
    bool is(const char* four) const;
};

struct Rules {
    bool bigEndian = false; // RIFX
    // Some writers leave out the pad byte before this chunk; null: none do.
    const char* padMayLackBefore = nullptr;
    // A hostile file can hold any number of tiny chunks.
    unsigned maxChunks = 4096;
};

// Calls VISIT for each chunk from BEGIN up to END, in order, until it returns
// false or the chunks run out.
void walk(const ReadAt& read, uint64_t begin, uint64_t end, const Rules& rules,
    const std::function<bool(Chunk& chunk)>& visit);

uint32_t le32(const uint8_t* p);
uint32_t be32(const uint8_t* p);
bool idIs(const uint8_t* p, const char* four);

} // namespace base::riff
