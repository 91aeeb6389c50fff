#include "browser/file_drag.h"
#include "framework/file_names.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// An owner window with a drop component on it; records every OnDrop and
// every drop event that reached the window itself.
struct Window : QWidget {
    TFileDrag* drag = new TFileDrag(this);
    std::vector<QStringList> drops;
    int ownEnters = 0;
    int ownDrops = 0;

    Window()
    {
        drag->OnDrop = [this](QObject* sender) {
            EXPECT_EQ(sender, drag);
            drops.push_back(drag->NameWithPath());
        };
    }

protected:
    void dragEnterEvent(QDragEnterEvent*) override { ++ownEnters; }
    void dropEvent(QDropEvent*) override { ++ownDrops; }
};

std::unique_ptr<QMimeData> urls(const QList<QUrl>& list)
{
    auto data = std::make_unique<QMimeData>();
    data->setUrls(list);
    return data;
}

std::unique_ptr<QMimeData> files(const QStringList& paths)
{
    QList<QUrl> list;
    for (const QString& path : paths)
        list.append(QUrl::fromLocalFile(path));
    return urls(list);
}

bool dragEnter(QWidget* widget, const QMimeData* data, Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction)
{
    QDragEnterEvent event(QPoint(5, 5), actions, data, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QCoreApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

// Drags DATA onto WIDGET and lets go, as the desktop does; true when the drop
// was accepted. Qt hands the drop only to the widget that took the drag.
bool drop(QWidget* widget, const QMimeData* data, Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction,
          Qt::DropAction* chosen = nullptr)
{
    if (!dragEnter(widget, data, actions))
        return false;
    QDropEvent event(QPointF(5, 5), actions, data, Qt::LeftButton, Qt::NoModifier);
    event.setAccepted(false);
    QCoreApplication::sendEvent(widget, &event);
    if (chosen)
        *chosen = event.dropAction();
    return event.isAccepted();
}

TEST(FileDrag, NewComponentAcceptsNothingUntilEnabled)
{
    Window window;
    EXPECT_FALSE(window.drag->EnableDrop());
    EXPECT_FALSE(window.acceptDrops());
    EXPECT_EQ(window.drag->FileCount(), 0);

    const auto data = files({"/music/a.mid"});
    EXPECT_FALSE(dragEnter(&window, data.get()));
    drop(&window, data.get());
    EXPECT_TRUE(window.drops.empty());
    EXPECT_EQ(window.drag->FileCount(), 0);

    window.drag->setEnableDrop(true);
    EXPECT_TRUE(window.acceptDrops());
    EXPECT_TRUE(dragEnter(&window, data.get()));
    EXPECT_TRUE(drop(&window, data.get()));
    EXPECT_EQ(window.drops.size(), 1u);
    EXPECT_EQ(window.ownEnters + window.ownDrops, 0) << "what the component handles goes no further";

    window.drag->setEnableDrop(false);
    EXPECT_FALSE(window.acceptDrops());
    drop(&window, data.get());
    EXPECT_EQ(window.drops.size(), 1u);
}

TEST(FileDrag, EachItemGivesPathNameAndExtension)
{
    Window window;
    window.drag->setEnableDrop(true);
    const auto data = files({"/music/Song.MID", "/music/My.Song.mid", "/music/folder", "/music/.hidden", "/x/a.b/README"});
    ASSERT_TRUE(drop(&window, data.get()));

    const TFileDrag& d = *window.drag;
    EXPECT_EQ(d.FileCount(), 5);
    EXPECT_EQ(d.NameWithPath(),
              QStringList({"/music/Song.MID", "/music/My.Song.mid", "/music/folder", "/music/.hidden", "/x/a.b/README"}));
    EXPECT_EQ(d.NameOnly(), QStringList({"Song.MID", "My.Song.mid", "folder", ".hidden", "README"}));
    // From the first dot of the name on: "My.Song.mid" is dropped as "Song.mid".
    EXPECT_EQ(d.Extension(), QStringList({"MID", "Song.mid", "", "hidden", ""}));

    // The next drop replaces the lists whole.
    const auto one = files({"/b.wav"});
    ASSERT_TRUE(drop(&window, one.get()));
    EXPECT_EQ(d.FileCount(), 1);
    EXPECT_EQ(d.NameOnly().size() + d.Extension().size(), 2);
}

TEST(FileDrag, OnlyLocalFilesAreDropped)
{
    Window window;
    window.drag->setEnableDrop(true);

    const auto remote = urls({QUrl("https://example.org/a.mid"), QUrl("smb://server/share/b.mid")});
    EXPECT_FALSE(dragEnter(&window, remote.get()));
    EXPECT_FALSE(drop(&window, remote.get()));
    EXPECT_TRUE(window.drops.empty());
    EXPECT_EQ(window.ownEnters, 2) << "what the component does not take reaches the window";

    QMimeData text;
    text.setText("/music/a.mid");
    EXPECT_FALSE(drop(&window, &text));

    // Local paths arrive whole, bytes that are not UTF-8 included.
    const auto mixed = urls({QUrl("https://example.org/a.mid"), QUrl::fromEncoded("file:///m/caf%E9%20100%25.mid"),
                             QUrl::fromLocalFile(QString::fromUtf8("/m/Grüße #1.wav"))});
    ASSERT_TRUE(drop(&window, mixed.get()));
    ASSERT_EQ(window.drag->FileCount(), 2);
    EXPECT_EQ(ui::encodeFileName(window.drag->NameWithPath().at(0)), QByteArray("/m/caf\xe9 100%.mid"));
    EXPECT_EQ(window.drag->NameWithPath().at(1), QString::fromUtf8("/m/Grüße #1.wav"));
}

TEST(FileDrag, DropIsTakenAsACopyNeverAsAMove)
{
    Window window;
    window.drag->setEnableDrop(true);
    const auto data = files({"/music/a.mid"});
    Qt::DropAction chosen = Qt::IgnoreAction;
    ASSERT_TRUE(drop(&window, data.get(), Qt::CopyAction | Qt::MoveAction, &chosen));
    EXPECT_EQ(chosen, Qt::CopyAction);

    EXPECT_FALSE(drop(&window, data.get(), Qt::MoveAction));
    EXPECT_EQ(window.drops.size(), 1u) << "a move-only drag is refused, so the source keeps its file";
}

TEST(FileDrag, DetachedComponentNeverFires)
{
    const auto data = files({"/music/a.mid"});
    QObject owner;
    auto* drag = new TFileDrag(&owner);
    EXPECT_FALSE(drag->EnableDrop());
    drag->setEnableDrop(true);
    EXPECT_TRUE(drag->EnableDrop());

    // Deleted before its window: the window no longer accepts drops.
    Window window;
    window.drag->setEnableDrop(true);
    delete window.drag;
    EXPECT_FALSE(window.acceptDrops());
    EXPECT_FALSE(drop(&window, data.get()));
    EXPECT_TRUE(window.drops.empty());

    // Torn down with its window while still accepting: nothing dangles.
    auto owned = std::make_unique<QWidget>();
    (new TFileDrag(owned.get()))->setEnableDrop(true);
    owned.reset();
}

} // namespace
