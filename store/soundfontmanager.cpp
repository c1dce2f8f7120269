#include "soundfontmanager.h"

#include "downloadmngr.h"
#include "prompter.h"
#include "storeendpoints.h"
#include "appsettings.h"
#include "webcom.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>

#include <cstdio>

SoundfontManager::SoundfontManager()
    : m_folder(QCoreApplication::applicationDirPath()), m_client(new WebCom(nullptr))
{
    connect(&m_dialog, &QDialog::rejected, this, &SoundfontManager::onDialogReject);
    m_client->setReplyLimit(ReplyWatch::kMaxRecordBytes);
}

SoundfontManager::~SoundfontManager()
{
    delete m_running;
    delete m_client;
}

void SoundfontManager::setTimeouts(const NetTimeouts &requests, const NetTimeouts &downloads)
{
    m_requestLimits = requests;
    m_downloadLimits = downloads;
    m_client->setTimeouts(requests);
}

void SoundfontManager::setSoundfontFilePath(const QString &path)
{
    const QFileInfo file(path);
    m_folder = file.absolutePath();
    m_fileName = file.fileName();
    m_tempName = m_fileName + QStringLiteral(".temp");
}

bool SoundfontManager::fileExist() const
{
    return QFile::exists(soundfontFilePath());
}

QString SoundfontManager::getCurrentVersion() const
{
    return programSettings().value(QStringLiteral("Soundfont/version"), QStringLiteral("0.0")).toString();
}

bool SoundfontManager::getInfoFromServer()
{
    if (m_client->isBusy())
        return false;
    if (m_size != 0) {
        QMetaObject::invokeMethod(this, &SoundfontManager::infoKnown, Qt::QueuedConnection);
        return true;
    }
    const bool sent = m_client->startNetRequest(
        StoreEndpoints::checkUrl(QStringLiteral("/version_checker/check_soundfont.php")), QByteArray(),
        [this](const QByteArray &body) {
            QDomDocument doc;
            doc.setContent(body);
            const QDomElement root = doc.documentElement();
            const QDomElement info = root.firstChildElement();
            if (root.tagName() != QLatin1String("melodrome_message")
                || info.tagName() != QLatin1String("soundfont"))
                return;
            m_infoRead = true;
            // By position, each used only under its own tag.
            QDomElement e = info.firstChildElement();
            if (e.tagName() == QLatin1String("version"))
                m_version = e.text();
            e = e.nextSiblingElement();
            if (e.tagName() == QLatin1String("url_update"))
                m_url = e.text().trimmed();
            e = e.nextSiblingElement();
            if (e.tagName() == QLatin1String("size")) {
                bool ok = false;
                const uint size = e.text().trimmed().toUInt(&ok);
                m_size = ok ? size : 0;
            }
            e = e.nextSiblingElement();
            if (e.tagName() == QLatin1String("hash"))
                m_hash = e.text();
        },
        QStringLiteral("GET"));
    if (sent)
        connect(m_client, &WebCom::ended, this, &SoundfontManager::infoKnown, Qt::SingleShotConnection);
    return sent;
}

bool SoundfontManager::downloadSoundfont(bool ask)
{
    if (m_busy)
        return false;
    m_busy = true;
    connect(this, &SoundfontManager::infoKnown, this, [this, ask] { startDownload(ask); },
            Qt::SingleShotConnection);
    // A request under way tells its end as well.
    if (!m_client->isBusy())
        getInfoFromServer();
    return true;
}

void SoundfontManager::startDownload(bool ask)
{
    const auto declined = [this] {
        m_busy = false;
        emit downloadFinished(false);
    };
    // Without a size or an address any short error page would pass for the
    // bank and replace the working one.
    if (m_size == 0 || m_url.isEmpty()) {
        qWarning() << "Sound bank: the version checker gave no address or size";
        Prompter::warning(tr("Attention"),
                          tr("Timbra cannot be downloaded now, please try again later"));
        declined();
        return;
    }
    // Only a yes starts the download: a question left unanswered (a signal
    // ending the program closes it) fetches nothing, and the bank is
    // offered again at the next start.
    if (ask
        && Prompter::question(tr("Attention"),
                              tr("Timbra needs to be downloaded. Do you want to proceed now?"),
                              QMessageBox::Yes | QMessageBox::No)
               != QMessageBox::Yes) {
        declined();
        return;
    }

    if (m_dialog.isHidden()) {
        m_dialog.setModal(true);
        m_dialog.show();
    }
    m_dialog.setMessage(tr("Downloading Timbra..."));
    m_dialog.setCancelMessage(tr("Are you sure you want to stop the Timbra download?"));
    m_dialog.onDownloadProgress(0, 0);

    QDir().mkpath(m_folder);
    QFile::remove(m_folder + QLatin1Char('/') + m_tempName);

    auto *download = new DownloadMngr(nullptr);
    m_running = download;
    download->setTimeouts(m_downloadLimits);
    download->m_url = m_url;
    download->m_fileSize = m_size;
    download->m_destFolder = m_folder;
    download->m_fileName = m_tempName;
    connect(download, &DownloadMngr::progressValChanged, &m_dialog,
            &SoundfontDialog::onDownloadProgress);
    connect(download, &DownloadMngr::ended, this, &SoundfontManager::onDownloadEnded);
    download->startDownload();
}

void SoundfontManager::onDownloadEnded(int result)
{
    DownloadMngr *download = m_running;
    if (!download)
        return;
    qDebug() << "exitstate:" << result;
    const QString tempPath = m_folder + QLatin1Char('/') + m_tempName;
    const QString finalPath = soundfontFilePath();

    bool outcome = false;
    QString failure = download->failureText();
    const bool connection = result == DownloadMngr::Failed && download->connectionFailed();
    if (result == DownloadMngr::Complete && !m_hash.trimmed().isEmpty()
        && m_hash.trimmed().compare(QString::fromLatin1(download->md5()), Qt::CaseInsensitive) != 0) {
        qWarning().noquote() << "Sound bank: MD5" << download->md5() << "where" << m_hash << "was announced";
        failure = tr("the file that arrived is not the one the server announced");
    } else if (result == DownloadMngr::Complete) {
        outcome = install(tempPath, finalPath, failure);
    }
    QFile::remove(tempPath);

    m_dialog.hide();
    m_running = nullptr;
    // Inside its own signal: it goes once the signal has been delivered.
    download->deleteLater();
    m_busy = false;
    QPointer<SoundfontManager> self(this);
    if (outcome) {
        emit soundfontAvailable();
    } else if (result != DownloadMngr::Cancelled) {
        // The connection is named only where it is at fault.
        const bool kept = QFile::exists(finalPath);
        const QString told =
            connection ? (kept ? tr("The new sound bank could not be installed: %1.\nThe previous sound "
                                    "bank stays in use. Check the internet connection and try again later.")
                               : tr("The sound bank could not be installed: %1.\nThe synthesizer stays "
                                    "silent without it. Check the internet connection and start the "
                                    "program again to retry."))
                       : (kept ? tr("The new sound bank could not be installed: %1.\nThe previous sound "
                                    "bank stays in use.")
                               : tr("The sound bank could not be installed: %1.\nThe synthesizer stays "
                                    "silent without it; start the program again to retry."));
        Prompter::warning(tr("Sound bank"), told.arg(failure));
    }
    if (self)
        emit downloadFinished(outcome);
}

bool SoundfontManager::install(const QString &tempPath, const QString &finalPath, QString &failure)
{
    QFile bank(tempPath);
    if (!bank.open(QIODevice::ReadOnly)) {
        failure = tr("the downloaded file cannot be read");
        return false;
    }
    // The downloader lets a few bytes either way pass; a bank must be whole.
    if (bank.size() < qint64(m_size) || bank.read(4) != "RIFF") {
        qWarning().noquote() << "Sound bank: the download is short or no sound bank:" << tempPath;
        failure = bank.size() < qint64(m_size)
                      ? tr("%1 of %2 bytes arrived").arg(bank.size()).arg(m_size)
                      : tr("the file is no sound bank");
        return false;
    }
    bank.close();
    // One rename over the old bank: at no moment is there no bank.
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(finalPath).constData())
        != 0) {
        qWarning().noquote() << "Sound bank: cannot replace" << finalPath;
        failure = tr("the file cannot be written in %1").arg(QDir::toNativeSeparators(m_folder));
        return false;
    }
    QSettings &settings = programSettings();
    settings.setValue(QStringLiteral("Soundfont/version"), m_version);
    settings.sync();
    return true;
}

void SoundfontManager::onDialogReject()
{
    if (m_running)
        m_running->onUserAbort();
}
