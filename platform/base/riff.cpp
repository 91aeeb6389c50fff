#include "platform/base/riff.h"

#include <algorithm>
#include <cstring>

namespace base::riff {

uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool idIs(const uint8_t* p, const char* four)
{
    return std::memcmp(p, four, 4) == 0;
}

bool Chunk::is(const char* four) const
{
    return std::memcmp(id, four, 4) == 0;
}

ReadAt inMemory(std::span<const uint8_t> bytes)
{
    return [bytes](uint64_t offset, void* buffer, size_t size) -> size_t {
        if (offset >= bytes.size())
            return 0;
        const size_t n = std::min<uint64_t>(size, bytes.size() - offset);
        std::memcpy(buffer, bytes.data() + offset, n);
        return n;
    };
}

void walk(const ReadAt& read, uint64_t begin, uint64_t end, const Rules& rules,
    const std::function<bool(Chunk& chunk)>& visit)
{
    uint64_t offset = begin;
    for (unsigned n = 0; n < rules.maxChunks && offset + 8 <= end; ++n) {
        uint8_t header[8];
        if (read(offset, header, sizeof header) != sizeof header)
            return;
        Chunk chunk {};
        std::memcpy(chunk.id, header, 4);
        chunk.body = offset + 8;
        chunk.size = rules.bigEndian ? be32(header + 4) : le32(header + 4);
        if (!visit(chunk))
            return;
        if (chunk.size > end - chunk.body)
            return; // the last chunk, or a size that points past the end
        uint64_t next = chunk.body + chunk.size + (chunk.size & 1);
        uint8_t id[4];
        if (rules.padMayLackBefore && (chunk.size & 1) && next - 1 + 4 <= end && read(next - 1, id, 4) == 4
            && idIs(id, rules.padMayLackBefore))
            --next;
        offset = next;
    }
}

} // namespace base::riff
