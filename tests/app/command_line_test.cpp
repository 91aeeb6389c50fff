// A desktop starts the player for a file: in its folder, with several files
// the first one, and the options that only print.
#include "app/command_line.h"

#include "tests/support/temp_dir.h"

#include <QDir>
#include <gtest/gtest.h>

#include <filesystem>

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
