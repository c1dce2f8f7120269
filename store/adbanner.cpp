#include "adbanner.h"
#include "ui_adbanner.h"

#include "storeendpoints.h"
#include "appsettings.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace {

bool isWebAddress(const QString &text)
{
    return ReplyWatch::isWebAddress(QUrl(text));
}

QString languageCode()
{
    switch (programSettings().value(QStringLiteral("System/Lang"), 1).toInt()) {
    case 0:
        return QStringLiteral("IT");
    case 2:
        return QStringLiteral("DE");
    case 3:
        return QStringLiteral("ZH");
    default:
        return QStringLiteral("EN");
    }
}

} // namespace

AdBanner::AdBanner(QWidget *parent)
    : QWidget(parent), ui(new Ui::AdBanner), m_network(new QNetworkAccessManager(this))
{
    ui->setupUi(this);
    connect(ui->btn_close, &QPushButton::clicked, this, &AdBanner::closeBanner);
    ui->btn_close->hide();
    ui->container_widget->setAttribute(Qt::WA_Hover);
    ui->container_widget->setStyleSheet(
        QStringLiteral("[styleClass=\"banner\"]{background-color: transparent;}"));
    ui->lb_image->setPixmap(QPixmap());
    setBannerTitle(QString(), QStringLiteral("#666"));
    setBannerSubtitle(QString(), QStringLiteral("#FFF"));

    m_rotation.setObjectName(QStringLiteral("rotationTimer"));
    m_reload.setObjectName(QStringLiteral("reloadTimer"));
    m_reload.setSingleShot(true);
    connect(&m_rotation, &QTimer::timeout, this, &AdBanner::showNextBanner);
    connect(&m_reload, &QTimer::timeout, this, &AdBanner::reloadBanners);
    connect(m_network, &QNetworkAccessManager::finished, this, &AdBanner::onImageFetched);
    m_reading.setMaxThreadCount(1);
    hide();
}

AdBanner::~AdBanner()
{
    // A picture still being read tells a banner that is gone nothing.
    m_reading.waitForDone();
    // Replies the network aborts on its way out find no banner to read them.
    disconnect(m_network, nullptr, this, nullptr);
    delete ui;
}

void AdBanner::init(User *user)
{
    m_user = user;
    m_started = true;
    m_reload.start(kFirstLoadMs);
}

// The list comes in the background, like the pictures: a slow or silent
// host never holds the window, nor a download waiting in it.
void AdBanner::reloadBanners()
{
    // A language change during a load asks again once it has ended.
    if (m_loading) {
        m_askAgain = true;
        return;
    }
    m_loading = true;
    m_askAgain = false;
    m_rotation.stop();
    QUrl url = StoreEndpoints::checkUrl(QStringLiteral("/banners/get_banners.php"));
    url.setQuery(QStringLiteral("lang=") + languageCode());
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("VelmarPC 0.0.0"));
    ReplyWatch::verifyRedirects(request);
    QNetworkReply *reply = m_network->get(request);
    reply->setProperty("bannerList", true);
    new ReplyWatch(reply, m_timeouts, "AdBanner", ReplyWatch::kMaxRecordBytes);
}

void AdBanner::onListFetched(QNetworkReply *reply)
{
    m_loading = false;
    m_banners.clear();
    m_index = -1;
    // A list cut off (out of time, too large) is closed: nothing of it is read.
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    const QString failure = reply->findChild<ReplyWatch *>()->failure(body.size());
    if (!failure.isEmpty())
        qWarning().noquote() << "AdBanner: banner list not read," << failure;
    else if (!body.startsWith("ERROR"))
        m_banners = parseList(body);
    if (m_askAgain) {
        m_reload.start(0);
        return;
    }
    // Pictures that failed may be fixed on the server by now.
    m_broken.clear();
    if (m_banners.isEmpty()) {
        m_reload.start(kRetryMs);
        return;
    }
    showNextBanner();
    if (m_allowed)
        m_rotation.start(kRotationMs);
}

QList<Banner> AdBanner::parseList(const QByteArray &body)
{
    QList<Banner> loaded;
    const QJsonArray list = QJsonDocument::fromJson(body).object().value("banners").toArray();
    for (const QJsonValue &item : list) {
        const QJsonObject o = item.toObject();
        Banner b;
        b.image = o.value("image_url").toString();
        b.backgroundColor = o.value("background_color").toString();
        b.title = o.value("title").toString();
        b.titleColor = o.value("title_color").toString();
        b.subtitle = o.value("subtitle").toString();
        b.subtitleColor = o.value("subtitle_color").toString();
        b.link = o.value("link_url").toString();
        loaded << b;
    }
    return loaded;
}

void AdBanner::showNextBanner()
{
    m_index = m_index < m_banners.size() - 1 ? m_index + 1 : 0;
    if (!m_banners.isEmpty())
        setData(m_banners.at(m_index));
}

void AdBanner::showBannerAtIndex(int index)
{
    if (index < 0 || index >= m_banners.size())
        return;
    m_index = index;
    setData(m_banners.at(index));
}

void AdBanner::setData(const Banner &b)
{
    setBannerColor(b.backgroundColor, b.hoverColor);
    setBannerTitle(b.title, b.titleColor);
    setBannerSubtitle(b.subtitle, b.subtitleColor);
    // A picture that cannot be had leaves the banner without one.
    setImage(b.image, b.width, b.height);
    if (m_allowed)
        show();
}

void AdBanner::setData(const QString &image, int width, int height, const QString &background,
                       const QString &hover, const QString &title, const QString &titleColor,
                       const QString &subtitle, const QString &subtitleColor)
{
    setData(Banner{QString(), image, width, height, background, hover, title, titleColor, subtitle,
                   subtitleColor});
}

bool AdBanner::setImage(const QString &path, int width, int height)
{
    m_shownImage = path;
    // Only a web address: a local path could name a pipe or a device, and
    // reading it here would hold the window for good.
    const QPixmap picture = isWebAddress(path) ? download_from(path) : QPixmap();
    ui->lb_image->setMinimumWidth(width);
    ui->lb_image->setPixmap(picture.isNull() ? QPixmap()
                                             : picture.scaled(width, height, Qt::KeepAspectRatio,
                                                              Qt::SmoothTransformation));
    return !picture.isNull();
}

void AdBanner::setBannerTitle(const QString &text, const QString &color)
{
    ui->title_txt->setText(text);
    ui->title_txt->setStyleSheet(
        QStringLiteral("color: %1; font-size: 30px; font-weight: bold;").arg(color));
}

void AdBanner::setBannerSubtitle(const QString &text, const QString &color)
{
    ui->subtitle_txt->setText(text);
    ui->subtitle_txt->setStyleSheet(QStringLiteral("color: %1; font-size: 20px;").arg(color));
}

void AdBanner::setBannerColor(const QString &background, const QString &hover)
{
    ui->container_widget->setStyleSheet(
        QStringLiteral("[styleClass=\"banner\"]{background-color: %1; border: 1px solid #999999;}"
                       "[styleClass=\"banner\"]:hover{background-color:%2;}")
            .arg(background, hover));
}

QSize AdBanner::shownBound() const
{
    const Banner shown;
    return QSize(shown.width, shown.height) * qMax(1.0, devicePixelRatioF());
}

// Pictures are kept at the size they are shown at: a picture of a few
// thousand pixels a side would otherwise hold tens of megabytes for good.
// The size is read from the picture's header before anything is decoded.
QImage AdBanner::readPicture(QIODevice *device, const QSize &bound, QString *refusal)
{
    QImageReader reader(device);
    const QSize size = reader.size();
    if (!size.isValid()) {
        *refusal = reader.canRead() ? QStringLiteral("its size cannot be read before decoding it")
                                    : QStringLiteral("no picture the program can read (%1)").arg(reader.errorString());
        return {};
    }
    if (size.width() > kMostPictureSide || size.height() > kMostPictureSide) {
        *refusal = QStringLiteral("%1x%2 pixels announced, more than %3 a side for a picture shown at %4x%5")
                       .arg(size.width())
                       .arg(size.height())
                       .arg(kMostPictureSide)
                       .arg(bound.width())
                       .arg(bound.height());
        return {};
    }
    // The reader scales a picture of few colours within them: a one-bit
    // palette comes out a black-and-white dither. Such a picture is read
    // whole (one byte a pixel at most) and scaled in full colour.
    const QImage::Format kind = reader.imageFormat();
    const bool fewColours =
        kind == QImage::Format_Mono || kind == QImage::Format_MonoLSB || kind == QImage::Format_Indexed8;
    const bool shrink = size.width() > bound.width() || size.height() > bound.height();
    if (shrink && !fewColours)
        reader.setScaledSize(size.scaled(bound, Qt::KeepAspectRatio));
    QImage picture = reader.read();
    if (picture.isNull()) {
        *refusal = QStringLiteral("cannot be decoded (%1)").arg(reader.errorString());
        return picture;
    }
    if (fewColours) {
        picture = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                    : QImage::Format_RGB32);
        if (shrink)
            picture = picture.scaled(bound, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return picture;
}

QString AdBanner::cacheFile(const QString &address) const
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/banners/")
           + QString::fromLatin1(
               QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QPixmap AdBanner::download_from(const QString &address)
{
    const auto known = m_pictures.constFind(address);
    if (known != m_pictures.constEnd())
        return *known;
    if (m_broken.contains(address) || m_pending.contains(address))
        return {};
    m_pending.insert(address);
    // From the cache, off the window's thread; fetched when it is not there.
    m_reading.start([this, address, path = cacheFile(address), bound = shownBound()] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            QMetaObject::invokeMethod(
                this, [this, address] { pictureRead(address, {}, {}, true); }, Qt::QueuedConnection);
            return;
        }
        QString refusal;
        const QImage picture = readPicture(&file, bound, &refusal);
        // A cached picture that cannot be used goes, and is fetched anew.
        if (picture.isNull()) {
            qWarning().noquote() << "Banner picture in the cache not usable:" << address << refusal;
            file.remove();
        }
        QMetaObject::invokeMethod(
            this, [this, address, picture] { pictureRead(address, picture, {}, picture.isNull()); },
            Qt::QueuedConnection);
    });
    return {};
}

void AdBanner::fetchPicture(const QString &address)
{
    m_pending.insert(address);
    QNetworkRequest request{QUrl(address)};
    ReplyWatch::verifyRedirects(request);
    QNetworkReply *reply = m_network->get(request);
    reply->setProperty("bannerAddress", address);
    new ReplyWatch(reply, m_timeouts, "AdBanner");
}

void AdBanner::pictureRead(const QString &address, const QImage &picture, const QString &refusal, bool fetch)
{
    m_pending.remove(address);
    if (fetch) {
        fetchPicture(address);
        return;
    }
    if (picture.isNull()) {
        qWarning().noquote() << "Banner picture not usable:" << address << refusal;
        m_broken.insert(address);
        return;
    }
    m_pictures.insert(address, QPixmap::fromImage(picture));
    // The banner waiting for this picture shows now.
    if (m_index >= 0 && m_index < m_banners.size() && m_banners.at(m_index).image == address)
        setData(m_banners.at(m_index));
}

void AdBanner::onImageFetched(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->property("bannerList").toBool()) {
        onListFetched(reply);
        return;
    }
    const QString address = reply->property("bannerAddress").toString();
    const QByteArray bytes = reply->isOpen() ? reply->readAll() : QByteArray();
    const QString failure = reply->findChild<ReplyWatch *>()->failure(bytes.size());
    if (!failure.isEmpty()) {
        pictureRead(address, {}, failure, false);
        return;
    }
    // Read, and kept in the cache when it can be used, off the window's thread.
    m_reading.start([this, address, bytes, path = cacheFile(address), bound = shownBound()] {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QString refusal;
        const QImage picture = readPicture(&buffer, bound, &refusal);
        if (!picture.isNull()) {
            // Kept on disk whole or not at all.
            QDir().mkpath(QFileInfo(path).absolutePath());
            QSaveFile file(path);
            if (file.open(QIODevice::WriteOnly)) {
                file.write(bytes);
                if (!file.commit())
                    qWarning().noquote() << "Banner cache not written:" << path;
            }
        }
        QMetaObject::invokeMethod(
            this, [this, address, picture, refusal] { pictureRead(address, picture, refusal, false); },
            Qt::QueuedConnection);
    });
}

void AdBanner::setAllowed(bool allowed)
{
    m_allowed = allowed;
    setVisible(allowed);
    if (!allowed) {
        m_rotation.stop();
    } else if (!m_banners.isEmpty() && !m_rotation.isActive()) {
        m_rotation.start(kRotationMs);
    }
}

void AdBanner::closeBanner()
{
    m_allowed = false;
    hide();
    m_rotation.stop();
    m_reload.stop();
}

void AdBanner::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || m_index < 0 || m_index >= m_banners.size())
        return;
    const QString link = m_banners.at(m_index).link;
    if (isWebAddress(link))
        QDesktopServices::openUrl(QUrl(link));
    else
        emit actionTriggered(link);
}

void AdBanner::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The list again in the new language, outside this event's handling.
    if (event->type() == QEvent::LanguageChange && m_started)
        m_reload.start(0);
}
