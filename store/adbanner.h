// The strip of store banners under the lyrics: an image, a title and a
// subtitle on a coloured box, one banner after another every 10 s; a click
// opens the banner's web page or asks the program for an action.
//
// Pictures are fetched in the background and kept in a cache on disk, so a
// banner change never waits on the network: a banner shows at once, its
// picture joins it when it arrives, and a banner whose picture is missing or
// broken shows without one. Pictures are read (from the network or the
// cache) off the window's thread, and one whose announced size is far beyond
// what is shown is refused before it is decoded: a picture of one colour
// packs tens of thousands of pixels a side into a few hundred kilobytes.
// While the strip is not allowed (a song is loaded) it is hidden and the
// rotation stops; allowing it shows the strip at once, with the current
// banner if there is one, and rotates.
#pragma once

#include "replywatch.h"

#include <QHash>
#include <QList>
#include <QPixmap>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

class QNetworkAccessManager;
class QIODevice;
class QNetworkReply;
class User;

namespace Ui {
class AdBanner;
}

struct Banner
{
    QString link;
    QString image; // an http(s) address; any other shows no picture
    int width = 60;
    int height = 60;
    QString backgroundColor;
    QString hoverColor = QStringLiteral("#1a8cff");
    QString title;
    QString titleColor;
    QString subtitle;
    QString subtitleColor;
};

class AdBanner : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kFirstLoadMs = 3000;
    static constexpr int kRotationMs = 10000;
    static constexpr int kRetryMs = 60000;
    // The largest side of a picture that is decoded at all; it is shown at
    // 60 pixels.
    static constexpr int kMostPictureSide = 4096;

    explicit AdBanner(QWidget *parent = nullptr);
    ~AdBanner() override;

    // Keeps the user and loads the banners kFirstLoadMs later.
    void init(User *user);
    void setAllowed(bool allowed);

    void setData(const Banner &banner);
    void setData(const QString &image, int width, int height, const QString &background,
                 const QString &hover, const QString &title, const QString &titleColor,
                 const QString &subtitle, const QString &subtitleColor);
    void showBannerAtIndex(int index);
    // True when the picture is there; otherwise the label stays empty while
    // it is fetched (the banner is shown again when it comes) or for good
    // when it cannot be had.
    bool setImage(const QString &path, int width, int height);
    void setBannerTitle(const QString &text, const QString &color);
    void setBannerSubtitle(const QString &text, const QString &color);
    void setBannerColor(const QString &background, const QString &hover);
    // The picture at `address`, once it has been read; null while it is
    // read from the cache or fetched in the background (or when it cannot
    // be had).
    QPixmap download_from(const QString &address);

    // The picture `device` holds, scaled down to fit `bound`; null, with
    // why in `refusal`, when it cannot be read or its announced size is
    // beyond kMostPictureSide (then nothing of it is decoded).
    static QImage readPicture(QIODevice *device, const QSize &bound, QString *refusal);

    const QList<Banner> &banners() const { return m_banners; }
    int currentIndex() const { return m_index; }
    QTimer *rotationTimer() { return &m_rotation; }
    QTimer *reloadTimer() { return &m_reload; }
    void setTimeouts(const NetTimeouts &limits) { m_timeouts = limits; }

signals:
    void actionTriggered(const QString &link);

public slots:
    // Asks for the list in the program's language and returns at once; the
    // list shows when it comes, or another try comes kRetryMs later.
    void reloadBanners();
    void showNextBanner();

private slots:
    void closeBanner();
    void onImageFetched(QNetworkReply *reply);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void onListFetched(QNetworkReply *reply);
    static QList<Banner> parseList(const QByteArray &body);
    QString cacheFile(const QString &address) const;
    QSize shownBound() const;
    // Back on the window's thread: the picture of `address`, or null with
    // why; `fetch` when it was not in the cache and is to be fetched.
    void pictureRead(const QString &address, const QImage &picture, const QString &refusal, bool fetch);
    void fetchPicture(const QString &address);

    Ui::AdBanner *ui;
    QList<Banner> m_banners;
    int m_index = -1;
    bool m_allowed = true;
    QTimer m_rotation;
    QTimer m_reload;
    User *m_user = nullptr;
    bool m_started = false;
    bool m_loading = false;
    // Asked for again while loading: the list is of the old language.
    bool m_askAgain = false;
    QString m_shownImage;
    QNetworkAccessManager *m_network;
    QHash<QString, QPixmap> m_pictures;
    QSet<QString> m_pending;
    QSet<QString> m_broken;
    NetTimeouts m_timeouts = NetTimeouts::forRequests();
    // Where pictures are read, one at a time; waited for when the strip
    // goes, which the size limit keeps short.
    QThreadPool m_reading;
};
