// A reference for screen recordings: a small window that turns black and
// white in turn at times it prints on the wall clock (the clock x11grab
// stamps its frames with), so that a measurement can tell how late the
// recorder's stamps are and take it off.
//
// usage: screen-clock X Y W H [PERIOD_MS] [SECONDS]
// Changes every PERIOD_MS and up to one video frame (17 ms) more, drawn at
// random: a period that divides into frames (250 ms is 15 of them) would
// land every change at the same point of a frame, and the recorder's
// lateness measured on them would carry that point's bias.
// Prints one line per change: "<before> <after> <0 black|1 white>", the
// wall-clock seconds just before the window was drawn and once the X server
// had done it (a round trip after the drawing). Ends after SECONDS (default
// 60) or on SIGTERM.
#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

double wallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

class Flag : public QWidget
{
public:
    Flag()
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    // Draws the other colour now and waits until the server has it.
    void flip(xcb_connection_t *connection)
    {
        m_white = !m_white;
        const double before = wallSeconds();
        repaint();
        if (connection)
            std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        const double after = wallSeconds();
        std::printf("%.6f %.6f %d\n", before, after, m_white ? 1 : 0);
        std::fflush(stdout);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), m_white ? Qt::white : Qt::black);
    }

private:
    bool m_white = false;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: screen-clock X Y W H [PERIOD_MS] [SECONDS]\n");
        return 2;
    }
    const int period = argc > 5 ? std::atoi(argv[5]) : 250;
    const int seconds = argc > 6 ? std::atoi(argv[6]) : 60;
    auto *x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    Flag flag;
    flag.setGeometry(std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    flag.show();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    const auto next = [&] { timer.start(std::max(period, 20) + int(QRandomGenerator::global()->bounded(17))); };
    QObject::connect(&timer, &QTimer::timeout, &flag, [&] {
        flag.flip(connection);
        next();
    });
    // The first change once the window is on the screen.
    QTimer::singleShot(500, &flag, next);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
