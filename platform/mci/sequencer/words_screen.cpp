#include "platform/mci/sequencer/words_screen.h"

#include "platform/mci/sequencer/lyrics_window.h"

#include <QApplication>

namespace mci::sequencer {

namespace {

struct Keeper {
    std::function<QByteArray()> load;
    std::function<void(const QByteArray&)> save;
    QByteArray last; // loaded or saved: a place unchanged is not written again
};

Keeper& keeper()
{
    static Keeper k;
    return k;
}

template <class Act> bool forEachWords(Act act)
{
    bool acted = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* words = dynamic_cast<LyricsWindow*>(w))
            acted = act(*words) || acted;
    return acted;
}

} // namespace

void setWordsPlaceKeeper(std::function<QByteArray()> load, std::function<void(const QByteArray&)> save)
{
    keeper() = {std::move(load), std::move(save), {}};
}

QByteArray keptWordsPlace()
{
    Keeper& k = keeper();
    if (k.load)
        k.last = k.load();
    return k.last;
}

void keepWordsPlace(const QByteArray& place)
{
    Keeper& k = keeper();
    if (place == k.last)
        return;
    k.last = place;
    if (k.save)
        k.save(place);
}

bool closeWords()
{
    return forEachWords([](LyricsWindow& words) {
        if (!words.isVisible())
            return false;
        words.escape();
        return true;
    });
}

bool reopenWords()
{
    return forEachWords([](LyricsWindow& words) { return words.reopen(); });
}

} // namespace mci::sequencer
