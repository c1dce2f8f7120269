// Draws the program's own pictures at build time (no text, so the result
// does not depend on the fonts of the build machine).
// Usage: drawartwork <output folder> <list of picture file names>
#include "gifwriter.h"
#include "glyphs.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

using namespace Artwork;

namespace {

QImage blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

QImage appIcon(int size)
{
    QImage img = blank(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(size * 0.06, size * 0.06, size * 0.88, size * 0.88);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kHeader);
    g.setColorAt(1, kDark);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, size * 0.2, size * 0.2);
    drawMicrophone(p, r.adjusted(size * 0.1, size * 0.1, -size * 0.1, -size * 0.1), kYellow);
    return img;
}

// Equaliser bars under a microphone: the program's mark, used where the
// store's logo would stand.
void drawMark(QPainter &p, const QRectF &area, const QColor &color)
{
    drawMicrophone(p, QRectF(area.left(), area.top(), area.height(), area.height()), color);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const int bars = 12;
    const qreal left = area.left() + area.height() * 1.1;
    const qreal step = (area.right() - left) / bars;
    for (int i = 0; i < bars; ++i) {
        const qreal h = area.height() * (0.25 + 0.6 * std::abs(std::sin(i * 0.7 + 0.4)));
        p.setBrush(color);
        p.drawRoundedRect(QRectF(left + i * step, area.center().y() - h / 2, step * 0.6, h), 2, 2);
    }
}

QImage splashLogo()
{
    QImage img = blank(800, 488);
    QPainter p(&img);
    drawMicrophone(p, QRectF(250, 40, 300, 300), kYellow);
    // A row of equaliser bars under the microphone.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const int bars = 21;
    for (int i = 0; i < bars; ++i) {
        const qreal h = 20 + 60 * std::abs(std::sin(i * 0.7)) * (1.0 - std::abs(i - 10) / 12.0);
        QColor c = kYellow;
        c.setAlphaF(0.5 + 0.5 * (1.0 - std::abs(i - 10) / 10.0));
        p.setBrush(c);
        p.drawRoundedRect(QRectF(190 + i * 20, 440 - h, 12, h), 4, 4);
    }
    return img;
}

QImage splashBackground(QImage::Format format = QImage::Format_RGB32)
{
    QImage img(1125, 613, format);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, kHeader);
    g.setColorAt(1, kDark);
    p.fillRect(img.rect(), g);
    QRadialGradient light(QPointF(img.width() / 2.0, img.height() * 0.4), img.width() * 0.45);
    light.setColorAt(0, QColor(255, 204, 0, 40));
    light.setColorAt(1, QColor(255, 204, 0, 0));
    p.fillRect(img.rect(), light);
    return img;
}

QImage logo(int w, int h, const QColor &color)
{
    QImage img = blank(w, h);
    QPainter p(&img);
    drawMark(p, QRectF(2, 2, w - 4, h - 4), color);
    return img;
}

// Dark blue dot-matrix panel of the song display.
QImage lcdPanel()
{
    QImage img = blank(600, 100);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, QColor(24, 30, 52));
    g.setColorAt(1, QColor(12, 15, 30));
    p.setPen(QPen(QColor(39, 39, 39), 2));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, img.width() - 2, img.height() - 2), 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(171, 188, 255, 18));
    for (int y = 6; y < img.height() - 4; y += 4)
        for (int x = 6; x < img.width() - 4; x += 4)
            p.drawRect(QRectF(x, y, 2, 2));
    return img;
}

QImage knob(int w, int h)
{
    QImage img = blank(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(w * 0.4, h * 0.35), w * 0.6);
    g.setColorAt(0, QColor(250, 250, 252));
    g.setColorAt(1, QColor(150, 154, 166));
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(g);
    p.drawEllipse(QRectF(1.5, 1.5, w - 3, h - 3));
    return img;
}

// Fader cap: a grooved bar across the volume track.
QImage faderCap(int w, int h)
{
    QImage img = blank(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(230, 230, 234));
    g.setColorAt(0.5, QColor(170, 172, 180));
    g.setColorAt(1, QColor(120, 122, 130));
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 4, 4);
    p.setPen(QPen(kDark, 2));
    p.drawLine(QPointF(4, h / 2.0), QPointF(w - 4, h / 2.0));
    return img;
}

// Ground of one row of the edit page (its header, a channel strip): wider
// than the page and as high as the row, so that it never repeats across it;
// a light line above and a dark one below part the rows.
QImage channelStrip(const QColor &top, const QColor &bottom)
{
    QImage img(1600, 88, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(img.rect(), g);
    p.setPen(QPen(top.lighter(130), 1));
    p.drawLine(0, 0, img.width(), 0);
    p.setPen(QPen(QColor(0, 0, 0, 160), 2));
    p.drawLine(0, img.height() - 1, img.width(), img.height() - 1);
    return img;
}

// Fine brushed-metal texture behind the mixer, tiling seamlessly.
QImage brushedTexture()
{
    QImage img(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        const int v = 52 + int(6 * std::sin(y * 2 * M_PI / 16.0) + 4 * std::sin(y * 2 * M_PI / 64.0));
        for (int x = 0; x < img.width(); ++x) {
            const int n = int(3 * std::sin((x + 3 * y) * 2 * M_PI / 128.0));
            img.setPixel(x, y, qRgb(v + n, v + n, v + n + 2));
        }
    }
    return img;
}

enum class Round { Left, Right, None, All };

// Button ground for border images: rounded on the given side.
QImage buttonPlate(int w, int h, Round round, int state)
{
    QImage img = blank(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A chosen button is amber dark enough for its light text and icon to
    // stand out 4.5:1.
    const QColor top = state == 1 ? QColor(140, 88, 0) : state == 2 ? QColor(48, 48, 48) : QColor(96, 96, 96);
    const QColor bottom = state == 1 ? QColor(110, 68, 0) : state == 2 ? QColor(30, 30, 30) : QColor(60, 60, 60);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    const qreal r = h * 0.3;
    QPainterPath path;
    const QRectF box(0.5, 0.5, w - 1, h - 1);
    path.addRoundedRect(box, r, r);
    if (round != Round::All) {
        // Square off the sides that meet a neighbouring button.
        QPainterPath squared;
        if (round != Round::Left)
            squared.addRect(QRectF(box.left(), box.top(), box.width() / 2, box.height()));
        if (round != Round::Right)
            squared.addRect(QRectF(box.center().x(), box.top(), box.width() / 2, box.height()));
        path = path.united(squared);
    }
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(g);
    p.drawPath(path);
    return img;
}

// Ground of a page tab: a plain plate with rounded top corners, light when
// the tab is not chosen, yellow when it is; stretched behind the tab's text.
QImage tabPlate(bool checked)
{
    QImage img = blank(140, 40);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, checked ? QColor(255, 214, 60) : QColor(236, 236, 236));
    g.setColorAt(1, checked ? kYellow : QColor(208, 208, 208));
    QPainterPath path;
    path.addRoundedRect(QRectF(0.5, 0.5, img.width() - 1, img.height() + 8), 8, 8);
    p.setClipRect(img.rect());
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.setBrush(g);
    p.drawPath(path);
    return img;
}

QImage led(bool on)
{
    QImage img = blank(50, 50);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(20, 18), 26);
    g.setColorAt(0, on ? QColor(255, 250, 200) : QColor(90, 90, 80));
    g.setColorAt(0.5, on ? kYellow : QColor(60, 58, 50));
    g.setColorAt(1, on ? QColor(180, 120, 0) : QColor(30, 30, 28));
    p.setPen(QPen(kDark, 2));
    p.setBrush(g);
    p.drawEllipse(QRectF(8, 8, 34, 34));
    return img;
}

// Spinner frames: twelve capsules, the lit one moving round.
QList<QImage> spinnerFrames(int size)
{
    QList<QImage> frames;
    for (int f = 0; f < 12; ++f) {
        QImage img = blank(size, size);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(size / 2.0, size / 2.0);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 12; ++i) {
            QColor c = kYellow;
            c.setAlphaF(1.0 - i / 12.0);
            p.save();
            p.rotate(f * 30 - 30 * i);
            p.setBrush(c);
            p.drawRoundedRect(QRectF(-size * 0.05, -size * 0.45, size * 0.1, size * 0.26), size * 0.05, size * 0.05);
            p.restore();
        }
        frames.append(img);
    }
    return frames;
}

QByteArray encoded(const QImage &img, const char *format, int quality = -1)
{
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format, quality);
    return data;
}

QByteArray png(const QImage &img)
{
    return encoded(img, "PNG");
}

void putBigEndian32(QByteArray &out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

// Apple icon container holding PNG images: "ic09" 512 px, "ic08" 256 px.
QByteArray icns()
{
    QByteArray body;
    const struct { const char *type; int size; } entries[] = {{"ic09", 512}, {"ic08", 256}};
    for (const auto &e : entries) {
        const QByteArray data = png(appIcon(e.size));
        body.append(e.type, 4);
        putBigEndian32(body, quint32(8 + data.size()));
        body.append(data);
    }
    QByteArray out("icns", 4);
    putBigEndian32(out, quint32(8 + body.size()));
    return out + body;
}

using Drawer = std::function<QByteArray()>;

Drawer pic(const std::function<QImage()> &draw)
{
    return [draw] { return png(draw()); };
}

Drawer glyph(int w, int h, Glyph g, const QColor &c = kLight, Plate plate = Plate::None)
{
    return pic([=] { return icon(QSize(w, h), g, c, plate); });
}

// Every picture the program carries, by file name.
std::map<QString, Drawer> pictures()
{
    const QColor gray(128, 128, 128);
    const QColor red(220, 60, 60);
    return {
        {"icon.icns", icns},
        {"icon512.png", pic([] { return appIcon(512); })},
        {"splashscreen_logo.png", pic(splashLogo)},
        {"splashscreen_bg.jpg", [] { return encoded(splashBackground(), "JPG", 90); }},
        {"timbra-splash-bg.png", pic([] { return splashBackground(QImage::Format_ARGB32); })},
        {"Melodrome_logo.png", pic([] { return logo(262, 64, kYellow); })},
        {"library_icon_def_melodrome.png", pic([] { return logo(160, 34, kGrey); })},
        {"library_icon_sel_melodrome.png", pic([] { return logo(160, 34, kHeader); })},
        {"lcd-panel.png", pic(lcdPanel)},
        {"slider-knob.png", pic([] { return knob(40, 40); })},
        {"volume-slider.png", pic([] { return faderCap(60, 30); })},
        {"single-channel-background.png", pic([] { return channelStrip(QColor(70, 70, 70), QColor(40, 40, 40)); })},
        {"master-channel-background1.png", pic([] { return channelStrip(QColor(86, 80, 60), QColor(44, 40, 30)); })},
        {"mixer-background-texture.png", pic(brushedTexture)},
        {"generic_button-roudedLeft.png", pic([] { return buttonPlate(60, 60, Round::Left, 0); })},
        {"generic_button-roudedLeft-checked.png", pic([] { return buttonPlate(60, 60, Round::Left, 1); })},
        {"generic_button-roudedRight.png", pic([] { return buttonPlate(60, 60, Round::Right, 0); })},
        {"generic_button-roudedRight-checked.png", pic([] { return buttonPlate(60, 60, Round::Right, 1); })},
        {"generic_button-center.png", pic([] { return buttonPlate(60, 60, Round::None, 0); })},
        {"generic_button-center-checked.png", pic([] { return buttonPlate(60, 60, Round::None, 1); })},
        {"generic_button-center-pressed.png", pic([] { return buttonPlate(60, 60, Round::None, 2); })},
        {"generic small header button.png", pic([] { return buttonPlate(80, 50, Round::All, 0); })},
        {"generic small header button-checked.png", pic([] { return buttonPlate(80, 50, Round::All, 1); })},
        {"icon_rew.png", glyph(60, 60, Glyph::Rewind)},
        {"icon_play.png", glyph(60, 60, Glyph::Play)},
        {"icon_pause.png", glyph(60, 60, Glyph::Pause)},
        {"icon_fwd.png", glyph(60, 60, Glyph::Forward)},
        {"play_UP.png", glyph(50, 50, Glyph::Play, kLight, Plate::Up)},
        {"play_DOWN.png", glyph(50, 50, Glyph::Play, kLight, Plate::Down)},
        {"volume_UP.png", glyph(50, 50, Glyph::Speaker, kLight, Plate::Up)},
        {"volume_DOWN.png", glyph(50, 50, Glyph::Speaker, kLight, Plate::Down)},
        {"silence.png", glyph(50, 50, Glyph::SpeakerOff)},
        {"microphone.png", glyph(50, 50, Glyph::Microphone)},
        {"user_tab.png", glyph(50, 50, Glyph::User)},
        {"user_icon.png", glyph(120, 120, Glyph::User, kGrey)},
        {"Settings_icon.png", glyph(50, 50, Glyph::Gear)},
        {"arrowLibrary.png", glyph(40, 40, Glyph::ChevronDown)},
        {"window-pin.png", glyph(46, 46, Glyph::Pin, kHeader)},
        {"window-unpin.png", glyph(46, 46, Glyph::Unpin, kHeader)},
        {"minimize-icon-window.png", glyph(50, 50, Glyph::MinimiseBar, kHeader)},
        {"window-full-screen.png", glyph(50, 50, Glyph::Expand, kHeader)},
        {"window-minimize.png", glyph(50, 50, Glyph::Shrink, kHeader)},
        {"fullscreen-icon.png", glyph(50, 50, Glyph::Expand, kHeader)},
        {"reduce-icon.png", glyph(50, 50, Glyph::Shrink, kHeader)},
        {"add-new-window-icon.png", glyph(50, 50, Glyph::NewWindow, kHeader)},
        {"to-new-window-icon.png", glyph(50, 50, Glyph::ToNewWindow, kHeader)},
        {"delete2.png", glyph(36, 36, Glyph::Cross, kHeader)},
        {"folder-up.png", glyph(50, 50, Glyph::FolderUp)},
        {"backArrow.png", glyph(50, 50, Glyph::ChevronLeft, kDark)},
        {"forwardArrow.png", glyph(50, 50, Glyph::ChevronRight, kDark)},
        {"autoplay_off.png", glyph(50, 50, Glyph::Autoplay, kGrey)},
        {"autoplay_on.png", glyph(50, 50, Glyph::Autoplay, kYellow)},
        {"add_playlist.png", glyph(50, 50, Glyph::AddPlaylist, kHeader)},
        {"okaction.png", glyph(50, 50, Glyph::Check, QColor(90, 200, 90))},
        {"okactionSmall.png", glyph(24, 24, Glyph::Check, QColor(90, 200, 90))},
        {"infoorig.png", glyph(50, 50, Glyph::Info, kHeader)},
        {"recycle bin.png", glyph(50, 50, Glyph::Bin, kHeader)},
        {"earthConnected.png", glyph(50, 50, Glyph::Earth, QColor(90, 200, 90))},
        {"earthDisconnected.png", glyph(50, 50, Glyph::EarthOff, kHeader)},
        {"search-grey-store.png", glyph(40, 40, Glyph::Search, kHeader)},
        {"library-tab-unchecked.png", pic([] { return tabPlate(false); })},
        {"library-tab-checked.png", pic([] { return tabPlate(true); })},
        {"drag-icon.png", glyph(20, 20, Glyph::DragLines, kGrey)},
        {"File - Generic.png", glyph(60, 60, Glyph::File)},
        {"folder-sad.png", glyph(120, 120, Glyph::FolderSad, kGrey)},
        {"hddIcon.png", glyph(60, 60, Glyph::Disk)},
        {"midi_icon.png", glyph(40, 40, Glyph::MidiPlug, kHeader)},
        {"mp3_icon.png", glyph(40, 40, Glyph::Wave, kHeader)},
        {"genre_icon.png", glyph(40, 40, Glyph::Notes, kHeader)},
        {"clock.png", glyph(40, 40, Glyph::Clock, kHeader)},
        {"credit_icon.png", glyph(60, 60, Glyph::Coin, kYellow)},
        {"downloadingIcon.png", glyph(40, 40, Glyph::Download, kYellow)},
        {"downloadError.png", glyph(40, 40, Glyph::DownloadError)},
        {"pencil.png", glyph(40, 40, Glyph::Pencil, kHeader)},
        {"plus.png", glyph(40, 40, Glyph::Plus)},
        {"plus_UP.png", glyph(50, 50, Glyph::Plus, kLight, Plate::Up)},
        {"plus_DOWN.png", glyph(50, 50, Glyph::Plus, kLight, Plate::Down)},
        {"minus_UP.png", glyph(50, 50, Glyph::Minus, kLight, Plate::Up)},
        {"minus_DOWN.png", glyph(50, 50, Glyph::Minus, kLight, Plate::Down)},
        {"btn-MUTE_UP.png", glyph(50, 40, Glyph::SpeakerOff, kLight, Plate::Up)},
        {"btn-MUTE_DOWN.png", glyph(50, 40, Glyph::SpeakerOff, red, Plate::Down)},
        {"btn-SOLO_UP.png", glyph(50, 40, Glyph::Headphones, kLight, Plate::Up)},
        {"btn-SOLO_DOWN.png", glyph(50, 40, Glyph::Headphones, kLight, Plate::Down)},
        {"mute_UP.png", glyph(40, 40, Glyph::SpeakerOff, kLight, Plate::Up)},
        {"solo_UP.png", glyph(40, 40, Glyph::Headphones, kLight, Plate::Up)},
        {"mute_DOWN.png", glyph(40, 40, Glyph::SpeakerOff, red, Plate::Down)},
        {"solo_DOWN.png", glyph(40, 40, Glyph::Headphones, kLight, Plate::Down)},
        {"global-undo_UP.png", glyph(50, 50, Glyph::Undo, kLight, Plate::Up)},
        {"global-undo_DOWN.png", glyph(50, 50, Glyph::Undo, kLight, Plate::Down)},
        {"undo-small_UP.png", glyph(30, 30, Glyph::Undo, kLight, Plate::Up)},
        {"undo-small_DOWN.png", glyph(30, 30, Glyph::Undo, kLight, Plate::Down)},
        {"restore-settings_UP.png", glyph(50, 50, Glyph::Restore, kLight, Plate::Up)},
        {"restore-settings_DOWN.png", glyph(50, 50, Glyph::Restore, kLight, Plate::Down)},
        {"led_ON.png", pic([] { return led(true); })},
        {"led_OFF.png", pic([] { return led(false); })},
        {"icon-notes-gray.png", glyph(40, 40, Glyph::Notes, gray)},
        {"icon-playlist-gray.png", glyph(40, 40, Glyph::Playlist, gray)},
        {"icon-recent-gray.png", glyph(40, 40, Glyph::Clock, gray)},
        {"icon-download-gray.png", glyph(40, 40, Glyph::Download, gray)},
        {"loader.gif", [] { return animatedGif(spinnerFrames(64), 8, kHeader); }},
        {"loading.gif", [] { return animatedGif(spinnerFrames(32), 8, kHeader); }},
    };
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return !data.isEmpty() && f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && f.write(data) == data.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: drawartwork <output folder> <list of picture names>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QFile list(QString::fromLocal8Bit(argv[2]));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "drawartwork: cannot read %s\n", argv[2]);
        return 1;
    }
    QDir().mkpath(out);
    const auto drawers = pictures();
    int failures = 0;
    QTextStream in(&list);
    while (!in.atEnd()) {
        const QString name = in.readLine().trimmed();
        if (name.isEmpty())
            continue;
        const auto it = drawers.find(name);
        if (it == drawers.end()) {
            std::fprintf(stderr, "drawartwork: no drawing for \"%s\"\n", qPrintable(name));
            ++failures;
        } else if (!writeFile(out + QLatin1Char('/') + name, it->second())) {
            std::fprintf(stderr, "drawartwork: cannot write %s\n", qPrintable(name));
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
