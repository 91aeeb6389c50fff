#include "playback/reset_sequences.h"

#include "framework/errors.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

using testing_support::TempDir;

namespace {

std::string hex(const std::string& bytes)
{
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

TEST(ResetSequences, BytesAreExact)
{
    const std::string gs = reset_sequences::gsFile();
    ASSERT_EQ(gs.size(), 77u);
    EXPECT_EQ(hex(gs),
              "4D 54 68 64 00 00 00 06 00 00 00 01 00 78 4D 54 72 6B 00 00 00 37 "
              "00 FF 7F 03 00 00 41 00 FF 21 01 00 "
              "00 F0 0A 41 10 42 12 40 00 7F 00 41 F7 00 FF 21 01 00 "
              "00 FF 58 04 04 02 18 08 00 FF 59 02 00 00 00 FF 51 03 09 27 C0 00 FF 2F 00");
    const std::string gm = reset_sequences::gmFile();
    ASSERT_EQ(gm.size(), 72u);
    EXPECT_EQ(hex(gm),
              "4D 54 68 64 00 00 00 06 00 00 00 01 00 78 4D 54 72 6B 00 00 00 32 "
              "00 FF 7F 03 00 00 41 00 FF 21 01 00 "
              "00 F0 05 7E 7F 09 01 F7 00 FF 21 01 00 "
              "00 FF 58 04 04 02 18 08 00 FF 59 02 00 00 00 FF 51 03 09 27 C0 00 FF 2F 00");
}

TEST(ResetSequences, WrittenOnceAndNeverReplaced)
{
    TempDir dir;
    const std::string path = (dir / "QUORVAGM.MI_").string();
    reset_sequences::writeIfMissing(path, reset_sequences::gmFile());
    EXPECT_EQ(testing_support::readFile(path), reset_sequences::gmFile());

    dir.write("QUORVAGS.MI_", "mine");
    reset_sequences::writeIfMissing((dir / "QUORVAGS.MI_").string(), reset_sequences::gsFile());
    EXPECT_EQ(testing_support::readFile(dir / "QUORVAGS.MI_"), "mine");
}

TEST(ResetSequences, FailedWriteRaisesTheSystemError)
{
    TempDir dir;
    try {
        reset_sequences::writeIfMissing((dir / "gone" / "QUORVAGS.MI_").string(), reset_sequences::gsFile());
        FAIL() << "no error raised";
    } catch (const ui::EInOutError& e) {
        EXPECT_EQ(e.errorCode(), ENOENT);
        EXPECT_EQ(e.message(), "I/O-Fehler 2");
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
