#include "listitem.h"
#include "ui_listitem.h"
#include "ui_listitemdownloading.h"
#include "ui_listitemstore.h"

#include <QDebug>
#include <QLabel>
#include <QPainter>

listItem::listItem(QWidget *parent, QListWidgetItem *container, int row, Type type, int fontSize)
    : QWidget(parent), ui(new Ui::listItem), container(container), row(row), type(type)
{
    ui->setupUi(this);
    connect(ui->deleteButton, &QPushButton::clicked, this, &listItem::requestDelete);
    connect(ui->infoButton, &QPushButton::clicked, this, &listItem::addOrRename);
    ui->infoButton->hide();
    ui->deleteButton->hide();
    const QString size = QStringLiteral("font-size: ") + QString::number(fontSize) +
                         QStringLiteral("px");
    for (QLabel *label : findChildren<QLabel *>())
        label->setStyleSheet(size);
    // The row takes the list's width whatever its title: a long one is
    // shortened, so the icons on the right stay in sight.
    ui->titleLabel->setSizePolicy(QSizePolicy::Ignored, ui->titleLabel->sizePolicy().verticalPolicy());
    ui->hboxLayout->setStretchFactor(ui->titleLabel, 1);
    ui->titleLabel->installEventFilter(this);
    // The icons' frame takes room only where it shows icons; the row keeps
    // its height.
    ui->horizontalFrame->hide();
    ui->titleLabel->setMinimumHeight(38);
}

listItem::~listItem()
{
    delete ui;
}

void listItem::setSong(const SongInfo &value)
{
    song = value;
    if (song.isFromSub != 0)
        setLeftIcon(IconNews);
}

void listItem::setArtist(const Artist &value)
{
    artist = value;
    setTitleAndFormatLabel(artist.getName(), QString());
}

void listItem::setGenre(const Genres &value)
{
    genre = value;
    setTitleAndFormatLabel(genre.getName(), QString());
}

void listItem::setPlaylist(const Playlist &value)
{
    playlist = value;
    const QString name = playlist.getName();
    QString shown = name;
    int kind = IconPlaylist;
    if (name == QLatin1String("Recenti")) {
        shown = tr("Recent");
        kind = IconRecent;
    } else if (name == QLatin1String("All Songs")) {
        shown = tr("All Songs");
        kind = IconNote;
    } else if (name == QLatin1String("Downloaded")) {
        shown = tr("Downloaded");
        kind = IconDownloaded;
    }
    setLeftIcon(kind);
    setTitleLabel(shown);
}

void listItem::setLeftIcon(int kind)
{
    leftIconKind = kind;
    static const char *const images[] = {
        ":/icon2x/icon-notes-gray.png",   ":/icon2x/icon-playlist-gray.png",
        ":/icon2x/Melodrome_logo.png",    ":/icon2x/Melodrome_logo.png",
        ":/icon2x/icon-recent-gray.png", ":/icon2x/icon-download-gray.png"};
    if (kind < 0 || kind > IconDownloaded)
        return;
    ui->leftIcon->show();
    QString look = QStringLiteral("border-image: url(") + QLatin1String(images[kind]) + QStringLiteral(");");
    // The yellow logo would vanish on the yellow highlight: a selected row
    // shows it on the header's dark grey.
    if (highlighted && (kind == IconNews || kind == IconNewsUnseen))
        look += QStringLiteral("background-color: rgb(66,66,66); border-radius: 4px;");
    ui->leftIcon->setStyleSheet(look);
    if (kind == IconNews || kind == IconNewsUnseen) {
        ui->leftIcon->setMinimumSize(131, 32);
        ui->titleLabel->setMinimumSize(29, 38);
        showTitle(tr("news"));
    } else {
        // Square, or the title's stretch squeezes the picture.
        ui->leftIcon->setFixedSize(38, 38);
    }
    update();
}

void listItem::setHighlighted(bool on)
{
    if (on == highlighted)
        return;
    highlighted = on;
    if (leftIconKind >= 0)
        setLeftIcon(leftIconKind);
}

void listItem::clearLabels(bool hide)
{
    for (QLabel *label : findChildren<QLabel *>()) {
        label->clear();
        if (hide)
            label->hide();
    }
}

void listItem::setTitleLabel(const QString &text)
{
    clearLabels(true);
    showTitle(text);
    ui->titleLabel->show();
}

void listItem::setTitleAndFormatLabel(const QString &title, const QString &)
{
    clearLabels(false);
    showTitle(title);
}

QString listItem::titleText() const
{
    return fullTitle;
}

void listItem::showTitle(const QString &text)
{
    fullTitle = text;
    fitTitle();
}

void listItem::fitTitle()
{
    QLabel *label = ui->titleLabel;
    const QString shown = label->fontMetrics().elidedText(fullTitle, Qt::ElideRight, label->contentsRect().width());
    label->setText(shown);
    label->setToolTip(shown == fullTitle ? QString() : fullTitle);
}

bool listItem::eventFilter(QObject *watched, QEvent *event)
{
    // The label's width comes from the row, its font from the style sheet.
    if (watched == ui->titleLabel && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange))
        fitTitle();
    return QWidget::eventFilter(watched, event);
}

void listItem::showRightIcons()
{
    showRightIcons(true, true);
}

void listItem::showRightIcons(bool info, bool remove)
{
    ui->horizontalFrame->setVisible(info || remove);
    ui->infoButton->setVisible(info);
    ui->deleteButton->setVisible(remove);
    ui->infoButton->setProperty("whoIs", QStringLiteral("Info"));
    nameButtons();
}

void listItem::hideRightIcons()
{
    ui->horizontalFrame->hide();
    ui->infoButton->hide();
    ui->deleteButton->hide();
}

void listItem::showPlusIcon()
{
    ui->horizontalFrame->show();
    ui->infoButton->show();
    ui->infoButton->setIcon(QIcon(QStringLiteral(":/icon2x/plus.png")));
    ui->infoButton->setProperty("whoIs", QStringLiteral("Add"));
    nameButtons();
}

void listItem::nameButtons()
{
    const bool add = ui->infoButton->property("whoIs").toString() == QLatin1String("Add");
    ui->infoButton->setToolTip(add ? tr("Add the song to the playlist") : tr("Rename the playlist"));
    ui->deleteButton->setToolTip(tr("Delete the playlist"));
    for (QPushButton *b : {ui->infoButton, ui->deleteButton})
        b->setAccessibleName(b->toolTip());
}

void listItem::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        nameButtons();
    QWidget::changeEvent(event);
}

void listItem::requestDelete()
{
    emit deleteItem(this);
}

void listItem::addOrRename()
{
    if (ui->infoButton->property("whoIs").toString().compare(QLatin1String("Info"),
                                                             Qt::CaseInsensitive) == 0) {
        emit renamePlaylist(fullTitle, playlist.getId());
        return;
    }
    qDebug() << "Add pressed";
    emit addItem(song);
    // Once is enough: every further click would only lengthen the sheet.
    if (!greyed) {
        greyed = true;
        setStyleSheet(styleSheet() + QStringLiteral("[styleClass=\"labels\"]{color:grey;}"));
    }
}

void listItem::paintEvent(QPaintEvent *)
{
    if (leftIconKind != IconNewsUnseen)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(QStringLiteral("#ff4d4d")));
    painter.drawEllipse(QRect(QPoint(width() - 16, 4), QPoint(width() - 5, 15)));
}

listItemDownloading::listItemDownloading(QWidget *parent)
    : QWidget(parent), ui(new Ui::listItemDownloading)
{
    ui->setupUi(this);
    ui->downloadedLabel->hide();
}

listItemDownloading::~listItemDownloading()
{
    delete ui;
}

void listItemDownloading::setTitleLabel(const QString &text)
{
    ui->titleLabel->setText(text);
}

void listItemDownloading::setArtistLabel(const QString &text)
{
    ui->artistLabel->setText(text);
}

void listItemDownloading::setFormatLabel(const QString &text)
{
    ui->formatLabel->setText(text);
}

void listItemDownloading::setDownloaded()
{
    ui->progressBar->hide();
    ui->downloadedLabel->show();
}

listItemStore::listItemStore(QWidget *parent) : QWidget(parent), ui(new Ui::listItemStore)
{
    ui->setupUi(this);
}

listItemStore::~listItemStore()
{
    delete ui;
}

void listItemStore::setTitleLabel(const QString &text)
{
    ui->titleLabel->setText(text);
}

void listItemStore::setArtistLabel(const QString &text)
{
    ui->artistLabel->setText(text);
}

void listItemStore::setLeftIcon(int kind)
{
    if (kind != 0 && kind != 1)
        return;
    ui->leftIcon->show();
    ui->leftIcon->setStyleSheet(kind == 1
                                    ? QStringLiteral("border-image: url(:/icon2x/icon-playlist-gray.png);")
                                    : QStringLiteral("border-image: url(:/icon2x/icon-notes-gray.png);"));
}
