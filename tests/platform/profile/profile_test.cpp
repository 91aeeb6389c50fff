#include "platform/profile/profile.h"

#include "platform/fs/file_ops.h"

#include "tests/platform/fs/write_failures.h"
#include "tests/support/fifo.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <filesystem>
#include <sys/stat.h>

using testing_support::readFile;
using testing_support::TempDir;
using namespace std::string_literals;

namespace {

std::string get(const std::string& file, const std::string& section, const std::string& key,
                const std::string& def = "<default>", size_t size = 1024)
{
    return profile::getString(file, section, key, def, size);
}

} // namespace

TEST(ProfileRead, WindowsLookupRules)
{
    TempDir dir;
    EXPECT_EQ(get((dir / "none.ini").string(), "S", "k"), "<default>");
    const auto file = dir.write("a.ini", "k=outside\n"
                                         "  [ Quorvana ]  \n"
                                         "empty=\n"
                                         "bare\n"
                                         ";commented=x\n"
                                         "  MidiEdit   =   /usr/bin/rose garden  \n"
                                         "dq=\"a b \"\nsq='c'\nopen=\"abc\none=\"\ninner=a\"b\"\n"
                                         "midiedit=second\n"
                                         "[QUORVANA]\nlater=x\n");
    EXPECT_EQ(get(file, "quorvana", "empty"), "");
    EXPECT_EQ(get(file, "quorvana", "missing"), "<default>");
    EXPECT_EQ(get(file, "quorvana", "bare"), "<default>"); // no "=", no value
    EXPECT_EQ(get(file, "quorvana", ";commented"), "<default>");
    EXPECT_EQ(get(file, " QUORVANA ", " MIDIEDIT "), "/usr/bin/rose garden"); // the first of duplicates
    EXPECT_EQ(get(file, "Quorvana", "later"), "<default>");                   // only the first section counts
    EXPECT_EQ(get(file, "", "k"), "<default>");                               // nothing before the first section
    EXPECT_EQ(get(file, "Quorvana", "missing", "dflt  "), "dflt");
    // Quotes go only when they enclose the whole value.
    EXPECT_EQ(get(file, "Quorvana", "dq"), "a b ");
    EXPECT_EQ(get(file, "Quorvana", "sq"), "c");
    EXPECT_EQ(get(file, "Quorvana", "open") + get(file, "Quorvana", "one") + get(file, "Quorvana", "inner"),
              "\"abc\"a\"b\"");
}

TEST(ProfileRead, BufferSizeLimitsValueAndDefault)
{
    TempDir dir;
    const auto file = dir.write("a.ini", "[S]\nk=" + std::string(1500, 'v') + "\nq=\"abcd\"\n");
    EXPECT_EQ(get(file, "S", "k"), std::string(1023, 'v'));
    EXPECT_EQ(get(file, "S", "k", "", 4), "vvv");
    EXPECT_EQ(get(file, "S", "k", "", 0), "");
    EXPECT_EQ(get(file, "S", "missing", "default", 4), "def");
    EXPECT_EQ(get(file, "S", "q", "", 5), "abcd"); // counted without the quotes
}

TEST(ProfileRead, LineEndsAndBinaryBytes)
{
    TempDir dir;
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        const auto file = dir.write("e.ini", "\xEF\xBB\xBF[A]" + eol + "x=1" + eol + "[B]" + eol + "x=2");
        EXPECT_EQ(get(file, "A", "x") + get(file, "B", "x"), "12") << testing::PrintToString(eol);
    }
    const auto binary = dir.write("b.ini", "\x01\xff\n[A]\nhigh=\xe4\x80\nnul=ab\0cd\n"s);
    EXPECT_EQ(get(binary, "A", "high"), "\xe4\x80");
    EXPECT_EQ(get(binary, "A", "nul"), "ab"); // what a C buffer holds
}

// A user's file over the site-wide ones, key by key, as an installed
// program reads its settings.
TEST(ProfileRead, SiteWideFilesBehindTheUsersOwnInConfigDirsOrder)
{
    TempDir dir;
    const char* const sites = std::getenv("XDG_CONFIG_DIRS");
    const std::string oldSites = sites ? sites : "";
    ::unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(profile::siteWideFiles("app/app.INI"), std::vector<std::string> {"/etc/xdg/app/app.INI"});
    ::setenv("XDG_CONFIG_DIRS", (dir.str() + "/first:relative/ignored:" + dir.str() + "/second").c_str(), 1);
    std::vector<std::string> files = profile::siteWideFiles("app/app.INI");
    ASSERT_EQ(files.size(), 2u);
    dir.write("first/app/app.INI", "[S]\nsite=first\n");
    dir.write("second/app/app.INI", "[S]\nsite=second\nonlySecond=" + std::string(40, 'x') + "\nmine=site\n");
    files.insert(files.begin(), dir.write("user.INI", "[s]\nMINE=\n"));

    EXPECT_EQ(profile::findString(files, "S", "site", 1024), "first");
    EXPECT_EQ(profile::findString(files, "S", "onlysecond", 11), std::string(10, 'x'));
    EXPECT_EQ(profile::findString(files, "S", "mine", 1024), "") << "the user's empty value wins";
    EXPECT_EQ(profile::findString(files, "S", "nowhere", 1024), std::nullopt);
    if (sites)
        ::setenv("XDG_CONFIG_DIRS", oldSites.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_DIRS");
}

TEST(ProfileWrite, UpdateChangesOnlyItsOwnLine)
{
    TempDir dir;
    const auto fresh = (dir / "new.ini").string();
    ASSERT_TRUE(profile::writeString(fresh, "Quorvana", "WavEdit", "audacity"));
    ASSERT_TRUE(profile::writeString(fresh, "Quorvana", "AviEdit", ""));
    EXPECT_EQ(readFile(fresh), "[Quorvana]\r\nWavEdit=audacity\r\nAviEdit=\r\n");

    for (const std::string eol : {"\r\n", "\n"}) {
        const std::string before = "; by hand" + eol + "[Other]" + eol + "MIDIEdit=keep" + eol + eol + " [ quorvana ] " +
                                   eol + " midiedit = old " + eol + "; note" + eol + "WavEdit=\xff" + eol + eol +
                                   "; next one" + eol + "[Last]" + eol + "z=1";
        const auto file = dir.write("u.ini", before);
        std::string expected = before;

        ASSERT_TRUE(profile::writeString(file, "Quorvana", "MIDIEdit", "new"));
        expected.replace(expected.find(" midiedit = old "), 16, "midiedit=new");
        EXPECT_EQ(readFile(file), expected);

        // A new key follows the section's last key, ahead of what leads to the next section.
        ASSERT_TRUE(profile::writeString(file, "QUORVANA", "AviEdit", "v"));
        expected.insert(expected.find("WavEdit=\xff" + eol) + 9 + eol.size(), "AviEdit=v" + eol);
        EXPECT_EQ(readFile(file), expected);

        // A new section goes at the end; the missing final line end is supplied first.
        ASSERT_TRUE(profile::writeString(file, "New", "k", "1"));
        EXPECT_EQ(readFile(file), expected + eol + eol + "[New]" + eol + "k=1" + eol);
    }

    // A file without a final line end stays without one.
    const auto open = dir.write("n.ini", "[S]");
    ASSERT_TRUE(profile::writeString(open, "s", "a", "1"));
    ASSERT_TRUE(profile::writeString(open, "s", "a", "2"));
    EXPECT_EQ(readFile(open), "[S]\r\na=2");
}

TEST(ProfileWrite, RefusesWhatWouldBreakTheFile)
{
    TempDir dir;
    const std::string before = "[S]\nk=v\n";
    const auto file = dir.write("b.ini", before);
    const std::pair<std::string, std::string> bad[] = {
        {"k", "line\nbreak"}, {"k", "cr\rhere"}, {"k", std::string("nul\0x", 5)}, {"a=b", "v"}, {"[T]", "v"}, {"", "v"}};
    for (const auto& [key, value] : bad) {
        errno = 0;
        EXPECT_FALSE(profile::writeString(file, "S", key, value)) << key;
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_FALSE(profile::writeString(file, "S]\n[T", "k", "v"));
    EXPECT_EQ(readFile(file), before);
    ASSERT_TRUE(profile::writeString(file, "S", "k", "[x]=;y"));
    EXPECT_EQ(get(file, "S", "k"), "[x]=;y");
}

TEST(ProfileWrite, FailedWriteKeepsTheOldFileWhole)
{
    TempDir dir;
    ::chmod(dir.str().c_str(), 0755);
    const std::string before = "[S]\nk=" + std::string(1000, 'o') + "\n";
    const auto file = dir.write("f.ini", before);
    ::chmod(file.c_str(), 0644);
    {
        testing_support::FileSizeLimit limit(100);
        EXPECT_FALSE(profile::writeString(file, "S", "k", std::string(2000, 'n')));
        EXPECT_EQ(errno, EFBIG);
    }
    ::chmod(dir.str().c_str(), 0555);
    {
        testing_support::AsUnprivileged user;
        EXPECT_FALSE(profile::writeString(file, "S", "k", "new"));
        EXPECT_EQ(errno, EACCES);
    }
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "a temporary file was left";
}

TEST(ProfileWrite, KeepsModeAndLink)
{
    TempDir dir;
    const auto file = dir.write("m.ini", "[S]\nk=v\n");
    ::chmod(file.c_str(), 0640);
    std::filesystem::create_symlink("m.ini", dir / "link.ini");
    ASSERT_TRUE(profile::writeString((dir / "link.ini").string(), "S", "k", "w"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(readFile(file), "[S]\nk=w\n");
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640));
}

TEST(ProfileFiles, APipeOrAnOversizedFileIsRefusedUnreadAndUntouched)
{
    TempDir dir;
    const auto fifo = testing_support::makeFifo((dir / "quorvana.INI").string());
    EXPECT_TRUE(testing_support::returnsWithoutWaitingOn(fifo, [&] {
        EXPECT_EQ(get(fifo, "Quorvana", "WavEdit", "sndrec32.exe"), "sndrec32.exe");
        EXPECT_FALSE(profile::writeString(fifo, "Quorvana", "WavEdit", "audacity"));
        EXPECT_EQ(errno, EINVAL);
    }));
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    const auto big = dir.write("big.ini", "[Quorvana]\nWavEdit=audacity\n");
    std::filesystem::resize_file(big, kernel::kMaxSettingsFileBytes + 1);
    const auto written = std::filesystem::last_write_time(big);
    EXPECT_EQ(get(big, "Quorvana", "WavEdit"), "<default>");
    EXPECT_EQ(errno, EFBIG);
    EXPECT_FALSE(profile::writeString(big, "Quorvana", "WavEdit", "x"));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(std::filesystem::file_size(big), kernel::kMaxSettingsFileBytes + 1);
    EXPECT_EQ(std::filesystem::last_write_time(big), written);

    // A write that would take a file past the limit is refused; it keeps its bytes.
    const std::string almost = "[Quorvana]\nWavEdit=audacity\n;" + std::string(kernel::kMaxSettingsFileBytes - 40, ';');
    const auto full = dir.write("full.ini", almost);
    EXPECT_FALSE(profile::writeString(full, "Quorvana", "AviEdit", std::string(64, 'v')));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(readFile(full), almost);
    EXPECT_EQ(get(full, "Quorvana", "WavEdit"), "audacity");
}

namespace {

// Bytes the test's own thread holds on the heap now, and the most it held.
thread_local bool counting = false;
thread_local std::size_t heldNow = 0;
thread_local std::size_t heldMost = 0;

} // namespace

void* operator new(std::size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    if (counting) {
        heldNow += malloc_usable_size(p);
        heldMost = std::max(heldMost, heldNow);
    }
    return p;
}

void operator delete(void* p) noexcept
{
    if (p && counting)
        heldNow -= std::min(heldNow, malloc_usable_size(p));
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

TEST(ProfileRead, MemoryIsBoundedByTheLongestLine)
{
    TempDir dir;
    const auto file = dir.write("lines.ini", std::string(15 << 20, '\n') + "[Quorvana]\nMIDIEdit=" +
                                                 std::string(100000, 'r') + "\n");
    counting = true;
    heldNow = heldMost = 0;
    const std::string value = get(file, "Quorvana", "MIDIEdit", "", 200000);
    counting = false;
    EXPECT_EQ(value, std::string(100000, 'r'));
    EXPECT_LT(heldMost, std::size_t{1} << 20);
}
