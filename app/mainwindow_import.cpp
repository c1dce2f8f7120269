// Songs brought in from outside: the Import action's file dialog, the
// library page's import request, files dropped on the window or on the
// library, and a rebuild of the library from the song folder. All end in
// importFiles, which hands the list to the copy thread behind the progress
// dialog; a file dropped on the karaoke area plays at once instead.
#include "mainwindow.h"

#include "DatabaseHelper.h"
#include "KaraokeTextWidget.h"
#include "chordsView.h"
#include "dialogcopyfiles.h"
#include "fileCopyThread.h"
#include "importcolumns.h"
#include "libraryview.h"
#include "prompter.h"
#include "StartedSong.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QDir>
#include <QDropEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QMessageBox>
#include <QMimeData>

namespace {

const char kModelRows[] = "application/x-qabstractitemmodeldatalist";
const char kViewDrag[] = "application/x-dnditemdata";

// The library page takes every drop itself and drops it: files let go over
// its song list are brought to the window instead.
class LibraryDrops : public QObject
{
public:
    explicit LibraryDrops(MainWindow *window) : QObject(window), window(window) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return event->type() == QEvent::Drop
               && window->dropFiles(static_cast<QDropEvent *>(event), static_cast<QWidget *>(watched));
    }

private:
    MainWindow *window;
};

// The import dialog's kind of a folder in the language shown: Qt's own
// catalogues lack it for some languages (Italian among them).
class ImportKinds : public QFileIconProvider
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    QString type(const QFileInfo &info) const override
    {
        return info.isDir() ? tr("Folder") : QFileIconProvider::type(info);
    }
};

QString lines(const QStringList &entries)
{
    QString text = QStringLiteral("\n\n");
    for (const QString &entry : entries)
        text += entry + QLatin1Char('\n');
    return text;
}

} // namespace

void MainWindow::setUpImport()
{
    m_copyDialog = new DialogCopyFiles(this);
    m_library->installEventFilter(new LibraryDrops(this));
    // The menu bar stays hidden on this platform: the window itself carries
    // the action, so its shortcut works.
    ui->actionImport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    addAction(ui->actionImport);
}

void MainWindow::importFiles(QList<QUrl> urls)
{
    if (urls.isEmpty())
        return;
    if (m_importing) {
        m_pendingImports.append(urls);
        return;
    }
    m_importing = true;
    importCount = 0;
    m_copyDialog->setTotalFiles(int(urls.size()));
    m_copyDialog->setThread(m_copyThread);
    m_copyDialog->open();
    m_copyThread->setFileList(urls);
    m_copyThread->start(QThread::LowPriority);
}

void MainWindow::onSongImported(SongInfo info, QString path)
{
    ++importCount;
    m_copyDialog->refreshCopyingLabel(int(importCount));
    m_copyDialog->setProgress(int(importCount));
    emit songImported(info, path);
}

void MainWindow::importingDone(ImportReport report)
{
    if (db)
        db->finalizeRebuild();
    m_copyDialog->close();
    m_importing = false;
    // What went wrong, each kind under its own heading, each file with why.
    QStringList notSongs, tooLarge, failed;
    const auto entry = [](const QString &path, const QString &why) {
        return QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(path), why);
    };
    for (const ImportReport::Refused &r : std::as_const(report.refused))
        (r.why.kind == SongRefusal::TooLarge ? tooLarge : notSongs) << entry(r.path, StartedSong::refusalText(r.why));
    for (const ImportReport::FailedCopy &f : std::as_const(report.failedCopies))
        failed << entry(f.path, f.cause);
    QStringList sections;
    if (!notSongs.isEmpty())
        sections << tr("These files cannot be copied because they do not seem to be song files:") + lines(notSongs);
    if (!tooLarge.isEmpty())
        sections << tr("These files are too large to be songs:") + lines(tooLarge);
    if (!failed.isEmpty())
        sections << tr("These songs could not be copied:") + lines(failed);
    if (!sections.isEmpty())
        Prompter::information(tr("Errored"), sections.join(QLatin1Char('\n')));
    if (!report.alreadyPresent.isEmpty())
        Prompter::information(tr("Duplicated Entries"),
                              tr("These songs cannot be copied because they're already present:")
                                  + lines(report.alreadyPresent));
    emit doneImporting();
    m_library->showImported();
    while (!m_importing && !m_pendingImports.isEmpty()) {
        const QList<QUrl> next = m_pendingImports.takeFirst();
        if (next.isEmpty())
            startRebuild();
        else
            importFiles(next);
    }
}

void MainWindow::openImportDialog()
{
    if (!m_importDialog) {
        m_importDialog = new QFileDialog(this, QString(), QDir::homePath());
        // Folders stay listed: without them nothing but the home folder could be reached.
        m_importDialog->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
        m_importDialog->setFileMode(QFileDialog::ExistingFiles);
        // Qt's own dialog, not the desktop's: it speaks the program's language.
        m_importDialog->setOption(QFileDialog::DontUseNativeDialog);
        // The names chosen stay readable: white on the style's light blue
        // stands out only 3.7:1.
        QPalette chosen = m_importDialog->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            chosen.setColor(group, QPalette::Highlight, QColor(0, 90, 160));
        m_importDialog->setPalette(chosen);
        static ImportKinds kinds;
        m_importDialog->setIconProvider(&kinds);
        ImportColumns::apply(m_importDialog);
        retranslateImport();
        // Qt's own dialog reports local files only by their paths.
        connect(m_importDialog, &QFileDialog::filesSelected, this, [this](const QStringList &files) {
            QList<QUrl> urls;
            for (const QString &file : files)
                urls << QUrl::fromLocalFile(file);
            importFiles(urls);
        });
    }
    m_importDialog->open();
}

// The import dialog is kept between imports: its texts follow the language.
void MainWindow::retranslateImport()
{
    if (!m_importDialog)
        return;
    m_importDialog->setWindowTitle(tr("Import"));
    const QStringList filters{
        tr("All songs files") + QStringLiteral(" (*.mp3 *.mid *.midi *.kar *.mf3 *.mf4 *.mf5)"),
        tr("MIDI files") + QStringLiteral(" (*.mid *.midi *.kar *.mf3 *.mf4 *.mf5)"),
        tr("MP3 files") + QStringLiteral(" (*.mp3)")};
    const qsizetype chosen = qMax<qsizetype>(0, m_importDialog->nameFilters().indexOf(m_importDialog->selectedNameFilter()));
    m_importDialog->setNameFilters(filters);
    m_importDialog->selectNameFilter(filters.value(chosen));
}

void MainWindow::importRequested(QList<QUrl> urls)
{
    if (urls.isEmpty())
        openImportDialog();
    else
        importFiles(urls);
}

void MainWindow::onRebuildDatabaseRequest()
{
    if (!db)
        return;
    // A rebuild empties the song tables: it must not start under an import
    // whose end would link the playlists before the songs are back.
    if (m_importing)
        m_pendingImports.append(QList<QUrl>());
    else
        startRebuild();
}

void MainWindow::startRebuild()
{
    db->prepareForRebuild();
    const QList<QUrl> files = db->songFolderFiles();
    if (!files.isEmpty()) {
        importFiles(files);
        return;
    }
    db->finalizeRebuild();
    emit doneImporting();
}

void MainWindow::changeFastRun(bool on)
{
    QMessageBox::information(this, tr("Fast Run"), tr("Fast run: %1").arg(on ? 1 : 0), QMessageBox::Ok);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    qDebug() << "Drag??";
    if (event->source() == this) {
        event->setDropAction(Qt::MoveAction);
        dragFromMainWindow = true;
    } else {
        event->acceptProposedAction();
    }
    event->accept();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    qDebug() << "Drop" << event->mimeData()->formats();
    if (event->mimeData()->hasFormat(QLatin1String(kViewDrag))) {
        if (event->source() == this) {
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            event->acceptProposedAction();
        }
        return;
    }
    if (!dropFiles(event, this))
        event->ignore();
}

bool MainWindow::dropFiles(QDropEvent *event, QWidget *area)
{
    const QMimeData *mime = event->mimeData();
    if (mime->hasFormat(QLatin1String(kModelRows)) || mime->hasFormat(QLatin1String(kViewDrag)))
        return false;
    event->acceptProposedAction();
    // The widget under the drop and its ancestors say what it does: the
    // library's song list imports, the karaoke area (its lyrics and the
    // buttons laid over them) plays the first file.
    enum { Nothing, Import, Play } use = Nothing;
    for (const QWidget *w = area->childAt(event->position().toPoint()); w && use == Nothing; w = w->parentWidget()) {
        if (m_library->isSongList(w))
            use = Import;
        else if (w == ui->screenWidget || qobject_cast<const KaraokeTextWidget *>(w))
            use = Play;
    }
    qDebug() << "MainWindow::dropFiles" << (use == Import ? "import" : use == Play ? "play" : "nothing");
    if (mime->urls().isEmpty() || use == Nothing)
        return true;
    dropEventOnDetachedWidgets(event, use == Play);
    return true;
}

void MainWindow::dropEventOnDetachedWidgets(QDropEvent *event, bool play)
{
    event->acceptProposedAction();
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    if (!play)
        importFiles(urls);
    else if (urls.first().isLocalFile())
        onStartSongPath(urls.first().toLocalFile(), -1);
}
