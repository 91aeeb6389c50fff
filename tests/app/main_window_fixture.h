#pragma once
// The main window built in a temporary folder over the scripted device.
#include "app/main_window.h"
#include "browser/file_drag.h"
#include "framework/errors.h"
#include "framework/file_controls.h"
#include "framework/file_names.h"
#include "framework/message_box.h"
#include "tests/support/message_boxes.h"
#include "tests/support/scripted_device.h"
#include "tests/support/temp_dir.h"

#include <QCheckBox>
#include <QPushButton>
#include <QToolButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

struct Form1Test : ::testing::Test {
    testing_support::TempDir dir;
    testing_support::ScriptedMedia media;
    std::unique_ptr<TForm1> form;
    testing_support::MessageBoxes boxes; // every box shown, as "caption: text"
    std::string savedCwd;

    void SetUp() override { savedCwd = std::filesystem::current_path().string(); }

    void TearDown() override
    {
        form.reset();
        std::filesystem::current_path(savedCwd);
    }

    // A media file on disk that the scripted device plays for LENGTH ms.
    std::string addFile(const std::string& name, uint32_t length)
    {
        const std::string path = dir.write(name, "media");
        media.add(path, length);
        return path;
    }

    void build(QStringList arguments = {"quorvana"})
    {
        std::filesystem::current_path(dir.path());
        form = std::make_unique<TForm1>(arguments);
        media.clearLog();
    }

    // What a user's click on entry NAME does.
    void click(const QString& name)
    {
        const int index = form->FileListBox1->itemTexts().indexOf(name);
        ASSERT_GE(index, 0) << name.toStdString();
        form->FileListBox1->setItemIndex(index);
        form->FileListBox1Click(form->FileListBox1);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    QString qpath(const std::string& name) const { return QString::fromStdString(path(name)); }
};
