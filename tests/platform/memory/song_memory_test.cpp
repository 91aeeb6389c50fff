#include "platform/memory/song_memory.h"

#include "tests/support/temp_dir.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <thread>

using memory::SongMemory;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Waits, a little at a time, up to LIMIT for DONE: the worker writes when it can.
template <class Condition> bool eventually(Condition done, std::chrono::milliseconds limit = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    return done();
}

bool recalls(SongMemory& memory, const std::string& digest, const std::string& value)
{
    return eventually([&] { return memory.recall(digest) == value; });
}

std::vector<fs::path> setAside(const fs::path& folder)
{
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with("songs.db.damaged-")
            && !entry.path().filename().string().ends_with("-wal")
            && !entry.path().filename().string().ends_with("-shm"))
            found.push_back(entry.path());
    return found;
}

// A real file of the memory's, with enough songs to span many pages.
void fill(const std::string& path)
{
    SongMemory memory(path);
    for (int i = 0; i < 200; ++i)
        memory.remember("song" + std::to_string(i), std::string(3000, static_cast<char>('a' + i % 26)));
}

} // namespace

TEST(SongMemory, KeepsWhatWasRememberedAcrossARestartAndNothingElse)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "new folder/songs.db").string();
    const std::string binary("key\0tempo\xff", 10);
    {
        SongMemory memory(path);
        memory.remember("a", "first");
        memory.remember("a", binary);
        memory.remember("b", "gone");
        memory.forget("b");
        memory.remember("c", std::string(4096, 'x'));
        memory.remember("d", "kept");
        memory.remember("d", std::string(4097, 'x'));
    }
    SongMemory memory(path);
    EXPECT_TRUE(recalls(memory, "a", binary));
    EXPECT_EQ(memory.recall("c"), std::string(4096, 'x'));
    EXPECT_EQ(memory.recall("b"), std::nullopt);
    EXPECT_EQ(memory.recall("d"), "kept") << "a value over 4 KiB is refused";
}

TEST(SongMemory, TwoPlayersOnOneFileSeeEachOthersChanges)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "songs.db").string();
    SongMemory one(path);
    SongMemory other(path);
    one.remember("a", "from one");
    EXPECT_TRUE(recalls(other, "a", "from one"));
    other.remember("a", "from the other");
    other.remember("b", "new");
    EXPECT_TRUE(recalls(one, "a", "from the other"));
    EXPECT_TRUE(recalls(one, "b", "new"));
}

TEST(SongMemory, PastTheBoundTheLeastRecentlyUsedSongsGo)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "songs.db").string();
    {
        SongMemory memory(path, 3);
        memory.remember("a", "1");
        memory.remember("b", "2");
        memory.remember("c", "3");
    }
    {
        SongMemory memory(path, 3);
        EXPECT_TRUE(recalls(memory, "a", "1")); // now used after b and c
        memory.remember("d", "4");
    }
    SongMemory memory(path, 3);
    EXPECT_TRUE(recalls(memory, "a", "1"));
    EXPECT_EQ(memory.recall("c"), "3");
    EXPECT_EQ(memory.recall("d"), "4");
    EXPECT_EQ(memory.recall("b"), std::nullopt);
}

TEST(SongMemory, ADamagedFileIsSetAsideAndANewOneBegun)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "songs.db").string();
    fill(path);
    // Torn mid-page, as a full disk or a copy cut short would leave it.
    const auto whole = fs::file_size(path);
    ASSERT_FALSE(fs::exists(path + "-wal"));
    fs::resize_file(path, whole / 2 + 1000);
    testing::internal::CaptureStderr();
    {
        SongMemory memory(path);
        ASSERT_TRUE(eventually([&] { return setAside(dir.path()).size() == 1; }));
        EXPECT_FALSE(memory.recall("song1").has_value()) << "nothing of the torn file is mixed in";
        memory.remember("fresh", "1");
    }
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find(path + " set aside as " + setAside(dir.path()).at(0).string()), std::string::npos) << told;
    EXPECT_EQ(fs::file_size(setAside(dir.path()).at(0)), whole / 2 + 1000);
    {
        SongMemory memory(path);
        EXPECT_TRUE(recalls(memory, "fresh", "1"));
    }

    // Whatever else is found there, within the same second: the first one set aside stays.
    dir.write("songs.db", std::string(10000, 'g'));
    {
        SongMemory memory(path);
        ASSERT_TRUE(eventually([&] { return setAside(dir.path()).size() == 2; }));
        memory.remember("fresh", "2");
    }
    SongMemory memory(path);
    EXPECT_TRUE(recalls(memory, "fresh", "2"));
}

TEST(SongMemory, AFileFarLargerThanTheBoundIsSetAsideUnread)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "songs.db").string();
    fill(path);
    // Sound as far as its pages go, so that only its size gives it away.
    fs::resize_file(path, 100 << 20);
    SongMemory memory(path);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(memory.recall("song1").has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    ASSERT_TRUE(eventually([&] { return setAside(dir.path()).size() == 1; }));
    EXPECT_EQ(fs::file_size(setAside(dir.path()).at(0)), 100u << 20);
}

TEST(SongMemory, RecallAnswersWhileAnotherPlayerHoldsTheWriteLock)
{
    testing_support::TempDir dir;
    const std::string path = (dir / "songs.db").string();
    {
        SongMemory memory(path);
        memory.remember("kept", "1");
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        SongMemory memory(path);
        memory.remember("new", "2");
        std::this_thread::sleep_for(300ms); // the change now waits for the lock
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(memory.recall("kept"), "1");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
        EXPECT_EQ(memory.recall("new"), "2");
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_close(other);
    SongMemory memory(path);
    EXPECT_TRUE(recalls(memory, "new", "2"));
}
