#pragma once
// One line of a song's words, centred and wrapped, its sung part in the
// highlight colour. The line is laid out once when it changes, or its width
// or font does; moving the highlight only paints it again.
#include <QString>
#include <QTextLayout>
#include <QWidget>

namespace singer {

class SungLine final : public QWidget {
public:
    // ROLE: the colour of what is not sung.
    SungLine(QWidget* parent, QPalette::ColorRole role);

    // TEXT with its first SUNG characters (UTF-16 units) highlighted.
    void setLine(const QString& text, int sung);
    const QString& text() const { return text_; }
    int sung() const { return sung_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Lays out the line at WIDTH into LAYOUT; returns its height.
    int layOut(QTextLayout& layout, int width) const;

    QString text_;
    int sung_ = 0;
    QTextLayout layout_;
    int height_ = 0; // of the line as laid out
};

} // namespace singer
