#include "platform/profile/profile.h"

#include "tests/platform/fs/write_failures.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

using testing_support::readFile;
using testing_support::TempDir;

namespace {

std::string get(const std::string& file, const std::string& section, const std::string& key,
                const std::string& def = "<default>", size_t size = 1024)
{
    return profile::getString(file, section, key, def, size);
}

size_t entriesIn(const TempDir& dir)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
        ++n;
    return n;
}

} // namespace

TEST(ProfileRead, DefaultOnlyForAnAbsentKey)
{
    TempDir dir;
    EXPECT_EQ(get((dir / "none.ini").string(), "S", "k"), "<default>");
    const auto file = dir.write("a.ini", "[S]\nempty=\nbare\nset=x\n");
    EXPECT_EQ(get(file, "S", "empty"), "");
    EXPECT_EQ(get(file, "S", "missing"), "<default>");
    EXPECT_EQ(get(file, "T", "set"), "<default>");
    // A line without "=" names no value.
    EXPECT_EQ(get(file, "S", "bare"), "<default>");
    // Trailing blanks of the default go, as with Windows.
    EXPECT_EQ(get(file, "S", "missing", "dflt  "), "dflt");
}

TEST(ProfileRead, NamesIgnoreCaseAndSurroundingBlanks)
{
    TempDir dir;
    const auto file = dir.write("a.ini", "  [ Quorvana ]  \n  MidiEdit   =   /usr/bin/rosegarden  \n\tWAVEDIT\t=\tx y\t\n");
    EXPECT_EQ(get(file, "QUORVANA", "MIDIEdit"), "/usr/bin/rosegarden");
    EXPECT_EQ(get(file, "quorvana", "wavedit"), "x y");
    EXPECT_EQ(get(file, " Quorvana ", " midiedit "), "/usr/bin/rosegarden");
}

TEST(ProfileRead, QuotesGoOnlyWhenTheyEncloseTheValue)
{
    TempDir dir;
    const auto file = dir.write("a.ini", "[S]\n"
                                         "dq=\"a b \"\n"
                                         "sq='c'\n"
                                         "open=\"abc\n"
                                         "inner=a\"b\"\n"
                                         "mixed=\"d'\n"
                                         "one=\"\n"
                                         "pair=\"\"\n");
    EXPECT_EQ(get(file, "S", "dq"), "a b ");
    EXPECT_EQ(get(file, "S", "sq"), "c");
    EXPECT_EQ(get(file, "S", "open"), "\"abc");
    EXPECT_EQ(get(file, "S", "inner"), "a\"b\"");
    EXPECT_EQ(get(file, "S", "mixed"), "\"d'");
    EXPECT_EQ(get(file, "S", "one"), "\"");
    EXPECT_EQ(get(file, "S", "pair"), "");
}

TEST(ProfileRead, FirstOfDuplicatesWinsAndLinesBeforeSectionsAreIgnored)
{
    TempDir dir;
    const auto file = dir.write("a.ini", "k=outside\n; k=comment\n[S]\n;k=commented\nk=first\nK=second\n[s]\nk=other\nj=later\n");
    EXPECT_EQ(get(file, "S", "k"), "first");
    // Only the first section of a name is searched.
    EXPECT_EQ(get(file, "S", "j"), "<default>");
    EXPECT_EQ(get(file, "", "k"), "<default>");
}

TEST(ProfileRead, BufferSizeLimitsValueAndDefault)
{
    TempDir dir;
    const std::string longValue(1500, 'v');
    const auto file = dir.write("a.ini", "[S]\nk=" + longValue + "\n");
    EXPECT_EQ(get(file, "S", "k"), std::string(1023, 'v'));
    EXPECT_EQ(get(file, "S", "k", "", 4), "vvv");
    EXPECT_EQ(get(file, "S", "k", "", 1), "");
    EXPECT_EQ(get(file, "S", "k", "", 0), "");
    EXPECT_EQ(get(file, "S", "missing", "default", 4), "def");
    // The limit applies after the quotes are stripped.
    const auto quoted = dir.write("q.ini", "[S]\nk=\"abcd\"\n");
    EXPECT_EQ(get(quoted, "S", "k", "", 5), "abcd");
}

TEST(ProfileRead, LineEndsAndBinaryBytes)
{
    TempDir dir;
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        const auto file = dir.write("e.ini", "[A]" + eol + "x=1" + eol + "[B]" + eol + "x=2");
        EXPECT_EQ(get(file, "A", "x"), "1") << testing::PrintToString(eol);
        EXPECT_EQ(get(file, "B", "x"), "2") << testing::PrintToString(eol);
    }
    const auto bom = dir.write("bom.ini", "\xEF\xBB\xBF[A]\nx=1\n");
    EXPECT_EQ(get(bom, "A", "x"), "1");
    const auto binary = dir.write("b.ini", std::string("\x01\xff\xfe\n[A]\nhigh=\xe4\xf6\xfc\x80\nnul=ab\0cd\n", 35));
    EXPECT_EQ(get(binary, "A", "high"), "\xe4\xf6\xfc\x80");
    EXPECT_EQ(get(binary, "A", "nul"), "ab"); // what a C buffer holds
}

TEST(ProfileWrite, CreatesTheFileOnFirstWrite)
{
    TempDir dir;
    const auto file = (dir / "new.ini").string();
    ASSERT_TRUE(profile::writeString(file, "Quorvana", "WavEdit", "audacity"));
    EXPECT_EQ(readFile(file), "[Quorvana]\r\nWavEdit=audacity\r\n");
    ASSERT_TRUE(profile::writeString(file, "Quorvana", "AviEdit", ""));
    EXPECT_EQ(readFile(file), "[Quorvana]\r\nWavEdit=audacity\r\nAviEdit=\r\n");
    EXPECT_EQ(get(file, "quorvana", "AVIEDIT"), "");
}

TEST(ProfileWrite, UpdateChangesOnlyItsOwnLine)
{
    TempDir dir;
    for (const std::string eol : {"\r\n", "\n"}) {
        const std::string before = "; made by hand" + eol + "[Other]" + eol + "MIDIEdit=keep" + eol + eol +
                                   "  [ quorvana ]  " + eol + "  midiedit =  old value " + eol + "; note" + eol +
                                   "WavEdit=w" + eol + eol + "; about the next one" + eol + "[Last]" + eol + "z=\xff";
        const auto file = dir.write("u.ini", before);

        ASSERT_TRUE(profile::writeString(file, "Quorvana", "MIDIEdit", "new"));
        std::string expected = before;
        expected.replace(expected.find("  midiedit =  old value "), 24, "midiedit=new");
        EXPECT_EQ(readFile(file), expected);

        // A new key follows the section's last key, ahead of what leads to the next section.
        ASSERT_TRUE(profile::writeString(file, "QUORVANA", "AviEdit", "v"));
        expected.insert(expected.find("WavEdit=w" + eol) + 9 + eol.size(), "AviEdit=v" + eol);
        EXPECT_EQ(readFile(file), expected);

        // A new section goes at the end; the missing final line end is supplied first.
        ASSERT_TRUE(profile::writeString(file, "New", "k", "1"));
        expected += eol + eol + "[New]" + eol + "k=1" + eol;
        EXPECT_EQ(readFile(file), expected);
    }
}

TEST(ProfileWrite, FileWithoutFinalLineEndStaysWithout)
{
    TempDir dir;
    const auto file = dir.write("n.ini", "[S]\r\na=1");
    ASSERT_TRUE(profile::writeString(file, "S", "a", "2"));
    EXPECT_EQ(readFile(file), "[S]\r\na=2");
    ASSERT_TRUE(profile::writeString(file, "S", "b", "3"));
    EXPECT_EQ(readFile(file), "[S]\r\na=2\r\nb=3");
    const auto header = dir.write("h.ini", "[S]");
    ASSERT_TRUE(profile::writeString(header, "s", "k", "v"));
    EXPECT_EQ(readFile(header), "[S]\r\nk=v");
}

TEST(ProfileWrite, ValuesReadBackAsWritten)
{
    TempDir dir;
    const auto file = (dir / "r.ini").string();
    for (const std::string value : {"/opt/My Editor/bin/edit", "a=b", "[x]", ";y", "\xc3\xa4\xff", ""}) {
        ASSERT_TRUE(profile::writeString(file, "S", "k", value));
        EXPECT_EQ(get(file, "S", "k"), value);
    }
}

TEST(ProfileWrite, RefusesWhatWouldBreakTheFile)
{
    TempDir dir;
    const std::string before = "[S]\nk=v\n";
    const auto file = dir.write("b.ini", before);
    const std::pair<std::string, std::string> bad[] = {
        {"k", "line\nbreak"}, {"k", "cr\rhere"}, {"k", std::string("nul\0x", 5)}, {"a=b", "v"}, {"[T]", "v"}, {"", "v"}, {"k\n[T]", "v"}};
    for (const auto& [key, value] : bad) {
        errno = 0;
        EXPECT_FALSE(profile::writeString(file, "S", key, value)) << key;
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_FALSE(profile::writeString(file, "S\n[T", "k", "v"));
    EXPECT_EQ(readFile(file), before);
}

TEST(ProfileWrite, FailedWriteKeepsTheOldFileWhole)
{
    TempDir dir;
    ::chmod(dir.str().c_str(), 0755);
    const std::string before = "[S]\nk=" + std::string(1000, 'o') + "\n";
    const auto file = dir.write("f.ini", before);
    ::chmod(file.c_str(), 0644);

    {
        // A disk that fills up half-way.
        testing_support::FileSizeLimit limit(100);
        EXPECT_FALSE(profile::writeString(file, "S", "k", std::string(2000, 'n')));
        EXPECT_EQ(errno, EFBIG);
    }
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(entriesIn(dir), 1u) << "no temporary file left behind";

    ::chmod(dir.str().c_str(), 0555);
    {
        testing_support::AsUnprivileged user;
        EXPECT_FALSE(profile::writeString(file, "S", "k", "new"));
        EXPECT_EQ(errno, EACCES);
        EXPECT_FALSE(profile::writeString((dir / "other.ini").string(), "S", "k", "new"));
    }
    EXPECT_EQ(readFile(file), before);
    EXPECT_EQ(entriesIn(dir), 1u);
}

TEST(ProfileWrite, KeepsModeLinkAndUnchangedFiles)
{
    TempDir dir;
    const auto file = dir.write("m.ini", "[S]\nk=v\n");
    ::chmod(file.c_str(), 0640);
    std::filesystem::create_symlink("m.ini", dir / "link.ini");
    struct stat st {};
    ::stat(file.c_str(), &st);
    const ino_t inode = st.st_ino;

    // Writing the value the key already has does not touch the file.
    ASSERT_TRUE(profile::writeString((dir / "link.ini").string(), "S", "k", "v"));
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_ino, inode);

    ASSERT_TRUE(profile::writeString((dir / "link.ini").string(), "S", "k", "w"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(readFile(file), "[S]\nk=w\n");
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
