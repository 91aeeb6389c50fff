// The seek bar is a system scroll bar: a thumb of one size that a short
// track can still be dragged by, and the keyboard's scroll codes.
#include "framework/scroll_bar.h"

#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

struct Bar : ui::ScrollBar {
    QRect thumb()
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
    }
};

} // namespace

TEST(ScrollBar, ThumbKeepsItsSizeWhateverTheRangeAndLargeChange)
{
    Bar bar;
    bar.setGeometry(8, 32, 145, 17);
    bar.setPageStep(200);
    for (const int maximum : {1, 3, 100, 1234, 1 << 30}) {
        bar.setRange(0, maximum);
        EXPECT_EQ(bar.thumb().width(), ui::ScrollBar::kThumbLength) << maximum;
    }
}

TEST(ScrollBar, KeysGiveTheSystemsScrollCodesAndALargeChangeStillPages)
{
    ui::ScrollBar bar;
    bar.setRange(0, 1000);
    bar.setPageStep(200);
    bar.setValue(500);
    std::vector<std::pair<ui::ScrollCode, int>> seen;
    QObject::connect(
        &bar, &ui::ScrollBar::scroll, [&](ui::ScrollCode code, int& pos) { seen.emplace_back(code, pos); });
    QTest::keyClick(&bar, Qt::Key_PageUp);
    QTest::keyClick(&bar, Qt::Key_Right);
    QTest::keyClick(&bar, Qt::Key_PageDown);
    QTest::keyClick(&bar, Qt::Key_Home);
    using enum ui::ScrollCode;
    EXPECT_EQ(seen,
        (std::vector<std::pair<ui::ScrollCode, int>> {
            {scPageUp, 300}, {scLineDown, 301}, {scPageDown, 501}, {scTop, 0}}));
}
