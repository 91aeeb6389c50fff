// A desktop starts the player for a file: in its folder, with several files
// the first one, and the options that only print.
#include "app/command_line.h"

#include "framework/file_names.h"
#include "tests/support/temp_dir.h"

#include <QDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

TEST(CommandLine, SeveralFilesPlayTheFirstUnlessTogetherTheyNameOne)
{
    testing_support::TempDir dir;
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    dir.write("a.mid", "x");
    dir.write("b.mid", "x");
    dir.write("a.mid b.mid", "x");
    const auto chosen
        = [](const QStringList& arguments) { return command_line::forTheWindow(arguments).join('|').toStdString(); };
    EXPECT_EQ(chosen({"quorvana", "a.mid", "b.mid"}), "quorvana|a.mid|b.mid") << "one name with a blank";
    std::filesystem::remove(dir / "a.mid b.mid");
    EXPECT_EQ(chosen({"quorvana", "a.mid", "b.mid"}), "quorvana|a.mid");
    EXPECT_EQ(chosen({"quorvana", "gone.mid", "b.mid"}), "quorvana|gone.mid|b.mid");
    QDir::setCurrent(before);
}

TEST(CommandLine, AnAbsoluteFileMakesItsFolderCurrentARelativeNameStaysRelative)
{
    testing_support::TempDir dir;
    const QString song = QString::fromStdString(dir.write("songs/a.mid", "x"));
    dir.write("b.mid", "x");
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    command_line::enterDocumentFolder({"quorvana", "b.mid"});
    EXPECT_EQ(QDir::currentPath().toStdString(), dir.path().string());
    command_line::enterDocumentFolder({"quorvana", song});
    EXPECT_EQ(QDir::currentPath().toStdString(), (dir / "songs").string());
    QDir::setCurrent(before);
}

// The system hands over bytes; a name that is not UTF-8 must still name its
// file when the running player gets it.
TEST(CommandLine, ANameThatIsNotUtf8IsHandedOverWithItsBytes)
{
    testing_support::TempDir dir;
    const std::string song = dir.write("\xff\xfe first.wav", "x");
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    for (std::string name : {song, std::string("\xff\xfe first.wav")}) {
        char program[] = "quorvana";
        char* argv[] = {program, name.data()};
        const QString file = command_line::fileToHandOver(command_line::arguments(2, argv));
        EXPECT_EQ(ui::encodeFileName(file).toStdString(), song);
    }
    QDir::setCurrent(before);
}

TEST(CommandLine, HelpAndVersionWinWhereverTheyStandAmongTheOptions)
{
    const auto printed = [](std::vector<std::string> words) -> std::optional<std::string> {
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        testing::internal::CaptureStdout();
        const std::optional<int> rc = command_line::printInformation(int(argv.size()), argv.data());
        const std::string out = testing::internal::GetCapturedStdout();
        if (!rc)
            return std::nullopt;
        EXPECT_EQ(*rc, 0);
        return out.substr(0, out.find(' '));
    };
    EXPECT_EQ(printed({"quorvana", "-h"}), "Usage:");
    EXPECT_EQ(printed({"quorvana", "--new-window", "--help"}), "Usage:");
    EXPECT_EQ(printed({"quorvana", "--new-window", "--version", "--help"}), "Quorvana");
    EXPECT_EQ(printed({"quorvana", "--new-window", "song.mid"}), std::nullopt);
    EXPECT_EQ(printed({"quorvana", "song.mid"}), std::nullopt);
}
