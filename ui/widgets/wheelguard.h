// Keeps the wheel for scrolling inside a scroll area: a combo box, spin box
// or slider under the pointer takes the wheel only once the user has chosen
// it (it has the focus); until then the wheel scrolls the page around it.
// Without this, scrolling down a page of settings changes whichever setting
// passes under the pointer.
#pragma once

#include <QObject>

class QWidget;

namespace WheelGuard {

// Guards every combo box, spin box and slider inside `area` (a scroll area's
// contents), those added later excepted. Each then takes the focus on a
// click or Tab, never on the wheel.
void guardChildren(QWidget *area);

} // namespace WheelGuard
