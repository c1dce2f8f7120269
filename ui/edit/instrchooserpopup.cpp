#include "instrchooserpopup.h"

#include "ui_instrchooserpopup.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>

namespace {

// The sixteen General MIDI families (program / 8) in the language shown.
constexpr const char *kFamilies[16] = {
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Piano"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Chromatic Percussion"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Organ"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Guitar"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Bass"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Strings"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Ensemble"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Brass"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Reed"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Pipe"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Synth Lead"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Synth Pad"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Synth Effects"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Ethnic"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Percussive"),
    QT_TRANSLATE_NOOP("InstrChooserPopup", "Sound Effects"),
};

// The second click of a double-click whose first click chose and closed the
// chooser: it would land on whatever lay beneath, and the karaoke view takes
// it for a double-click of its own and goes full screen. Its press, as the
// window system counts a double-click (soon enough, near enough), is eaten
// with all the button does until it is let go; any other press, or the time
// of a double-click passing, ends the watch.
class SecondClickEater : public QObject
{
public:
    SecondClickEater(QPointF at, quint64 time) : QObject(qApp), m_at(at), m_time(time)
    {
        qApp->installEventFilter(this);
        QTimer::singleShot(2 * QGuiApplication::styleHints()->mouseDoubleClickInterval(), this, [this] {
            if (!m_eating)
                deleteLater();
        });
        // A release that never comes (the window beneath went away) must not
        // leave every later click eaten.
        QTimer::singleShot(3000, this, [this] { deleteLater(); });
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick
            && type != QEvent::MouseButtonRelease)
            return false;
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_eating) {
            if (type == QEvent::MouseButtonRelease)
                return false;
            const QStyleHints *hints = QGuiApplication::styleHints();
            m_eating = mouse->button() == Qt::LeftButton
                       && mouse->timestamp() - m_time < quint64(hints->mouseDoubleClickInterval())
                       && (mouse->globalPosition() - m_at).manhattanLength() <= hints->mouseDoubleClickDistance();
            if (!m_eating) {
                qApp->removeEventFilter(this);
                deleteLater();
                return false;
            }
        } else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
            qApp->removeEventFilter(this);
            deleteLater();
        }
        return true;
    }

private:
    QPointF m_at;
    quint64 m_time;
    bool m_eating = false;
};

} // namespace

InstrChooserPopup::InstrChooserPopup(QWidget *parent, bool drumMode)
    : QWidget(parent), ui(new Ui::InstrChooserPopup), m_tables(MIDI_CONST_GetTrkGsNames()), m_drumMode(drumMode)
{
    ui->setupUi(this);
    connect(ui->listViewFamiliy, &QListView::pressed, this, &InstrChooserPopup::listFamily);
    connect(ui->listViewInstr, &QListView::activated, this, &InstrChooserPopup::chooseInstrument);
    if (m_drumMode) {
        ui->listViewFamiliy->hide();
        for (int i = 0; i < m_tables->GS_DRUMKIT_NAMES_SIZE; ++i)
            addItem(m_tables->GSshrtDrumKit[i].name, i);
    } else {
        QListView *list = ui->listViewFamiliy;
        const QFontMetrics m(list->font());
        int widest = 0;
        for (const char *family : kFamilies) {
            m_families.appendRow(new QStandardItem(tr(family)));
            widest = qMax(widest, m.horizontalAdvance(tr(family)));
        }
        list->setModel(&m_families);
        // Each family name whole, in every language: the list has no
        // scroll bars.
        const int margins = 2 * list->frameWidth() + 2 * list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
        list->setMinimumWidth(qMax(list->minimumWidth(), widest + margins));
    }
    ui->listViewInstr->setModel(&m_items);
    // The channel's instrument is shown chosen: white on the style's light
    // blue would stand out only 3.7:1.
    for (QListView *list : {ui->listViewFamiliy, ui->listViewInstr}) {
        QPalette chosen = list->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            chosen.setColor(group, QPalette::Highlight, QColor(0, 90, 160));
        list->setPalette(chosen);
    }
    // One click chooses, as in the family list; Return still does.
    ui->listViewInstr->viewport()->installEventFilter(this);
    connect(ui->listViewInstr, &QListView::clicked, this, [this](const QModelIndex &index) {
        chooseInstrument(index);
        if (isHidden())
            new SecondClickEater(m_releasedAt, m_releasedTime);
    });
}

bool InstrChooserPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->listViewInstr->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        m_releasedAt = mouse->globalPosition();
        m_releasedTime = mouse->timestamp();
    }
    return QWidget::eventFilter(watched, event);
}

InstrChooserPopup::~InstrChooserPopup()
{
    delete ui;
}

void InstrChooserPopup::addItem(const char *name, int index)
{
    // A kit table's end row has no name and is no kit.
    if (!name)
        return;
    auto *item = new QStandardItem(QString::fromLatin1(name));
    item->setData(index, Qt::UserRole);
    m_items.appendRow(item);
}

void InstrChooserPopup::markCurrent(const QString &name)
{
    if (!m_drumMode) {
        for (int i = 0; i < m_tables->GS_INSTR_NAMES_SIZE; ++i) {
            const GS_INSTRUMENT_NAME &row = m_tables->trkGsNames[i];
            if (row.name && QString::fromLatin1(row.name) == name && row.program / 8 < m_families.rowCount()) {
                const QModelIndex family = m_families.index(row.program / 8, 0);
                ui->listViewFamiliy->setCurrentIndex(family);
                ui->listViewFamiliy->scrollTo(family);
                listFamily(family);
                break;
            }
        }
    }
    for (int r = 0; r < m_items.rowCount(); ++r) {
        if (m_items.item(r)->text() == name) {
            const QModelIndex item = m_items.index(r, 0);
            ui->listViewInstr->setCurrentIndex(item);
            ui->listViewInstr->scrollTo(item, QAbstractItemView::PositionAtCenter);
            return;
        }
    }
}

void InstrChooserPopup::listFamily(const QModelIndex &index)
{
    m_items.clear();
    const int first = index.row() * 8;
    for (int i = 0; i < m_tables->GS_INSTR_NAMES_SIZE; ++i) {
        const GS_INSTRUMENT_NAME &row = m_tables->trkGsNames[i];
        if (row.program >= first && row.program < first + 8)
            addItem(row.name, i);
    }
}

void InstrChooserPopup::chooseInstrument(const QModelIndex &index)
{
    bool ok = false;
    const int i = index.data(Qt::UserRole).toInt(&ok);
    if (!ok)
        return;
    if (m_drumMode && i >= 0 && i < m_tables->GS_DRUMKIT_NAMES_SIZE)
        emit dkChanged(&m_tables->GSshrtDrumKit[i]);
    else if (!m_drumMode && i >= 0 && i < m_tables->GS_INSTR_NAMES_SIZE)
        emit instrChanged(&m_tables->trkGsNames[i]);
    close();
}
