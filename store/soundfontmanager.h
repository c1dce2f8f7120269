// The software synthesizer's sound bank ("Basic.sfc"): where it lives, which
// version is installed, which one the version checker offers, and its
// download behind a modal progress dialog the user can cancel. The version
// checker's answer and the download come in the background: each tells its
// end by a signal and holds no other wait.
//
// The bank arrives as "Basic.sfc.temp" beside the old one and replaces it in
// one rename only when it is whole: at least the announced size, a RIFF
// file, and the announced MD5 when one was announced. Until then, and after any failure or cancel, the old bank stays in
// place and the installed version is unchanged, and the user is told what
// failed. soundfontAvailable() tells the owner to open the synthesizer again
// on the new bank.
#pragma once

#include "replywatch.h"
#include "soundfontdialog.h"

#include <QObject>
#include <QString>

class DownloadMngr;
class WebCom;

class SoundfontManager : public QObject
{
    Q_OBJECT

public:
    SoundfontManager();
    ~SoundfontManager() override;

    void setSoundfontFilePath(const QString &path);
    QString soundfontFilePath() const { return m_folder + QLatin1Char('/') + m_fileName; }
    bool fileExist() const;
    // "Soundfont/version", "0.0" when missing.
    QString getCurrentVersion() const;
    // The server's version as its last reply named it (empty when it named
    // none); "0.0" while no reply has been read.
    QString getLastVersion() const { return m_infoRead ? m_version : QStringLiteral("0.0"); }
    // Asks the version checker, once per run until a reply gives a size;
    // infoKnown() follows (without a request when the size is known
    // already). False when a request is under way.
    bool getInfoFromServer();
    // Asks for the server's information when needed, then (after the user's
    // yes when `ask`) downloads the bank; downloadFinished() tells whether
    // a new bank is in place, also when the user declined or it could not
    // start. False, with no signal, when a download is already under way.
    bool downloadSoundfont(bool ask);
    // A download asked for has not ended yet.
    bool isBusy() const { return m_busy; }

    SoundfontDialog *dialog() { return &m_dialog; }
    void setTimeouts(const NetTimeouts &requests, const NetTimeouts &downloads);

signals:
    void soundfontAvailable();
    void infoKnown();
    void downloadFinished(bool installed);

public slots:
    void onDialogReject();

private:
    void startDownload(bool ask);
    void onDownloadEnded(int result);
    // Why it failed goes into `failure`, in words for the user.
    bool install(const QString &tempPath, const QString &finalPath, QString &failure);

    QString m_fileName = QStringLiteral("Basic.sfc");
    QString m_tempName = QStringLiteral("Basic.sfc.temp");
    QString m_folder;
    QString m_version;
    QString m_url;
    QString m_hash;
    quint32 m_size = 0;
    bool m_infoRead = false;
    WebCom *m_client;
    // From the request for the server's information to the download's end.
    bool m_busy = false;
    DownloadMngr *m_running = nullptr;
    SoundfontDialog m_dialog;
    NetTimeouts m_requestLimits = NetTimeouts::forRequests();
    NetTimeouts m_downloadLimits = NetTimeouts::forDownloads();
};
