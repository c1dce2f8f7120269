// A group of checkable buttons each of which Tab reaches. Qt lets Tab stop
// only on the checked button of a button group (the others by the arrow
// keys), so a keyboard user of a row of mute / solo buttons never finds
// them; these groups keep every button in the Tab order.
#pragma once

class QButtonGroup;

namespace TabbableGroup {

// Every button now in `group` takes the focus by Tab and by a click, now and
// after each change of the checked button.
void keepEveryButton(QButtonGroup *group);

} // namespace TabbableGroup
