// Rows placed into list widgets: listItem is the side list's row (an icon, a
// title, and for user playlists a rename and a delete button; it also has
// song, artist and genre variants); listItemDownloading and listItemStore are
// the store page's rows.
#pragma once

#include "LibraryRecords.h"
#include "SongInfo.h"

#include <QWidget>

class QListWidgetItem;

namespace Ui {
class listItem;
class listItemDownloading;
class listItemStore;
} // namespace Ui

class listItem : public QWidget
{
    Q_OBJECT
public:
    enum Type { SongType = 0, ArtistType = 1, PlaylistType = 2, GenreType = 3 };
    // Left-icon kinds.
    enum { IconNote = 0, IconPlaylist = 1, IconNews = 2, IconNewsUnseen = 3, IconRecent = 4,
           IconDownloaded = 5 };

    listItem(QWidget *parent, QListWidgetItem *container, int row, Type type, int fontSize);
    ~listItem() override;

    void setSong(const SongInfo &value);
    void setArtist(const Artist &value);
    void setGenre(const Genres &value);
    void setPlaylist(const Playlist &value);
    void setLeftIcon(int kind);
    // The row is the selected one, drawn on the highlight colour.
    void setHighlighted(bool on);
    void setTitleLabel(const QString &text);
    void setTitleAndFormatLabel(const QString &title, const QString &format);
    void showRightIcons();
    void showRightIcons(bool info, bool remove);
    void hideRightIcons();
    void showPlusIcon();

    SongInfo getSong() const { return song; }
    Artist getArtist() const { return artist; }
    Genres getGenre() const { return genre; }
    Playlist getPlaylist() const { return playlist; }
    Type getType() const { return type; }
    int getRow() const { return row; }
    QListWidgetItem *getContainer() const { return container; }
    int getLeftIcon() const { return leftIconKind; }
    QString titleText() const;

signals:
    void deleteItem(listItem *item);
    void addItem(SongInfo song);
    void renamePlaylist(QString name, int id);

private slots:
    void requestDelete();
    void addOrRename();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The picture-only buttons say what they do.
    void nameButtons();
    void clearLabels(bool hide);
    // The title, shortened with an ellipsis to the room the row leaves it
    // (the whole of it then in the tooltip).
    void showTitle(const QString &text);
    void fitTitle();

    Ui::listItem *ui;
    SongInfo song;
    Artist artist;
    Genres genre;
    Playlist playlist;
    QListWidgetItem *container;
    int row;
    Type type;
    int leftIconKind = -1;
    bool greyed = false;
    bool highlighted = false;
    QString fullTitle;
};

class listItemDownloading : public QWidget
{
    Q_OBJECT
public:
    explicit listItemDownloading(QWidget *parent = nullptr);
    ~listItemDownloading() override;

    void setTitleLabel(const QString &text);
    void setArtistLabel(const QString &text);
    void setFormatLabel(const QString &text);
    void setDownloaded();

private:
    Ui::listItemDownloading *ui;
};

class listItemStore : public QWidget
{
    Q_OBJECT
public:
    explicit listItemStore(QWidget *parent = nullptr);
    ~listItemStore() override;

    void setTitleLabel(const QString &text);
    void setArtistLabel(const QString &text);
    void setLeftIcon(int kind);
    void setSong(const SongInfo &value) { song = value; }
    SongInfo getSong() const { return song; }

private:
    Ui::listItemStore *ui;
    SongInfo song;
};
