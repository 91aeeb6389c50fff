// The windows are laid out in pixels: every caption must fit its control in
// the font the control really gets, or a user reads it cut off; and every
// control the keyboard reaches has a name a screen reader says.
#include "app/main_window.h"
#include "settings/association_dialog.h"
#include "settings/setup_dialog.h"
#include "tests/support/scripted_device.h"
#include "tests/support/temp_dir.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

namespace {

// What of CONTROL's caption does not fit, or empty.
std::string overflow(QWidget* control)
{
    const QString name = control->objectName() + " \"";
    if (auto* label = qobject_cast<QLabel*>(control)) {
        if (label->text().isEmpty() || !label->pixmap().isNull())
            return {};
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
        const int wide = label->wordWrap() ? 0 : label->fontMetrics().horizontalAdvance(label->text());
        if (needed > label->height() + 2 || wide > label->width())
            return (name + label->text() + "\"").toStdString();
        return {};
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        if (button->text().isEmpty())
            return {};
        // The text beside the indicator or inside the frame, without the
        // frame's generous margins, which a fixed layout never had.
        const int text = button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
        const int indicator = button->inherits("QPushButton") ? 4
                                                              : button->style()->pixelMetric(QStyle::PM_IndicatorWidth)
                                                                    + button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
        if (text + indicator > button->width())
            return (name + button->text() + "\" needs " + QString::number(text + indicator)).toStdString();
        return {};
    }
    if (auto* group = qobject_cast<QGroupBox*>(control)) {
        if (group->fontMetrics().horizontalAdvance(group->title()) + 16 > group->width())
            return (name + group->title() + "\"").toStdString();
    }
    return {};
}

void expectCaptionsFit(QWidget& window)
{
    window.show();
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (control->isVisible()) {
            EXPECT_EQ(overflow(control), "") << "in " << window.objectName().toStdString();
        }
        // A screen reader names every control the keyboard reaches.
        if (control->isVisible() && (control->focusPolicy() & Qt::TabFocus)) {
            QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(reader, nullptr);
            EXPECT_FALSE(reader->text(QAccessible::Name).trimmed().isEmpty())
                << control->objectName().toStdString() << " in " << window.objectName().toStdString();
        }
    }
}

} // namespace

TEST(CaptionsFitAndNamesAreRead, InEveryWindow)
{
    testing_support::TempDir dir;
    testing_support::ScriptedMedia media;
    TForm1 main({"quorvana"});
    expectCaptionsFit(main);
    TFormSetup setup(nullptr, (dir / "quorvana.INI").string());
    expectCaptionsFit(setup);
    TFormAssoc assoc;
    expectCaptionsFit(assoc);
}
