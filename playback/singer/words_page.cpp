#include "playback/singer/words_page.h"

#include "playback/singer/sung_line.h"

#include <QFontMetrics>
#include <QLabel>

#include <algorithm>
#include <cmath>

namespace singer {

namespace {

// Below this the words are no longer read, whatever the window.
constexpr int kSmallestPixels = 9;
// Over a room's screen the sung line spans this much of the width, unless it
// is short: then it is at most this part of the height.
constexpr double kRoomWidth = 0.9;
constexpr int kRoomHeightParts = 4;

// The sung line's text to the window: about seven lines of it high, and
// some forty letters wide, as a room reads a screen.
int pixelsFor(QSize size)
{
    return std::max(kSmallestPixels, std::min(size.height() / 7, size.width() / 22));
}

QLabel* makeLabel(QWidget* parent, const QString& text, const char* name, const QString& description)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText); // a song's texts are never markup
    label->setText(text);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setObjectName(QLatin1String(name));
    label->setAccessibleDescription(description);
    label->hide();
    return label;
}

} // namespace

struct WordsPage::Piece {
    QWidget* widget;
    double scale; // of the sung line's text
    double gap; // above it, in sung lines' text sizes, unless it comes first
    int rank; // 0: it must show; else the order in which what fits is added

    int gapPixels(int pixels) const { return int(std::lround(gap * pixels)); }
    int heightAt(int pixels, int width) const
    {
        QFont font = widget->font();
        const int size = std::max(1, int(std::lround(pixels * scale)));
        if (font.pixelSize() != size) {
            font.setPixelSize(size);
            widget->setFont(font);
        }
        return std::max(widget->heightForWidth(width), 0);
    }
};

WordsPage::WordsPage(QWidget* parent, const QString& title, const std::vector<std::string>& information)
    : QWidget(parent)
{
    title_ = makeLabel(this, title, "title", QStringLiteral("The song"));
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    for (const std::string& text : information)
        information_.push_back(
            makeLabel(this, QString::fromStdString(text), "information", QStringLiteral("About the song")));
    count_ = makeLabel(this, QString(), "countIn", QStringLiteral("Seconds until the words"));
    count_->setForegroundRole(QPalette::Highlight);
    next_ = makeLabel(this, QString(), "upNext", QStringLiteral("What follows this song"));

    keyAndTempo_ = makeLabel(this, QString(), "keyAndTempo", QStringLiteral("The key and the tempo"));
    keyAndTempo_->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    keyAndTempo_->setWordWrap(false);

    current_ = new SungLine(this, QPalette::WindowText);
    current_->setAccessibleDescription(QStringLiteral("The line being sung"));
    for (size_t i = 0; i < kMostToCome; ++i) {
        toCome_.push_back(new SungLine(this, QPalette::PlaceholderText));
        toCome_.back()->setAccessibleDescription(
            i == 0 ? QStringLiteral("The next line") : QStringLiteral("A line to come"));
        toCome_.back()->hide();
    }
    paragraph_.assign(kMostToCome, false);
}

void WordsPage::showLine(const QString& line, int sung, const std::vector<LineToCome>& toCome)
{
    current_->setLine(line, sung);
    toComeCount_ = std::min(toCome.size(), kMostToCome);
    for (size_t i = 0; i < kMostToCome; ++i) {
        toCome_[i]->setLine(i < toComeCount_ ? toCome[i].text : QString(), 0);
        paragraph_[i] = i < toComeCount_ && toCome[i].startsParagraph;
    }
    arrange();
}

void WordsPage::sing(int sung)
{
    current_->setLine(current_->text(), sung);
}

void WordsPage::showCountIn(int seconds, bool first)
{
    if (seconds > 0)
        count_->setText(QString::number(seconds));
    const bool turned = (seconds > 0) != (countIn_ > 0) || (seconds > 0 && first != firstCountIn_);
    countIn_ = seconds;
    firstCountIn_ = seconds > 0 && first;
    if (turned)
        arrange();
}

void WordsPage::showNext(const QString& text)
{
    showText(*next_, text);
}

void WordsPage::showRest(bool rest)
{
    if (rest == rest_)
        return;
    rest_ = rest;
    arrange();
}

void WordsPage::showKeyAndTempo(const QString& text)
{
    showText(*keyAndTempo_, text);
}

// A new text may take another line or free one: the page is laid out anew.
void WordsPage::showText(QLabel& label, const QString& text)
{
    if (text == label.text())
        return;
    label.setText(text);
    arrange();
}

void WordsPage::setRoom(bool room)
{
    if (room == room_)
        return;
    room_ = room;
    arrange();
}

// In a window, a size for all lines alike; over a room's screen, one that
// makes the sung line fill the width.
int WordsPage::wantedPixels() const
{
    const int least = pixelsFor(size());
    if (!room_ || current_->text().trimmed().isEmpty())
        return least;
    QFont font = current_->font();
    font.setPixelSize(100);
    const int advance = QFontMetrics(font).horizontalAdvance(current_->text().trimmed());
    const int margin = least / 2;
    const int fill = advance > 0 ? int(100.0 * kRoomWidth * (width() - 2 * margin) / advance) : least;
    return std::clamp(fill, least, std::max(least, height() / kRoomHeightParts));
}

void WordsPage::resizeEvent(QResizeEvent* event)
{
    arrange();
    QWidget::resizeEvent(event);
}

// In the order they show. Before the words come the title and the count,
// then the line to be sung, the information and the lines to come as they
// fit; while singing, the line being sung, then the lines to come.
std::vector<WordsPage::Piece> WordsPage::pieces() const
{
    std::vector<Piece> all;
    const bool next = !next_->text().isEmpty();
    // At rest the room sees who sings next, and nothing else.
    if (rest_) {
        if (next)
            all.push_back({next_, 1.0, 0, 0});
        return all;
    }
    int rank = 1;
    if (countIn_ > 0) {
        all.push_back({title_, 1.0, 0, 0});
        for (size_t i = 0; i < information_.size(); ++i)
            all.push_back({information_[i], 0.55, i == 0 ? 0.2 : 0, 2 + int(i)});
        all.push_back({count_, 1.6, 0.3, 0});
        all.push_back({current_, 1.0, 0.5, 1});
        rank = 2 + int(information_.size());
        if (next && firstCountIn_)
            all.push_back({next_, 0.55, 0.5, rank++});
    } else {
        all.push_back({current_, 1.0, 0, 0});
    }
    const size_t toCome = std::min(toComeCount_, room_ ? kMostToComeInRoom : kMostToCome);
    for (size_t i = 0; i < toCome; ++i)
        all.push_back({toCome_[i], room_ ? 0.7 : 0.8, paragraph_[i] ? 0.6 : 0.15, rank++});
    return all;
}

// As large as the window asks, smaller only where what must show would not
// fit whole.
int WordsPage::fittedPixels(const std::vector<Piece>& all, QSize area)
{
    for (int pixels = wantedPixels();; pixels = std::max(kSmallestPixels, pixels * 7 / 8)) {
        int used = 0;
        for (const Piece& piece : all)
            if (piece.rank == 0)
                used += piece.gapPixels(pixels) + piece.heightAt(pixels, area.width());
        if (used <= area.height() || pixels == kSmallestPixels)
            return pixels;
    }
}

void WordsPage::arrange()
{
    const int margin = pixelsFor(size()) / 2;
    QRect area = rect().adjusted(margin, margin / 2, -margin, -margin / 2);
    // The key and the tempo stand below the words, never over them.
    if (!keyAndTempo_->text().isEmpty()) {
        QFont font = keyAndTempo_->font();
        font.setPixelSize(std::max(kSmallestPixels, pixelsFor(size()) * 9 / 20));
        keyAndTempo_->setFont(font);
        const int height = keyAndTempo_->sizeHint().height();
        keyAndTempo_->setGeometry(area.left(), area.bottom() + 1 - height, area.width(), height);
        area.setBottom(area.bottom() - height);
    }
    const std::vector<Piece> all = pieces();
    pixels_ = fittedPixels(all, area.size());
    std::vector<int> heights(all.size());
    std::vector<size_t> byRank;
    int used = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        heights[i] = all[i].heightAt(pixels_, area.width());
        if (all[i].rank == 0)
            used += all[i].gapPixels(pixels_) + heights[i];
        else
            byRank.push_back(i);
    }
    std::stable_sort(byRank.begin(), byRank.end(), [&](size_t a, size_t b) { return all[a].rank < all[b].rank; });
    std::vector<bool> shown(all.size());
    for (size_t i = 0; i < all.size(); ++i)
        shown[i] = all[i].rank == 0;
    for (size_t i : byRank) {
        const int needed = all[i].gapPixels(pixels_) + heights[i];
        if (used + needed > area.height())
            break;
        used += needed;
        shown[i] = true;
    }
    place(all, shown, heights, area.left(), area.top() + std::max(0, (area.height() - used) / 2), area.width());
}

// Only what changes is shown or hidden: a screen reader hears of nothing else.
void WordsPage::place(const std::vector<Piece>& all, const std::vector<bool>& shown, const std::vector<int>& heights,
    int left, int top, int width)
{
    std::vector<QWidget*> visible;
    if (!keyAndTempo_->text().isEmpty())
        visible.push_back(keyAndTempo_);
    for (size_t i = 0; i < all.size(); ++i) {
        if (!shown[i])
            continue;
        top += all[i].gapPixels(pixels_);
        all[i].widget->setGeometry(left, top, width, heights[i]);
        visible.push_back(all[i].widget);
        top += heights[i];
    }
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setVisible(std::find(visible.begin(), visible.end(), child) != visible.end());
}

} // namespace singer
