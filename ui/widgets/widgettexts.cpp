#include "widgettexts.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QScrollBar>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTextDocumentFragment>

#include <utility>

namespace WidgetTexts {

namespace {

// Visible rows of a long list are few; the rest are never looked at.
constexpr int kRowsLooked = 400;

QString pathOf(const QWidget *w)
{
    QStringList names;
    for (const QWidget *p = w; p; p = p->isWindow() ? nullptr : p->parentWidget())
        names.prepend(p->objectName().isEmpty() ? QString::fromLatin1(p->metaObject()->className())
                                                : p->objectName());
    return names.join(QLatin1Char('/'));
}

QRect onScreen(const QWidget *w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

QRect visibleOnScreen(const QWidget *w)
{
    QRect shown = onScreen(w);
    for (const QWidget *p = w->parentWidget(); p && !shown.isEmpty(); p = p->isWindow() ? nullptr : p->parentWidget())
        shown &= onScreen(p);
    return shown;
}

// What every entry of one widget says of it.
Entry about(const QWidget *w, const QString &kind, const QString &text)
{
    Entry e;
    e.kind = kind;
    e.path = pathOf(w);
    e.text = text;
    e.at = onScreen(w);
    e.visible = visibleOnScreen(w);
    e.enabled = w->isEnabled();
    e.tabbed = (w->focusPolicy() & Qt::TabFocus) != 0;
    e.id = quintptr(w);
    return e;
}

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    return text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// The room a push button's style leaves for its icon and text, against
// what they take: the style sheet's borders and padding count.
void measure(const QPushButton *b, Entry &e)
{
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    opt.icon = b->icon();
    opt.iconSize = b->iconSize();
    if (b->isFlat())
        opt.features |= QStyleOptionButton::Flat;
    const QRect contents = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
    // A text in two lines needs the width of the longer.
    for (const QString &line : withoutMnemonic(b->text()).split(QLatin1Char('\n')))
        e.need = qMax(e.need, b->fontMetrics().horizontalAdvance(line));
    if (!b->icon().isNull())
        e.need += b->iconSize().width() + 4;
    // Without padding or border a glyph's ink reaches the button's edge,
    // which may be the window's: a pixel of air on each side.
    e.have = qMin(contents.width(), b->width() - 2);
}

void addLabel(const QLabel *label, QList<Entry> &out)
{
    if (label->text().isEmpty() || !label->pixmap().isNull() || label->movie())
        return;
    Entry e = about(label, QStringLiteral("label"), label->text());
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    if (label->wordWrap()) {
        e.need = label->heightForWidth(label->width());
        e.have = label->height();
    } else if (rich) {
        e.need = label->sizeHint().width();
        e.have = label->width();
    } else {
        // The text's own width: a label's size hint also counts its minimum.
        // A label for another widget shows its mnemonic underlined.
        const QMargins m = label->contentsMargins();
        const QString text = label->buddy() ? withoutMnemonic(label->text()) : label->text();
        e.need = label->fontMetrics().boundingRect(QRect(0, 0, QWIDGETSIZE_MAX, QWIDGETSIZE_MAX),
                                                   int(label->alignment()), text).width() +
                 m.left() + m.right() + 2 * label->margin() + qMax(0, label->indent());
        e.have = label->width();
    }
    out << e;
    // A rich text is read without its tags.
    if (rich) {
        const QString plain = QTextDocumentFragment::fromHtml(label->text()).toPlainText();
        if (plain != label->text())
            {
            Entry p = e;
            p.text = plain;
            p.need = p.have = 0;
            out << p;
        }
    }
}

// How much of a widget's width shows: its ancestors cut it off, except one
// that scrolls sideways to it.
int visibleWidth(const QWidget *w)
{
    int left = w->mapToGlobal(QPoint(0, 0)).x();
    int right = left + w->width();
    for (const QWidget *p = w->parentWidget(); p; p = p->isWindow() ? nullptr : p->parentWidget()) {
        const auto *area = qobject_cast<const QAbstractScrollArea *>(p->parentWidget());
        if (area && area->viewport() == p && area->horizontalScrollBar()->maximum() > 0) {
            p = area; // neither the viewport nor the area's frame hides it
            continue;
        }
        const int x = p->mapToGlobal(QPoint(0, 0)).x();
        left = qMax(left, x);
        right = qMin(right, x + p->width());
    }
    return qMax(0, right - left);
}

void addButton(const QAbstractButton *button, QList<Entry> &out)
{
    // Every control, also one with only an icon, must be seen whole.
    Entry control = about(button, QStringLiteral("control"), withoutMnemonic(button->text()));
    control.need = button->width();
    control.have = visibleWidth(button);
    out << control;
    if (button->text().isEmpty())
        return;
    Entry e = about(button, QStringLiteral("button"), withoutMnemonic(button->text()));
    if (const auto *push = qobject_cast<const QPushButton *>(button)) {
        measure(push, e);
    } else {
        e.need = button->sizeHint().width();
        e.have = button->width();
    }
    out << e;
}

void addHeader(const QHeaderView *header, QList<Entry> &out)
{
    const QAbstractItemModel *model = header->model();
    if (!model)
        return;
    for (int i = 0; i < header->count(); ++i) {
        if (header->isSectionHidden(i) || header->sectionSize(i) == 0)
            continue;
        const QString text = model->headerData(i, header->orientation()).toString();
        if (!text.isEmpty())
            out << about(header, QStringLiteral("header"), text);
    }
}

// The entries of a list or table in view, as its painter writes them.
void addItems(const QAbstractItemView *view, QList<Entry> &out)
{
    const QAbstractItemModel *model = view->model();
    if (!model)
        return;
    const QRect shown = view->viewport()->rect();
    const QModelIndex root = view->rootIndex();
    const int rows = qMin(model->rowCount(root), kRowsLooked);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < model->columnCount(root); ++c) {
            const QModelIndex index = model->index(r, c, root);
            const QRect cell = view->visualRect(index);
            if (cell.isEmpty() || !cell.intersects(shown) || view->indexWidget(index))
                continue;
            const QVariant data = index.data(Qt::DisplayRole);
            QAbstractItemDelegate *delegate = view->itemDelegateForIndex(index);
            const auto *styled = qobject_cast<const QStyledItemDelegate *>(delegate);
            QString text = styled ? styled->displayText(data, view->locale()) : data.toString();
            // A delegate that writes an entry in words of its own tells them.
            if (const auto *own = dynamic_cast<const ShownText *>(delegate))
                text = own->shownText(index);
            if (text.isEmpty())
                continue;
            // Where the entry is drawn, for the checks of its looks; and the
            // width its text and icon take, against the cell's.
            Entry e = about(view, QStringLiteral("item"), text);
            e.at = QRect(view->viewport()->mapToGlobal(cell.topLeft()), cell.size());
            e.visible &= e.at;
            e.need = view->sizeHintForIndex(index).width();
            e.have = cell.width();
            out << e;
        }
    }
}

// A control other than a button, which the mouse works: a list, a box to
// type in or choose from, a slider, a spin box. A scroll bar goes with what
// it scrolls.
bool isInput(const QWidget *w)
{
    if (qobject_cast<const QScrollBar *>(w) || qobject_cast<const QHeaderView *>(w))
        return false;
    return qobject_cast<const QAbstractSlider *>(w) || qobject_cast<const QComboBox *>(w)
           || qobject_cast<const QAbstractSpinBox *>(w) || qobject_cast<const QAbstractItemView *>(w)
           || (qobject_cast<const QLineEdit *>(w) && !qobject_cast<const QAbstractSpinBox *>(w->parentWidget())
               && !qobject_cast<const QComboBox *>(w->parentWidget()));
}

QList<Entry> &focused()
{
    static QList<Entry> list;
    return list;
}

void addWidget(const QWidget *w, QList<Entry> &out)
{
    if (w->isWindow())
        out << about(w, QStringLiteral("window"),
                     w->windowType() == Qt::Popup ? QStringLiteral("popup") : QStringLiteral("window"));
    if (isInput(w)) {
        Entry e = about(w, QStringLiteral("input"), QString());
        e.need = w->width();
        e.have = visibleWidth(w);
        out << e;
    }
    if (const auto *slider = qobject_cast<const QSlider *>(w)) {
        Entry e = about(w, QStringLiteral("handle"),
                        QStringLiteral("%1 %2 %3").arg(slider->value()).arg(slider->minimum()).arg(slider->maximum()));
        const QRect handle = sliderHandle(slider);
        e.at = QRect(slider->mapToGlobal(handle.topLeft()), handle.size());
        e.visible &= e.at;
        out << e;
    }
    if (w->isWindow() && !w->windowTitle().isEmpty())
        out << about(w, QStringLiteral("title"), w->windowTitle());
    if (!w->toolTip().isEmpty())
        out << about(w, QStringLiteral("tooltip"), w->toolTip());
    if (const auto *label = qobject_cast<const QLabel *>(w)) {
        addLabel(label, out);
    } else if (const auto *button = qobject_cast<const QAbstractButton *>(w)) {
        addButton(button, out);
    } else if (const auto *edit = qobject_cast<const QLineEdit *>(w)) {
        if (!edit->text().isEmpty() && edit->echoMode() == QLineEdit::Normal)
            out << about(w, QStringLiteral("edit"), edit->text());
        if (!edit->placeholderText().isEmpty())
            out << about(w, QStringLiteral("placeholder"), edit->placeholderText());
    } else if (const auto *group = qobject_cast<const QGroupBox *>(w)) {
        if (!group->title().isEmpty())
            out << about(w, QStringLiteral("group"), group->title());
    } else if (const auto *combo = qobject_cast<const QComboBox *>(w)) {
        if (!combo->isEditable() && !combo->currentText().isEmpty()) {
            // The width the box needs to draw its choice unshortened: the
            // text (and icon) in the field the style leaves it.
            Entry e = about(w, QStringLiteral("current"), combo->currentText());
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
            const QIcon icon = combo->itemIcon(combo->currentIndex());
            e.need = combo->width() - field.width() + combo->fontMetrics().horizontalAdvance(combo->currentText())
                     + (icon.isNull() ? 0 : combo->iconSize().width() + 4);
            e.have = visibleWidth(combo);
            out << e;
        }
        if (combo->count() == 0 && !combo->placeholderText().isEmpty())
            out << about(w, QStringLiteral("placeholder"), combo->placeholderText());
        for (int i = 0; i < combo->count(); ++i) {
            if (!combo->itemText(i).isEmpty())
                out << about(w, QStringLiteral("item"), combo->itemText(i));
        }
    } else if (const auto *tabs = qobject_cast<const QTabBar *>(w)) {
        for (int i = 0; i < tabs->count(); ++i)
            out << about(w, QStringLiteral("item"), tabs->tabText(i));
    } else if (const auto *header = qobject_cast<const QHeaderView *>(w)) {
        addHeader(header, out);
    } else if (const auto *view = qobject_cast<const QAbstractItemView *>(w)) {
        addItems(view, out);
    }
}

QString escaped(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\t'), QLatin1String("\\t"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

} // namespace

QRect sliderHandle(const QSlider *slider)
{
    return sliderHandle(slider, slider->sliderPosition());
}

QRect sliderHandle(const QSlider *slider, int position)
{
    // As the slider fills its own option to paint itself.
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = slider->orientation();
    opt.maximum = slider->maximum();
    opt.minimum = slider->minimum();
    opt.tickPosition = slider->tickPosition();
    opt.tickInterval = slider->tickInterval();
    opt.upsideDown = slider->orientation() == Qt::Horizontal
                         ? slider->invertedAppearance() != (opt.direction == Qt::RightToLeft)
                         : !slider->invertedAppearance();
    opt.direction = Qt::LeftToRight;
    opt.sliderPosition = position;
    opt.sliderValue = slider->value();
    opt.singleStep = slider->singleStep();
    opt.pageStep = slider->pageStep();
    if (slider->orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    return slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
}

QList<Entry> collect(const QWidget *window)
{
    QList<Entry> out;
    if (!window->isVisible())
        return out;
    addWidget(window, out);
    for (const QWidget *w : window->findChildren<QWidget *>()) {
        if (w->window() == window && w->isVisible())
            addWidget(w, out);
    }
    return out;
}

QList<Entry> collectShown()
{
    QList<Entry> out;
    for (const QWidget *w : QApplication::topLevelWidgets())
        out << collect(w);
    return out;
}

void recordFocus()
{
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget *, QWidget *now) {
        if (!now)
            return;
        // Taken once the change has been dealt with: where the widget stands
        // then is where the user sees it (a list scrolls a row reached with
        // Tab into sight).
        QMetaObject::invokeMethod(qApp, [now = QPointer<QWidget>(now)] {
            if (!now)
                return;
            // A box's own line edit holds the focus for the box.
            const QWidget *parent = now->parentWidget();
            if (parent && (qobject_cast<const QComboBox *>(parent) || qobject_cast<const QAbstractSpinBox *>(parent)))
                focused() << about(parent, QStringLiteral("focus"), QString());
            focused() << about(now, QStringLiteral("focus"), QString());
        }, Qt::QueuedConnection);
    });
}

QList<Entry> takeFocused()
{
    return std::exchange(focused(), {});
}

QString toLines(const QList<Entry> &entries)
{
    QString text;
    for (const Entry &e : entries) {
        text += e.kind + QLatin1Char('\t') + QString::number(e.cut() ? 1 : 0) + QLatin1Char('\t') +
                QString::number(e.need) + QLatin1Char('\t') + QString::number(e.have) + QLatin1Char('\t') +
                QStringLiteral("%1 %2 %3 %4").arg(e.at.x()).arg(e.at.y()).arg(e.at.width()).arg(e.at.height()) +
                QLatin1Char('\t') + escaped(e.path) + QLatin1Char('\t') + escaped(e.text) + QLatin1Char('\t') +
                QStringLiteral("%1 %2 %3 %4")
                    .arg(e.visible.x())
                    .arg(e.visible.y())
                    .arg(e.visible.width())
                    .arg(e.visible.height()) +
                QLatin1Char('\t') + QLatin1String(e.enabled ? "e" : "d") + QLatin1String(e.tabbed ? "t" : "") +
                QLatin1Char('\t') + QString::number(e.id, 16) + QLatin1Char('\n');
    }
    return text;
}

} // namespace WidgetTexts
