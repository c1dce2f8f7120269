// The pages and pop-ups of the transport area report to the window that
// holds them through that window's slots, connected by name. A parent
// without the slot (a window that does not take that report) stays
// unconnected instead of drawing Qt's warning.
#pragma once

class QObject;

// `signal` and `slot` as SIGNAL() and SLOT() give them; true when connected.
bool connectToParentSlot(QObject *sender, const char *signal, QObject *parent, const char *slot);
