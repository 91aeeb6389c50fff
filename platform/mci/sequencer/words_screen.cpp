#include "platform/mci/sequencer/words_screen.h"

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

} // namespace mci::sequencer
