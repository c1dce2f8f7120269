#include "importcolumns.h"
#include "widgettexts.h"

#include <QAbstractFileIconProvider>
#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QSplitter>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace {

enum Column { Name, Size, Kind, Date };

// Sizes and dates written in the default locale, the language's: Qt's file
// model writes them in the machine's. Done in the painting, for a proxy model
// would break the dialog's choice of several files typed by name.
class LanguageDates : public QStyledItemDelegate, public WidgetTexts::ShownText
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text the entry is drawn with.
    QString shownText(const QModelIndex &index) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(index.model());
        if (!files || (index.column() != Size && index.column() != Date))
            return index.data().toString();
        // Read from the file, not from the model: it keeps what it saw
        // first, the 0 bytes of a file that was being written then.
        const QFileInfo now(files->filePath(index));
        if (index.column() == Date)
            return QLocale().toString(now.exists() ? now.lastModified() : files->lastModified(index),
                                      QLocale::ShortFormat);
        if (files->isDir(index))
            return QString();
        return QLocale().formattedDataSize(now.exists() ? now.size() : files->size(index));
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == Size || index.column() == Date)
            option->text = shownText(index);
    }
};

class Fitter : public QObject
{
public:
    Fitter(QFileDialog *dialog, QTreeView *tree) : QObject(dialog), dialog(dialog), tree(tree)
    {
        pending.setSingleShot(true);
        connect(&pending, &QTimer::timeout, this, &Fitter::fit);
        // Rows, and the kinds of files in a language chosen later, come from
        // the model's own thread after the dialog shows.
        connect(tree->model(), &QAbstractItemModel::rowsInserted, &pending, qOverload<>(&QTimer::start));
        connect(tree->model(), &QAbstractItemModel::dataChanged, &pending, qOverload<>(&QTimer::start));
        dialog->installEventFilter(this);
        if (names())
            names()->popup()->installEventFilter(this);
        // The names Qt gives the side panel's places are taken once.
        connect(&relabel, &QTimer::timeout, this, [this] {
            this->dialog->setSidebarUrls(this->dialog->sidebarUrls());
            fit();
        });
        relabel.setSingleShot(true);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != dialog)
            return typedReturn(event);
        if (event->type() == QEvent::Show) {
            fit();
            // Sizes and dates are read again as the rows are drawn.
            tree->viewport()->update();
        } else if (event->type() == QEvent::Hide) {
            // The list of names offered must not stay over the window.
            if (names())
                names()->popup()->hide();
        } else if (event->type() == QEvent::LanguageChange) {
            tree->viewport()->update();
            // After the dialog has taken the new words itself.
            pending.start();
            relabel.start();
        } else if (event->type() == QEvent::Move) {
            keepTitleBarOnScreen();
        }
        return false;
    }

private:
    // A window manager may place the dialog by its inner area once it has
    // grown to its columns, its title bar above the screen: the frame goes
    // back onto the screen's free area, where the bar can be dragged.
    void keepTitleBarOnScreen()
    {
        const QScreen *screen = dialog->screen();
        const QRect frame = dialog->frameGeometry();
        if (!screen || !dialog->isVisible() || frame == dialog->geometry())
            return;
        const QRect free = screen->availableGeometry();
        const QPoint corner(std::max(frame.left(), free.left()), std::max(frame.top(), free.top()));
        if (corner != frame.topLeft())
            dialog->move(corner);
    }
    QCompleter *names() const
    {
        auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        return field ? field->completer() : nullptr;
    }

    // Return on the list of names the field offers takes the name chosen
    // on it, or the path typed when none is, once, as Return in the field
    // takes it: a file is opened, a folder entered, and the list goes. Left
    // to the field, the list would stay over a folder entered, offering
    // the names of the folder left, which a Return then looked for in the
    // folder entered ("File not found").
    bool typedReturn(QEvent *event)
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        QCompleter *completer = names();
        if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !completer)
            return false;
        const QModelIndex chosen = completer->popup()->currentIndex();
        const auto *listed = qobject_cast<const QAbstractProxyModel *>(completer->completionModel());
        auto *field = qobject_cast<QLineEdit *>(completer->widget());
        if (chosen.isValid() && listed && field)
            field->setText(completer->pathFromIndex(listed->mapToSource(chosen)));
        completer->popup()->hide();
        QTimer::singleShot(0, dialog, [d = dialog] {
            if (d->isVisible())
                static_cast<QDialog *>(d)->accept();
        });
        return true;
    }

    int textWidth(const QString &text) const
    {
        const int margin = tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
        return tree->fontMetrics().horizontalAdvance(text) + 2 * margin + 2;
    }

    // The widest of what the column can show in the language chosen: sizes
    // up to a thousand units, the kinds of songs and folders, a date whose
    // digits are wide; rows already listed count too.
    int widest(int column) const
    {
        QStringList samples;
        const QLocale here;
        if (column == Size) {
            samples << here.formattedDataSize(1023) << here.formattedDataSize(1073731338);
        } else if (column == Date) {
            samples << here.toString(QDateTime(QDate(2028, 12, 28), QTime(22, 58, 58)), QLocale::ShortFormat)
                    << here.toString(QDateTime(QDate(2028, 12, 28), QTime(10, 58, 58)), QLocale::ShortFormat);
        } else if (const QAbstractFileIconProvider *kinds = dialog->iconProvider()) {
            samples << kinds->type(QFileInfo(QDir::homePath()));
            for (const char *suffix : {"mid", "midi", "kar", "mp3", "mf3", "mf4", "mf5"})
                samples << kinds->type(QFileInfo(QStringLiteral("song.") + QLatin1String(suffix)));
        }
        int width = 0;
        for (const QString &s : std::as_const(samples))
            width = std::max(width, textWidth(s));
        // Only the rows in and near the view are measured: a folder of
        // thousands of songs opens at once all the same.
        return std::max(width, static_cast<const QAbstractItemView *>(tree)->sizeHintForColumn(column));
    }

    void fit()
    {
        QHeaderView *header = tree->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(Name, QHeaderView::Stretch);
        int columns = 0;
        for (int c : {Size, Kind, Date}) {
            header->setSectionResizeMode(c, QHeaderView::Interactive);
            const int width = std::max(header->sectionSizeHint(c), widest(c));
            header->resizeSection(c, width);
            columns += width;
        }
        // The names listed keep their room too, at least that of a long one;
        // the dialog is made as wide as all that needs, within its screen.
        const int names = std::max({header->sectionSizeHint(Name), tree->fontMetrics().averageCharWidth() * 30,
                                    static_cast<const QAbstractItemView *>(tree)->sizeHintForColumn(Name)});
        int needed = names + columns + 2 * tree->frameWidth() + tree->verticalScrollBar()->sizeHint().width();
        if (const QScreen *screen = dialog->screen())
            needed = std::min(needed, screen->availableGeometry().width() * 3 / 4);
        tree->setMinimumWidth(needed);
        // The kinds of files box as wide as its longest entry, in any language.
        // Its own least width is not worked out again when its entries change
        // (a language chosen), and the layout would squeeze it to that.
        if (auto *kinds = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))) {
            kinds->setSizeAdjustPolicy(QComboBox::AdjustToContents);
            QStyleOptionComboBox option;
            option.initFrom(kinds);
            const int chrome = kinds->width() - kinds->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                                             QStyle::SC_ComboBoxEditField, kinds).width();
            int widest = 0;
            for (int i = 0; i < kinds->count(); ++i)
                widest = std::max(widest, kinds->fontMetrics().horizontalAdvance(kinds->itemText(i)));
            kinds->setMinimumWidth(std::max(kinds->sizeHint().width(), chrome + widest));
        }
        // The side panel as wide as its places' names.
        if (auto *places = dialog->findChild<QListView *>(QStringLiteral("sidebar"))) {
            const int width = places->sizeHintForColumn(0) + 2 * places->frameWidth() + 4;
            places->setMinimumWidth(std::max(width, 0));
            if (auto *split = dialog->findChild<QSplitter *>(QStringLiteral("splitter"))) {
                QList<int> sizes = split->sizes();
                if (sizes.size() == 2 && sizes[0] < width) {
                    sizes[1] -= width - sizes[0];
                    sizes[0] = width;
                    split->setSizes(sizes);
                }
            }
        }
    }

    QFileDialog *dialog;
    QTreeView *tree;
    QTimer pending;
    QTimer relabel;
};

} // namespace

void ImportColumns::apply(QFileDialog *dialog)
{
    auto *tree = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!tree)
        return;
    tree->setItemDelegate(new LanguageDates(tree));
    new Fitter(dialog, tree);
}

#include "importcolumns.moc"
