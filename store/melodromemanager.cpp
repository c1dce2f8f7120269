#include "melodromemanager.h"

#include "downloadmngr.h"
#include "prompter.h"
#include "storeendpoints.h"
#include "user.h"
#include "webcom.h"

#include "SongRW.h"
#include "fileCopyThread.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <memory>

namespace {

// Suffix by format text, so that a container is never saved as ".mid".
QString suffixFor(const QString &format)
{
    const QString f = format.trimmed().toUpper();
    for (const char *kind : {"MP3", "MF3", "MF4", "MF5", "KAR"})
        if (f == QLatin1String(kind))
            return QLatin1Char('.') + f.toLower();
    return QStringLiteral(".mid");
}

// Artist, " - " and title made safe as one file name, with the mark and the
// format's suffix after it, within the 255 bytes a name holds on the usual
// file systems.
QString fileNameWithin(const s_MdResInfo &info, const QString &mark)
{
    QString base = info.artist + QStringLiteral(" - ") + info.title;
    base.replace(QLatin1Char('/'), QLatin1Char('-'));
    base.replace(QLatin1Char('"'), QLatin1Char('\''));
    for (QChar &c : base)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('-');
    const QString tail = mark + suffixFor(info.format);
    while (!base.isEmpty() && base.toUtf8().size() + tail.toUtf8().size() > 255) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
    }
    return base + tail;
}

// First child element of `e` when it carries `tag`; a null element otherwise.
QDomElement firstChildNamed(const QDomElement &e, const char *tag)
{
    const QDomElement child = e.firstChildElement();
    return child.tagName() == QLatin1String(tag) ? child : QDomElement();
}

} // namespace

MelodromeManager::MelodromeManager(QObject *parent, User *user, DatabaseHelper *db)
    : QObject(parent), m_client(new WebCom(nullptr)), m_versionClient(new WebCom(nullptr)), m_user(user), m_db(db)
{
    qRegisterMetaType<s_MdResInfo>("MdResInfo");
    // Each answer is one record, read on the window's thread.
    m_client->setReplyLimit(ReplyWatch::kMaxRecordBytes);
    m_versionClient->setReplyLimit(ReplyWatch::kMaxRecordBytes);
    m_libraryFolder = db ? db->getLibraryFolder()
                         : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                               + QStringLiteral("/VelmarPC/");
}

MelodromeManager::~MelodromeManager()
{
    delete m_client;
    delete m_versionClient;
}

void MelodromeManager::setTimeouts(const NetTimeouts &requests, const NetTimeouts &downloads)
{
    m_client->setTimeouts(requests);
    m_versionClient->setTimeouts(requests);
    m_requestLimits = requests;
    m_downloadLimits = downloads;
}

bool MelodromeManager::checkServiceStatus()
{
    if (m_client->isBusy())
        return false;
    const bool sent = m_client->startNetRequest(
        StoreEndpoints::storeUrl(QStringLiteral("/service/service_status.php")), QByteArray(),
        [this](const QByteArray &body) { parseServiceStatus(body); }, QStringLiteral("POST"));
    if (sent)
        connect(m_client, &WebCom::ended, this, [this](bool read) {
            // No readable answer: the store counts as down.
            if (!read)
                m_online = false;
            emit serviceStatusKnown(m_online);
        }, Qt::SingleShotConnection);
    return sent;
}

void MelodromeManager::parseServiceStatus(const QByteArray &body)
{
    QDomDocument doc;
    doc.setContent(body);
    const QDomElement root = doc.documentElement();
    qDebug().noquote() << "cbNetReplyData tagName :" << root.tagName();
    const QDomElement status = root.tagName() == QLatin1String("melodrome_message")
                                   ? firstChildNamed(root, "service_status")
                                   : QDomElement();
    m_online = !status.isNull() && status.text() == QLatin1String("online");
}

bool MelodromeManager::checkUpdateServer(const QString &target)
{
    if (m_versionClient->isBusy())
        return false;
    QUrl url = StoreEndpoints::checkUrl(QStringLiteral("/version_checker/check_version_velmarpc.php"));
    url.setQuery(QStringLiteral("target=") + QString::fromLatin1(QUrl::toPercentEncoding(target)));
    const bool sent = m_versionClient->startNetRequest(
        url, QByteArray(), [this](const QByteArray &body) { parseVersion(body); }, QStringLiteral("GET"));
    if (sent)
        connect(m_versionClient, &WebCom::ended, this, &MelodromeManager::versionChecked,
                Qt::SingleShotConnection);
    return sent;
}

void MelodromeManager::parseVersion(const QByteArray &body)
{
    QDomDocument doc;
    doc.setContent(body);
    const QDomElement root = doc.documentElement();
    if (root.tagName() != QLatin1String("melodrome_message"))
        return;
    const QDomElement info = firstChildNamed(root, "velmarpc");
    if (info.isNull())
        return;
    // By position, each used only under its own tag.
    QDomElement e = info.firstChildElement();
    if (e.tagName() == QLatin1String("sw_version"))
        m_swVersion = e.text();
    qDebug().noquote() << "swVersion :" << m_swVersion;
    e = e.nextSiblingElement();
    if (e.tagName() == QLatin1String("url_update"))
        m_urlUpdate = e.text();
    e = e.nextSiblingElement();
    if (e.tagName() == QLatin1String("size")) {
        bool ok = false;
        const int size = e.text().toInt(&ok);
        m_size = ok ? size : 0;
    }
}

QString MelodromeManager::songFileName(const s_MdResInfo &info)
{
    return fileNameWithin(info, QString());
}

QString MelodromeManager::markedSongFileName(const s_MdResInfo &info)
{
    const QByteArray key = QByteArray::number(info.productId);
    return fileNameWithin(info, QLatin1Char('~')
                                    + QString::fromLatin1(
                                        QCryptographicHash::hash(key, QCryptographicHash::Md5).toHex().left(8)));
}

QString MelodromeManager::songFileName(const SongInfo &song)
{
    s_MdResInfo info;
    info.artist = song.artist;
    info.title = song.title;
    info.format = song.format;
    return songFileName(info);
}

bool MelodromeManager::lookUpAddress(s_MdResInfo &info)
{
    const QString productId = QString::number(info.productId);
    const QString songId = m_db ? m_db->getSongIdWithProductId(productId) : QString();
    const QByteArray form = "lang=2&id_product=" + QUrl::toPercentEncoding(productId)
                            + "&id_song=" + QUrl::toPercentEncoding(songId);
    // A client of its own: the manager's may be asking for the status.
    WebCom client(nullptr);
    client.setTimeouts(m_requestLimits);
    client.setReplyLimit(ReplyWatch::kMaxRecordBytes);
    QPointer<MelodromeManager> self(this);
    SongInfo details;
    const bool read = client.startAndWaitNetRequest(
        StoreEndpoints::storeUrl(QStringLiteral("/service/song_info.php")), form,
        [&info, &details](const QByteArray &body) {
            QXmlStreamReader xml(body);
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement)
                    continue;
                const QStringView name = xml.name();
                if (name == QLatin1String("url") && info.url.isEmpty())
                    info.url = xml.readElementText().trimmed();
                else if (name == QLatin1String("size") && info.size <= 0)
                    info.size = xml.readElementText().trimmed().toInt();
                else if (name == QLatin1String("key"))
                    details.keySign = xml.readElementText().trimmed();
                else if (name == QLatin1String("genre"))
                    details.genre = xml.readElementText().trimmed();
                else if (name == QLatin1String("authors"))
                    details.author = xml.readElementText().trimmed();
            }
        },
        QStringLiteral("POST"));
    if (self && !read) {
        m_failure = client.failure();
        m_connectionFailed = client.connectionFailed();
    }
    if (self)
        m_details = details;
    return self;
}

void MelodromeManager::finishFailed()
{
    emit downloadDone();
    emit songCanBePlayed(SongInfo());
}

bool MelodromeManager::downloadSubscriptSong(s_MdResInfo info, const QObject *receiver,
                                             SongProvenience provenience)
{
    Q_UNUSED(receiver);
    m_failure = {};
    m_details = SongInfo();
    m_connectionFailed = false;
    if (!m_user || !m_user->isUserLogged()) {
        Prompter::warning(tr("Not logged in"), tr("You're not logged in, please login then retry"));
        return false;
    }
    // Downloads nested in one another's waits could only end in reverse order.
    if (m_downloading) {
        Prompter::warning(tr("Download in progress"),
                          tr("Another song is being downloaded, please retry when it has finished"));
        return false;
    }
    m_downloading = true;
    QPointer<MelodromeManager> self(this);

    if ((info.url.isEmpty() || info.size <= 0) && !lookUpAddress(info))
        return false;
    if (info.url.isEmpty() || info.size <= 0) {
        qWarning() << "DOWNLOAD ERROR";
        if (m_failure.isEmpty())
            m_failure = Phrase("MelodromeManager", QT_TR_NOOP("the store gave no address for the song"));
        m_downloading = false;
        emit downloadEnded(info.productId, false);
        finishFailed();
        return false;
    }

    const QString fullPath = downloadPath(info);
    const QString fileName = QFileInfo(fullPath).fileName();
    // A new file that the library does not keep goes again.
    const bool replaced = QFileInfo(fullPath).exists() || QFileInfo(fullPath).isSymLink();
    bool ended = false;
    bool outcome = false;
    {
        DownloadMngr download;
        download.setTimeouts(m_downloadLimits);
        download.m_url = info.url;
        download.m_destFolder = m_libraryFolder;
        download.m_fileName = fileName;
        download.m_fileSize = quint32(info.size);
        // The song is told finished when its file has arrived, even while a
        // wait started meanwhile (a slow request elsewhere) holds this one.
        connect(&download, &DownloadMngr::ended, this, [&](int result) {
            ended = true;
            m_failure = download.failure();
            m_connectionFailed = download.connectionFailed();
            outcome = finishDownload(result, info, provenience, fullPath, replaced);
        });
        const int result = download.startDownloadSync();
        if (!self)
            return false;
        if (!ended) {
            m_failure = download.failure();
            m_connectionFailed = download.connectionFailed();
            outcome = finishDownload(result, info, provenience, fullPath, replaced);
        }
    }
    return outcome;
}

QString MelodromeManager::downloadPath(const s_MdResInfo &info) const
{
    const auto inFolder = [this](const QString &name) {
        return QDir::cleanPath(m_libraryFolder + QLatin1Char('/') + name);
    };
    const QString named = inFolder(songFileName(info));
    if (!m_db || m_db->storeSongFile(info.productId) == named)
        return named;
    const QFileInfo there(named);
    if (!there.exists() && !there.isSymLink() && !m_db->storePathTaken(named, info.productId))
        return named;
    return inFolder(markedSongFileName(info));
}

bool MelodromeManager::finishDownload(int result, const s_MdResInfo &info, SongProvenience provenience,
                                      const QString &fullPath, bool replaced)
{
    m_downloading = false;
    if (result != DownloadMngr::Complete) {
        emit downloadEnded(info.productId, false);
        finishFailed();
        return false;
    }

    // Length, tempo, key and format measured as an imported copy's are.
    SongInfo measured;
    std::unique_ptr<SongRW> reader;
    if (fileCopyThread::readSongInfo(fullPath, measured))
        reader.reset(SongRW::createFromFile(fullPath, false));
    if (!reader) {
        // Not a song: kept out of the song folder, or the next rebuild would
        // try to import it.
        qWarning().noquote() << "Downloaded file is no readable song:" << fullPath;
        m_failure = Phrase("MelodromeManager", QT_TR_NOOP("the file that arrived is no song the program can read"));
        QFile::remove(fullPath);
        if (m_db)
            m_db->updateDownloadStatus(info.productId, StoreDownloadFailed);
        emit downloadEnded(info.productId, true);
        emit downloadDone();
        return true;
    }
    SongInfoRW rw;
    reader->getSongInfo(rw);
    reader.reset();
    SongInfo song(rw);
    song.length = measured.length;
    song.bpm = measured.bpm;
    song.keySign = measured.keySign;
    song.format = measured.format;
    const auto missing = [](const QString &text) {
        return text.trimmed().isEmpty() || text == QLatin1String("<UNKNOWN>");
    };
    const SongInfo listed = m_db ? m_db->storeRecordOfProduct(info.productId, provenience) : SongInfo();
    // The song is listed under the title the store sells it by (a file's
    // track name is often a working title); a file without its own artist
    // under the store's.
    if (!missing(info.title))
        song.title = info.title;
    else if (!missing(listed.title))
        song.title = listed.title;
    if (missing(song.artist))
        song.artist = info.artist;
    // So is one without a key, genre or author: the list it was downloaded
    // from says what the store sent, the song's details what a list lacks.
    const auto fill = [&](QString &own, const QString &fromList, const QString &fromDetails) {
        if (!missing(fromList))
            own = fromList;
        else if (!missing(fromDetails))
            own = fromDetails;
    };
    if (missing(song.keySign) || song.keySign == QLatin1String("- - -"))
        fill(song.keySign, listed.keySign, m_details.keySign);
    if (missing(song.genre))
        fill(song.genre, listed.genre, m_details.genre);
    if (missing(song.author))
        fill(song.author, listed.author, m_details.author);
    song.isFromSub = 1;
    song.innerPath = fullPath;
    song.ProductId = info.productId;
    if (m_db) {
        // The library keeps one row per path, so a song downloaded again
        // is not listed twice.
        if (!m_db->checkSong(song, fullPath)) {
            qWarning().noquote() << "Downloaded song not registered:" << fullPath;
            m_failure = m_db->lastRefusal() == DatabaseHelper::Refusal::Busy
                            ? Phrase("MelodromeManager",
                                     QT_TR_NOOP("the library is in use by another program, so the song was not kept"))
                            : Phrase("MelodromeManager", QT_TR_NOOP("the library file did not keep the song"));
            // Nothing of it stays that the library does not know of.
            if (!replaced)
                QFile::remove(fullPath);
            emit downloadEnded(info.productId, false);
            finishFailed();
            return false;
        }
        if (!m_db->keepStoreSong(info.productId, fullPath))
            qWarning().noquote() << "The store's key of a downloaded song not kept:" << fullPath;
        m_db->updateDownloadStatus(info.productId, StoreDownloaded);
    }
    emit downloadEnded(info.productId, true);
    emit downloadDone();
    emit songCanBePlayed(song);
    return true;
}
