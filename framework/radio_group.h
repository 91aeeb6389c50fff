#pragma once
// Radio buttons that share a parent are one stop of the Tab key, entered at
// the checked button; the arrow keys then move and check (Qt's own part).
#include <QRadioButton>

#include <initializer_list>

namespace ui {

void makeOneTabStop(std::initializer_list<QRadioButton*> group);

} // namespace ui
