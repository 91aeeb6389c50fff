#include "core/textrules.h"

#include <gtest/gtest.h>

using namespace textrules;

TEST(NumberText, ShortestFormWithLocaleSeparator)
{
    EXPECT_EQ(numberText(12345 * 0.001, '.'), "12.345");
    EXPECT_EQ(numberText(5000 * 0.001, '.'), "5");
    EXPECT_EQ(numberText(100 * 0.001, '.'), "0.1");
    EXPECT_EQ(numberText(0 * 0.001, '.'), "0");
    EXPECT_EQ(numberText(123 * 0.1, '.'), "12.3");
    EXPECT_EQ(numberText(12345 * 0.001, ','), "12,345");
    // The longest track a 32-bit length can hold, and the shortest one.
    EXPECT_EQ(numberText(4294967295.0 * 0.001, '.'), "4294967.295");
    EXPECT_EQ(numberText(1 * 0.001, '.'), "0.001");
    EXPECT_EQ(numberText(1e-7, '.'), "0.0000001");
}

TEST(FileNameRules, ExtensionNameAndTrim)
{
    EXPECT_EQ(extractFileExt("/music/Song.mid"), ".mid");
    EXPECT_EQ(extractFileExt("/music/My.Song.WA~"), ".WA~");
    EXPECT_EQ(extractFileExt("/music.d/song"), "");
    EXPECT_EQ(extractFileExt("song"), "");
    EXPECT_EQ(upperAscii("/a/b.wa~ \u00e4"), "/A/B.WA~ \u00e4");

    EXPECT_EQ(extractFileName("/music/Song.mid"), "Song.mid");
    EXPECT_EQ(extractFileName("Song.mid"), "Song.mid");
    EXPECT_EQ(extractFileName("/a:b/c:d.wav"), "c:d.wav");
    EXPECT_EQ(extractFileName("/x/" + QString(300, 'n')).size(), 255);

    EXPECT_EQ(trimRight("song.mid \t\r\n"), "song.mid");
    EXPECT_EQ(trimRight(" a b "), " a b");
}

TEST(CommandLine, ArgumentsJoinedAndTrimmed)
{
    EXPECT_EQ(commandLineFileName({"/usr/bin/quorvana"}), "");
    EXPECT_EQ(commandLineFileName({"/usr/bin/quorvana", " "}), "");
    EXPECT_EQ(commandLineFileName({"/usr/bin/quorvana", "/music/My Song.mid"}), "/music/My Song.mid");
    EXPECT_EQ(commandLineFileName({"/usr/bin/quorvana", "/music/My", "Song.mid "}), "/music/My Song.mid");
    EXPECT_EQ(commandLineFileName({"quorvana", "\"quoted\".mid"}), "\"quoted\".mid");
}
