// The melody-channel pop-up of the transport area: a list of the 16 MIDI
// channels ("Track 1" .. "Track 16"). A click on a row, or Return on the row
// the arrow keys moved to, reports the 0-based channel (melodyTrackChanged)
// and closes the pop-up; Escape closes it without a change. It opens on the
// channel chosen, the list in focus.
#pragma once

#include <QStringListModel>
#include <QWidget>

namespace Ui {
class MelodyChannelPopup;
}

class MelodyChannelPopup : public QWidget
{
    Q_OBJECT

public:
    // Channel 4, where karaoke files, the store's among them, carry the
    // melody; the sound engine starts on it too.
    static constexpr int kDefaultChannel = 3;
    static constexpr int kChannels = 16;

    explicit MelodyChannelPopup(QWidget *parent);
    ~MelodyChannelPopup() override;

    // Shows the stored channel without reporting it.
    void loadSavedIndex(int row);

signals:
    void melodyTrackChanged(int channel);

public slots:
    void selectedTrack(const QModelIndex &index);

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void nameRows();

    Ui::MelodyChannelPopup *ui;
    QStringListModel model;
    int chosen = kDefaultChannel;
};
