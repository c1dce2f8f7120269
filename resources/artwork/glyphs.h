// Pictograms of the program's buttons and rows, drawn in a 100 x 100 box.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

class QPainter;
class QRectF;

enum class Glyph {
    Play, Pause, Rewind, Forward, Speaker, SpeakerOff, Microphone, User, Gear,
    ChevronDown, ChevronLeft, ChevronRight, Pin, Unpin, MinimiseBar, Expand, Shrink,
    NewWindow, ToNewWindow, Cross, FolderUp, Autoplay, AddPlaylist, Check, Info,
    Bin, Earth, EarthOff, Search, DragLines, File, FolderSad, Disk, MidiPlug,
    Wave, Notes, Clock, Coin, Download, DownloadError, Pencil, Plus, Minus,
    Headphones, Undo, Restore, Playlist
};

// How a pictogram sits in its picture.
enum class Plate {
    None,     // pictogram alone on a transparent ground
    Up,       // on a dark rounded button
    Down,     // on the pressed button, lit
};

namespace Artwork {

extern const QColor kYellow;
extern const QColor kDark;
extern const QColor kHeader;
extern const QColor kLight;
extern const QColor kGrey;

void drawGlyph(QPainter &p, Glyph g, const QColor &color);
// Microphone with sound waves, centred in area: the program's own sign.
void drawMicrophone(QPainter &p, const QRectF &area, const QColor &color);
QImage icon(QSize size, Glyph g, const QColor &color, Plate plate = Plate::None);

} // namespace Artwork
