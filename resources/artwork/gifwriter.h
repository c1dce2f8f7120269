// Writes an endlessly looping GIF animation (Qt reads GIFs but cannot write them).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>

namespace Artwork {

// Frames of one size; each pixel's alpha chooses a shade between the ground
// colour and its own colour, pixels under alpha 64 become transparent.
QByteArray animatedGif(const QList<QImage> &frames, int delayCentiseconds, const QColor &ground);

} // namespace Artwork
