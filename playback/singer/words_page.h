#pragma once
// What the words window shows, fitted to its size: the line being sung,
// always whole, and as many lines to come as fit below it; for a count-in,
// the song's title and information and the seconds left above them. The
// text grows with the window, for a room to read it from afar.
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QLabel;

namespace singer {

class SungLine;

struct LineToCome {
    QString text;
    bool startsParagraph;
};

class WordsPage final : public QWidget {
public:
    // At most this many lines to come show, however large the window; over
    // a room's screen fewer, larger ones.
    static constexpr size_t kMostToCome = 10;
    static constexpr size_t kMostToComeInRoom = 3;

    WordsPage(QWidget* parent, const QString& title, const std::vector<std::string>& information);

    // LINE is the one being sung, its first SUNG characters (UTF-16 units)
    // sung; TO_COME the lines after it, in order.
    void showLine(const QString& line, int sung, const std::vector<LineToCome>& toCome);
    // The highlight moves along the line shown.
    void sing(int sung);
    // SECONDS left to the next syllable, shown with the title; 0: the lines alone.
    void showCountIn(int seconds, bool first = false);

    // What follows this song ("Next: Anna – Hero"), shown in the count-in
    // before the first words and, large, in the rest after the song; empty:
    // nothing does.
    void showNext(const QString& text);
    // The song has ended and the next one is about to start.
    void showRest(bool rest);

    // The singer's key and tempo, in a corner; empty: nothing there.
    void showKeyAndTempo(const QString& text);
    // For a room to sing from (the window fills the screen): the sung line
    // as wide as the screen lets it, and a few lines to come.
    void setRoom(bool room);

    SungLine* currentLine() const { return current_; }
    SungLine* nextLine() const { return toCome_.front(); }
    // The size of the sung line's text, in pixels.
    int textPixels() const { return pixels_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Piece;
    void arrange();
    void showText(QLabel& label, const QString& text);
    int wantedPixels() const;
    std::vector<Piece> pieces() const;
    int fittedPixels(const std::vector<Piece>& all, QSize area);
    void place(const std::vector<Piece>& all, const std::vector<bool>& shown, const std::vector<int>& heights, int left,
        int top, int width);

    QLabel* title_;
    std::vector<QLabel*> information_;
    QLabel* count_;
    QLabel* next_;
    QLabel* keyAndTempo_;
    SungLine* current_;
    std::vector<SungLine*> toCome_;
    std::vector<bool> paragraph_; // the line to come starts a paragraph
    size_t toComeCount_ = 0;
    int countIn_ = 0;
    bool firstCountIn_ = false; // the count-in before the first words
    bool rest_ = false;
    bool room_ = false;
    int pixels_ = 0;
};

} // namespace singer
