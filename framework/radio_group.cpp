#include "framework/radio_group.h"

#include <vector>

namespace ui {

void makeOneTabStop(std::initializer_list<QRadioButton*> group)
{
    const std::vector<QRadioButton*> buttons(group);
    const auto follow = [buttons] {
        for (QRadioButton* b : buttons)
            b->setFocusPolicy(b->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    };
    for (QRadioButton* b : buttons)
        QObject::connect(b, &QRadioButton::toggled, b, follow);
    follow();
}

} // namespace ui
