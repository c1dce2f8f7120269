// The window's own store work: the news list fetched once per run, the
// version check with the program update, and the sound-bank check.
//
// This platform has no installer: an update is unpacked next to its archive
// and the user is told where it is. An archive is unpacked only when every
// entry stays inside the folder it is unpacked into.
#include "mainwindow.h"

#include "DatabaseHelper.h"
#include "KaraokeTextWidget.h"
#include "accountview.h"
#include "adbanner.h"
#include "chordsView.h"
#include "constants.h"
#include "downloadmngr.h"
#include "libraryview.h"
#include "melodromemanager.h"
#include "prompter.h"
#include "replywatch.h"
#include "settingsview.h"
#include "soundfontmanager.h"
#include "storeanswer.h"
#include "storeendpoints.h"
#include "storelisting.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <quazip/JlCompress.h>
#include <quazip/quazip.h>
#include <quazip/quazipfileinfo.h>

#include <memory>

namespace {

// An update is a program of some tens of megabytes; more is not unpacked.
constexpr quint64 kMaxUnpackedBytes = quint64(1) << 30;

// True when no entry of the archive leaves `folder`: no absolute path, no
// "..", no link, and the whole fits the bound above. Read before anything is
// written.
bool entriesStayInside(const QString &archive, const QString &folder)
{
    QuaZip zip(archive);
    if (!zip.open(QuaZip::mdUnzip))
        return false;
    const QString root = QDir(folder).absolutePath() + QLatin1Char('/');
    bool any = false;
    quint64 total = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        QuaZipFileInfo64 entry;
        if (!zip.getCurrentFileInfo(&entry))
            return false;
        const QString name = entry.name;
        const QString target = QDir::cleanPath(root + name);
        if (entry.isSymbolicLink() || name.isEmpty() || QDir::isAbsolutePath(name)
            || name.contains(QLatin1Char('\\')) || name.split(QLatin1Char('/')).contains(QStringLiteral(".."))
            || !target.startsWith(root)) {
            qWarning().noquote() << "Update refused, an entry outside its folder:" << name;
            return false;
        }
        total += entry.uncompressedSize;
        if (total > kMaxUnpackedBytes) {
            qWarning().noquote() << "Update refused, too large:" << archive;
            return false;
        }
        any = true;
    }
    return any && zip.getZipError() == UNZ_OK;
}

// The bank a synthesizer can load: a RIFF file of kind "sfbk".
bool soundBankReadable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.endsWith("sfbk");
}

} // namespace

// ---- news

void MainWindow::refreshMDNews()
{
    // A newer refresh ends the work of the one before: its request, or the
    // writing of its list, which then never takes the place of the news.
    m_newsSettled = false;
    if (QNetworkReply *older = m_newsReply) {
        m_newsReply = nullptr;
        older->abort();
    }
    if (StoreListing *older = m_newsListing) {
        m_newsListing = nullptr;
        older->stop();
    }
    auto *manager = new QNetworkAccessManager(this);
    QNetworkRequest request(StoreEndpoints::storeUrl(QStringLiteral("/service/songlist_news.php")));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    ReplyWatch::verifyRedirects(request);
    QNetworkReply *reply = manager->post(request, QByteArrayLiteral("lang=2"));
    m_newsReply = reply;
    new ReplyWatch(reply, NetTimeouts::forRequests(), "News");
    connect(manager, &QNetworkAccessManager::finished, this, &MainWindow::onfinish);
    connect(manager, &QNetworkAccessManager::finished, manager, &QObject::deleteLater);
}

void MainWindow::onfinish(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != m_newsReply)
        return;
    m_newsReply = nullptr;
    // A reply cut off (too large, out of time, sent elsewhere) is closed:
    // nothing of it is read.
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    // Without a whole answer the list of the last start stays as it was, and
    // the news page says why.
    const ReplyWatch *watch = reply->findChild<ReplyWatch *>();
    const QString failure = watch ? watch->failure(body.size()) : QStringLiteral("no watch");
    if (!failure.isEmpty() || !db) {
        showNewsFailure(failure, watch ? watch->reason(body.size()) : Phrase::verbatim(failure),
                        watch && watch->connectionFailed(body.size()));
        return;
    }
    if (!db->startNewsStaging()) {
        m_newsSettled = true;
        qWarning() << "News not written";
        return;
    }
    // Read on a thread of its own and written a slice at a time (a list of
    // tens of thousands of songs takes a while); the list takes the place
    // of the news only once it is all in.
    auto *work = new StoreListing(StoreListing::News, body, reply->rawHeader("Content-Type"),
                                  QSqlDatabase::database(), DatabaseHelper::newsStaging, {}, this);
    m_newsListing = work;
    connect(work, &StoreListing::ended, this, [this, work](bool complete) {
        work->deleteLater();
        if (m_newsListing != work)
            return;
        m_newsListing = nullptr;
        storeNews(complete, work->unreadable(), work->md5());
    });
    work->start();
}

void MainWindow::showNewsFailure(const QString &logged, const Phrase &told, bool connection)
{
    m_newsSettled = true;
    qWarning().noquote() << "News not refreshed:" << logged;
    m_library->setNewsFailure(
        (connection ? Phrase("MainWindow", QT_TR_NOOP("The news of the week could not be fetched: %1.\n"
                                                      "Check the internet connection; the news are "
                                                      "fetched again at the next start."))
                    : Phrase("MainWindow", QT_TR_NOOP("The news of the week could not be fetched: %1.\n"
                                                      "The news are fetched again at the next start.")))
            .arg(told));
}

void MainWindow::storeNews(bool complete, const Phrase &unreadable, const QString &md5)
{
    m_newsSettled = true;
    if (!unreadable.isEmpty()) {
        showNewsFailure(unreadable.text(), unreadable);
        return;
    }
    if (!complete || !db->swapInNews()) {
        qWarning() << "News not written";
        return;
    }
    m_library->setNewsFailure(Phrase());
    if (md5 != getNewsMD5FromCache()) {
        m_library->setHasUnseenNews(true);
        saveNewsMD5(md5);
        m_library->refreshPlaylistsView();
    }
}

void MainWindow::saveNewsMD5(QString md5)
{
    appSettings->setValue(QStringLiteral("News/MD5"), md5);
    appSettings->setValue(QStringLiteral("News/Unseen"), m_library->getHasUnseenNews());
}

QString MainWindow::getNewsMD5FromCache() const
{
    return appSettings->value(QStringLiteral("News/MD5"), QString()).toString();
}

// ---- program update

bool MainWindow::checkUpdateSwVersion(QString current, QString candidate)
{
    const QStringList now = current.split(QLatin1Char('.'));
    const QStringList next = candidate.split(QLatin1Char('.'));
    // Missing parts count 0 on both sides, so "2.4.10.0" is no newer than "2.4.10".
    for (int i = 0; i < qMax(now.size(), next.size()); ++i) {
        const int a = i < next.size() ? next.at(i).toInt() : 0;
        const int b = i < now.size() ? now.at(i).toInt() : 0;
        if (a != b)
            return a > b;
    }
    return false;
}

QString MainWindow::updateFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/Updates/");
}

void MainWindow::checkVersion()
{
    // One question and one progress at a time: a sound bank taken at
    // start-up arrives before an update is offered.
    if (m_soundfonts->isBusy()) {
        connect(m_soundfonts, &SoundfontManager::downloadFinished, this, &MainWindow::checkVersion,
                Qt::SingleShotConnection);
        return;
    }
    // The answer comes in the background: a slow version host holds nothing
    // else. A check already under way goes on to its own end.
    if (m_store->checkUpdateServer(m_osTag))
        connect(m_store, &MelodromeManager::versionChecked, this, &MainWindow::onVersionChecked,
                Qt::SingleShotConnection);
}

void MainWindow::onVersionChecked()
{
    const QString server = m_store->lastVersion();
    // The version names the archive file: nothing but digits and dots.
    static const QRegularExpression plain(QStringLiteral("^\\d+(\\.\\d+)*$"));
    // Whatever becomes of the update (here it never replaces the running
    // program), the synthesizer still needs its sound bank: it is checked
    // once the update is settled.
    if (plain.match(server).hasMatch() && checkUpdateSwVersion(QLatin1String(kProductVersion), server)
        && offerUpdate(server))
        return;
    checkSoundBank();
}

bool MainWindow::offerUpdate(const QString &server)
{
    qDebug() << "Update available" << kProductVersion << ">" << server;
    if (Prompter::question(tr("Update available"), tr("An update is available, do you want to download it?"),
                           QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes) {
        qDebug() << "Update rejected by user";
        return false;
    }
    return downloadUpdate(server, unsigned(qMax(0, m_store->lastVersionSize())), updateFolder(),
                          m_store->lastVersionUrl());
}

bool MainWindow::downloadUpdate(QString version, unsigned int size, QString folder, QString url)
{
    if (m_updateDownload)
        return false;
    QDir dir(folder);
    for (const QFileInfo &old : dir.entryInfoList({QStringLiteral("VelmarPC-*.*")}, QDir::Files))
        QFile::remove(old.filePath());
    if (!dir.mkpath(QStringLiteral("."))) {
        qCritical() << "Cannot create AppDataFolder";
        return false;
    }
    m_updateProgress = new QProgressDialog(tr("Downloading the update"), tr("Cancel"), 0, 100, nullptr,
                                           Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                               | Qt::WindowCloseButtonHint);
    m_updateProgress->setModal(true);
    disconnect(m_updateProgress, &QProgressDialog::canceled, m_updateProgress, &QProgressDialog::cancel);
    connect(m_updateProgress, &QProgressDialog::canceled, this, &MainWindow::onDownloadCancelRequest);
    m_updateProgress->show();
    m_updateProgress->setFixedSize(m_updateProgress->size());

    m_updateDownload = new DownloadMngr;
    m_updateDownload->m_url = url;
    m_updateDownload->m_destFolder = folder;
    m_updateDownload->m_fileName = QStringLiteral("VelmarPC-%1-%2.zip").arg(m_osTag, version);
    m_updateDownload->m_fileSize = size;
    connect(m_updateDownload, &DownloadMngr::progressValChanged, this, &MainWindow::onDownloadProgress);
    connect(m_updateDownload, &DownloadMngr::ended, this, &MainWindow::onUpdateDownloaded);
    m_updateDownload->startDownload();
    return true;
}

void MainWindow::onUpdateDownloaded(int result)
{
    if (!m_updateDownload)
        return;
    const QString failure = m_updateDownload->failureText();
    const bool connection = m_updateDownload->connectionFailed();
    const QString archive = m_updateDownload->getDestFullPath();
    if (result == DownloadMngr::Cancelled || result == DownloadMngr::Failed) {
        qCritical() << "The update's download failed";
        QFile::remove(archive);
    }
    // Both may be inside a signal of their own (a cancel): they go after it.
    m_updateDownload->deleteLater();
    m_updateDownload = nullptr;
    m_updateProgress->hide();
    m_updateProgress->deleteLater();
    m_updateProgress = nullptr;
    // A cancel is the user's own doing; anything else is told.
    if (result == DownloadMngr::Failed)
        Prompter::warning(tr("Update available"),
                          (connection ? tr("The update could not be downloaded: %1.\nCheck the internet "
                                           "connection; the update is offered again at the next start of the "
                                           "program.")
                                      : tr("The update could not be downloaded: %1.\nThe update is offered "
                                           "again at the next start of the program."))
                              .arg(failure));
    if (result == DownloadMngr::Complete && QFileInfo::exists(archive)) {
        qDebug() << "Update available on disk";
        updateSoftware(QFileInfo(archive));
    }
    checkSoundBank();
}

void MainWindow::onDownloadProgress(qint64 received, qint64 total)
{
    if (!m_updateProgress)
        return;
    m_updateProgress->setMaximum(int(qMin<qint64>(total, INT_MAX)));
    m_updateProgress->setValue(int(qMin<qint64>(received, INT_MAX)));
}

void MainWindow::onDownloadCancelRequest()
{
    // Its end removes what arrived.
    if (m_updateDownload)
        m_updateDownload->onUserAbort();
}

void MainWindow::updateSoftware(QFileInfo archive)
{
    // Unpacked beside the archive under a temporary name that takes the
    // archive's name only when every entry is out.
    QTemporaryDir unpack(archive.absolutePath() + QStringLiteral("/.unpack-XXXXXX"));
    const QStringList files = unpack.isValid() && entriesStayInside(archive.absoluteFilePath(), unpack.path())
                                  ? JlCompress::extractDir(archive.absoluteFilePath(), unpack.path())
                                  : QStringList();
    if (files.isEmpty()) {
        qWarning().noquote() << "Update not valid:" << archive.absoluteFilePath();
        QFile::remove(archive.absoluteFilePath());
        Prompter::warning(tr("Update available"), tr("The downloaded update is damaged and was not installed."));
        return;
    }
    const QString folder = archive.absolutePath() + QLatin1Char('/') + archive.completeBaseName();
    QDir(folder).removeRecursively();
    if (!QDir().rename(unpack.path(), folder))
        return;
    unpack.setAutoRemove(false);
    Prompter::information(tr("Update available"),
                          tr("The update has been downloaded to:\n%1\nClose the program and install it from there.")
                              .arg(QDir::toNativeSeparators(folder)));
}

// ---- sound bank

void MainWindow::offerSoundBank()
{
    const QString bank = m_settings->missingSoundBank();
    if (bank.isEmpty())
        return;
    m_soundBankOffered = true;
    if (Prompter::question(tr("Sound bank"),
                           tr("The sound bank of the software synthesizer is missing or cannot be read:\n%1\n"
                              "MIDI songs make no sound without it. Download it now?")
                               .arg(QDir::toNativeSeparators(bank)),
                           QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes)
        fetchSoundBank(false);
    else if (!soundBankReadable(bank))
        m_engine->enableVirtualExpander(false);
}

void MainWindow::fetchSoundBank(bool ask)
{
    if (m_soundfonts->downloadSoundfont(ask))
        connect(m_soundfonts, &SoundfontManager::downloadFinished, this, &MainWindow::onSoundBankFetched,
                Qt::SingleShotConnection);
}

void MainWindow::onSoundBankFetched(bool installed)
{
    if (installed)
        m_accountPopup->getUserInfo();
    else if (!soundBankReadable(m_soundfonts->soundfontFilePath()))
        m_engine->enableVirtualExpander(false);
}

void MainWindow::checkSoundBank()
{
    // Asked at start-up already: taken, the bank is the newest; refused, it
    // is not asked for again.
    if (m_soundBankOffered)
        return;
    if (!soundBankReadable(m_soundfonts->soundfontFilePath())) {
        fetchSoundBank(true);
        return;
    }
    // The version checker's answer comes in the background.
    if (m_soundfonts->getInfoFromServer())
        connect(m_soundfonts, &SoundfontManager::infoKnown, this, &MainWindow::offerNewerSoundBank,
                Qt::SingleShotConnection);
}

void MainWindow::offerNewerSoundBank()
{
    if (checkUpdateSwVersion(m_soundfonts->getCurrentVersion(), m_soundfonts->getLastVersion())
        && Prompter::question(tr("Attention"),
                              tr("An updated version of Timbra is available. Do you want to download it now?"),
                              QMessageBox::Yes | QMessageBox::No)
               == QMessageBox::Yes)
        m_soundfonts->downloadSoundfont(false);
}

void MainWindow::onSoundfontAvailable()
{
    m_karaoke->getAdBanner()->init(m_user);
    // The synthesizer may have been switched off for want of a bank.
    m_engine->enableVirtualExpander(true);
    if (appSettings->value(QStringLiteral("SoundCard/Name")).toString() != QLatin1String("Timbra MIDI Module"))
        appSettings->setValue(QStringLiteral("SoundCard/Name"), QStringLiteral("Timbra MIDI Module"));
    // Lists the outputs again itself; the audio device stays shown.
    m_settings->connectSoundCard();
}
