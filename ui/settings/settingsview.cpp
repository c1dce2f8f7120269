#include "settingsview.h"

#include "SoundEngine.h"
#include "devicesource.h"
#include "language.h"
#include "program.h"
#include "ui_settingsview.h"
#include "wheelguard.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTranslator>

namespace {

constexpr int kSizeIndexCount = 3;
constexpr int kDefaultSizeIndex = 1;

int pixelSizeOf(int sizeIndex)
{
    return sizeIndex * 12 + 34;
}

Qt::Alignment alignmentOf(int index)
{
    switch (index) {
    case 0:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case 1:
        return Qt::AlignLeft | Qt::AlignVCenter;
    default:
        return {};
    }
}

const QString kKaraoke = QStringLiteral("Karaoke/");

QString karaokeKey(const char *name)
{
    return kKaraoke + QLatin1String(name);
}

} // namespace

SettingsView::SettingsView(QWidget *parent, SoundEngine *engine)
    : SettingsView(parent, engine, std::make_unique<EngineDeviceSource>(engine))
{
}

SettingsView::SettingsView(QWidget *parent, SoundEngine *engine, std::unique_ptr<DeviceSource> deviceSource)
    : QWidget(parent, Qt::Popup), ui(new Ui::SettingsView),
      devices(std::move(deviceSource)),
      fontFamilies{QStringLiteral("Verdana"), QStringLiteral("Marker Felt"), QStringLiteral("Courier"),
                   QStringLiteral("Futura")},
      textColors{QStringLiteral("#FFFFFF"), QStringLiteral("#d7654e"), QStringLiteral("#652ba0"),
                 QStringLiteral("#edcb0c"), QStringLiteral("#0fa00b"), QStringLiteral("#00FFFF"),
                 QStringLiteral("#0c5cef"), QStringLiteral("#000400")},
      highlightColors(textColors),
      backgroundColors{QStringLiteral("#EEEEEE"), QStringLiteral("#e08585"), QStringLiteral("#ce85e0"),
                       QStringLiteral("#9b0a0a"), QStringLiteral("#008215"), QStringLiteral("#ffb600"),
                       QStringLiteral("#2359bd"), QStringLiteral("#111111")},
      // Each language by its own name, in the order of "System/Lang".
      languages{QStringLiteral("Italiano"), QStringLiteral("English"), QStringLiteral("Deutsch"),
                QStringLiteral("\u4E2D\u6587")},
      engine(engine)
{
    ui->setupUi(this);
    connect(ui->languageCombo, &QComboBox::activated, this, &SettingsView::switchLanguage);
    connect(ui->actionCombo, &QComboBox::activated, this, &SettingsView::chooseDoubleClickAction);
    connect(ui->chordCombo, &QComboBox::activated, this, &SettingsView::chooseChordNotation);
    connect(ui->fastRunCheck, &QCheckBox::clicked, this, &SettingsView::switchFastRun);
    connect(ui->textFontCombo, &QComboBox::activated, this, &SettingsView::chooseTextFont);
    connect(ui->textSizeCombo, &QComboBox::activated, this, &SettingsView::chooseTextSize);
    connect(ui->textAlignCombo, &QComboBox::activated, this, &SettingsView::chooseTextAlignment);
    connect(ui->comboKarTxtColor, &QComboBox::activated, this, &SettingsView::chooseTextColor);
    connect(ui->comboKarHlColor, &QComboBox::activated, this, &SettingsView::chooseHighlightColor);
    connect(ui->comboKarBgColor, &QComboBox::activated, this, &SettingsView::chooseBackgroundColor);
    connect(ui->pbBgImage, &QPushButton::clicked, this, &SettingsView::chooseBackgroundImage);
    connect(ui->radioKarBgImage, &QRadioButton::clicked, this, &SettingsView::useBackgroundImage);
    connect(ui->radioKarBgColor, &QRadioButton::clicked, this, &SettingsView::useBackgroundColor);
    connect(ui->spinBoxLyricsOffset, &QSpinBox::valueChanged, this, &SettingsView::setLyricsOffset);
    connect(ui->spinBoxKey, &QSpinBox::valueChanged, this, &SettingsView::sendRuntimeKey);
    connect(ui->spinBoxTempo, &QSpinBox::valueChanged, this, &SettingsView::sendRuntimeTempo);
    connect(ui->restoreLayoutButton, &QPushButton::clicked, this, &SettingsView::restoreLayout);
    connect(ui->rebuildDatabaseButton, &QPushButton::clicked, this, &SettingsView::askToRebuildDatabase);
    connect(ui->aboutQtButton, &QPushButton::clicked, this, &SettingsView::showAboutQt);
    connect(ui->comboSoundCard, &QComboBox::activated, this, &SettingsView::chooseMidiOutput);
    connect(ui->comboAudioDevices, &QComboBox::activated, this, &SettingsView::chooseAudioDevice);
    WheelGuard::guardChildren(ui->scrollContents);
    fillLists();
    fitWidth();
    const QString version = QLatin1String(kProductVersion);
    ui->labelVersion->setText(QStringLiteral("%1 v%2  (%3)")
                                  .arg(QLatin1String(kProductName), version.section(QLatin1Char('.'), 0, 1),
                                       version));
    loadSettings();

    if (engine) {
        connect(engine, &SoundEngine::playStateChanged, this, &SettingsView::followPlayState);
        followPlayState(engine->getPlayingState());
        connect(engine, &SoundEngine::soundOutputLost, this, &SettingsView::followOutputLost);
    }
}

SettingsView::~SettingsView()
{
    delete m_shownWarning;
    delete ui;
}

void SettingsView::fitWidth()
{
    // The page scrolls up and down only: it is as wide as its widest row in
    // the language shown, beside the scroll bar.
    const int contents = ui->scrollContents->minimumSizeHint().width();
    ui->scrollArea->setMinimumWidth(contents + ui->scrollArea->verticalScrollBar()->sizeHint().width());
}

void SettingsView::fillLists()
{
    // Translated lists are filled again on a language change; the rows and
    // the choice shown stay.
    chordNotations = QStringList{tr("Italian"), tr("International")};
    textSizes = QStringList{tr("Small"), tr("Medium"), tr("Large")};
    alignments = QStringList{tr("Center"), tr("Left")};
    doubleClickActions = QStringList{tr("Play"), tr("Pause")};
    // The lyrics' offset in milliseconds, as kept.
    ui->spinBoxLyricsOffset->setSuffix(tr(" ms"));
    const std::pair<QComboBox *, const QStringList *> lists[] = {
        {ui->chordCombo, &chordNotations}, {ui->textFontCombo, &fontFamilies},
        {ui->textSizeCombo, &textSizes},   {ui->textAlignCombo, &alignments},
        {ui->actionCombo, &doubleClickActions}, {ui->languageCombo, &languages}};
    for (const auto &[combo, names] : lists) {
        const QSignalBlocker quiet(combo);
        const int shown = combo->currentIndex();
        combo->clear();
        combo->addItems(*names);
        combo->setCurrentIndex(shown);
    }
    if (ui->comboKarTxtColor->count() == 0) {
        ui->comboKarTxtColor->addItems(textColors);
        ui->comboKarHlColor->addItems(highlightColors);
        ui->comboKarBgColor->addItems(backgroundColors);
    }
}

void SettingsView::loadSettings()
{
    fastRun = settings().value(QStringLiteral("MidiSettings/FastRun"), true).toBool();
    ui->fastRunCheck->setChecked(fastRun);
    if (engine)
        engine->setFastRun(fastRun);
    chordMode = settings().value(QStringLiteral("MidiSettings/Chord"), 1).toInt();
    ui->chordCombo->setCurrentIndex(chordMode);

    fontIndex = settings().value(karaokeKey("Font"), 0).toInt();
    sizeIndex = settings().value(karaokeKey("FontSize"), kDefaultSizeIndex).toInt();
    alignIndex = settings().value(karaokeKey("TextAlign"), 0).toInt();
    // A size the list does not have would give the lyrics a zero font.
    setFontSize(sizeIndex);
    ui->textFontCombo->setCurrentIndex(fontIndex);
    ui->textSizeCombo->setCurrentIndex(sizeIndex);
    ui->textAlignCombo->setCurrentIndex(alignIndex);
    ui->comboKarBgColor->setCurrentIndex(settings().value(karaokeKey("BackColor"), 7).toInt());
    ui->comboKarTxtColor->setCurrentIndex(settings().value(karaokeKey("TextColor"), 0).toInt());
    ui->comboKarHlColor->setCurrentIndex(settings().value(karaokeKey("HighlColor"), 3).toInt());

    const QString image = settings().value(karaokeKey("BackImage")).toString();
    const bool imageOn = settings().value(karaokeKey("BackImageEnabled"), false).toBool();
    showImageName(image);
    if (!image.isEmpty() && imageOn)
        ui->radioKarBgImage->setChecked(true);
    else
        ui->radioKarBgColor->setChecked(true);

    // A code the program does not know speaks English, and so says the box.
    const int language = settings().value(QStringLiteral("System/Lang"), 1).toInt();
    ui->languageCombo->setCurrentIndex(language >= 0 && language < languages.size() ? language : 1);
    ui->actionCombo->setCurrentIndex(getPlayAction());
    const QSignalBlocker quiet(ui->spinBoxLyricsOffset);
    ui->spinBoxLyricsOffset->setValue(getLyricsTimeOffset());
}

void SettingsView::showImageName(const QString &path)
{
    ui->pbBgImage->setText(path.isEmpty() ? tr("<none>") : QFileInfo(path).baseName());
}

// ---- getters and setters

QString SettingsView::getFont() const
{
    return fontFamilies.value(fontIndex);
}

Qt::Alignment SettingsView::getTextAlign() const
{
    return alignmentOf(alignIndex);
}

QString SettingsView::getKarBackImage() const
{
    return settings().value(karaokeKey("BackImage")).toString();
}

bool SettingsView::isKarBackImageEnabled() const
{
    return settings().value(karaokeKey("BackImageEnabled"), false).toBool() && !getKarBackImage().isEmpty();
}

QString SettingsView::colorAt(const QStringList &colors, const char *key, int fallback) const
{
    return colors.value(settings().value(karaokeKey(key), fallback).toInt(), QStringLiteral("#000000"));
}

QString SettingsView::getKarBackColor() const
{
    return colorAt(backgroundColors, "BackColor", 7);
}

QString SettingsView::getKarTextColor() const
{
    return colorAt(textColors, "TextColor", 0);
}

QString SettingsView::getKarHlColor() const
{
    return colorAt(highlightColors, "HighlColor", 3);
}

int SettingsView::getLyricsTimeOffset() const
{
    return settings().value(QStringLiteral("Playback/LiricsTimeOffset"), 0).toInt();
}

int SettingsView::getPlayAction() const
{
    return settings().value(QStringLiteral("System/DoubleClickAction"), 0).toInt();
}

void SettingsView::setFstRun(bool on)
{
    fastRun = on;
    if (engine)
        engine->setFastRun(on);
}

void SettingsView::setFontSize(int index)
{
    sizeIndex = index >= 0 && index < kSizeIndexCount ? index : kDefaultSizeIndex;
    fontPixelSize = pixelSizeOf(sizeIndex);
}

void SettingsView::resetSpinBoxTempoKey()
{
    ui->spinBoxTempo->setValue(0);
    ui->spinBoxKey->setValue(0);
}

// ---- the user's choices

void SettingsView::switchLanguage(int row)
{
    if (row < 0 || row >= languages.size())
        return;
    settings().setValue(QStringLiteral("System/Lang"), row);
    for (QTranslator **t : {&translator, &systemTranslator}) {
        if (*t) {
            QCoreApplication::removeTranslator(*t);
            delete *t;
            *t = nullptr;
        }
    }
    // Installing sends every widget the language change (changeEvent).
    installTranslators(row);
}

void SettingsView::chooseDoubleClickAction(int row)
{
    if (row >= 0 && row < doubleClickActions.size())
        settings().setValue(QStringLiteral("System/DoubleClickAction"), row);
}

void SettingsView::chooseChordNotation(int row)
{
    qDebug() << "Activated" << row;
    settings().setValue(QStringLiteral("MidiSettings/Chord"), row);
    chordMode = row;
    emit chordChanged(row);
}

void SettingsView::switchFastRun(bool checked)
{
    qDebug() << "Activated" << (checked ? "true" : "false");
    settings().setValue(QStringLiteral("MidiSettings/FastRun"), checked);
    setFstRun(checked);
}

void SettingsView::chooseTextFont(int row)
{
    qDebug() << "Activated" << row;
    settings().setValue(karaokeKey("Font"), row);
    fontIndex = row;
    emit fontFamilyChanged(getFont());
}

void SettingsView::chooseTextSize(int row)
{
    qDebug() << "Activated" << row;
    setFontSize(row);
    settings().setValue(karaokeKey("FontSize"), row);
    emit fontSizeChanged(fontPixelSize);
}

void SettingsView::chooseTextAlignment(int row)
{
    qDebug() << "Activated" << row;
    settings().setValue(karaokeKey("TextAlign"), row);
    alignIndex = row;
    emit fontAlignmentChanged(getTextAlign());
}

void SettingsView::chooseTextColor(int row)
{
    if (row < 0 || row >= textColors.size())
        return;
    settings().setValue(karaokeKey("TextColor"), row);
    emit colorKaraokeTextChanged(textColors.at(row));
}

void SettingsView::chooseHighlightColor(int row)
{
    if (row < 0 || row >= highlightColors.size())
        return;
    settings().setValue(karaokeKey("HighlColor"), row);
    emit colorKaraokeHighlightChanged(highlightColors.at(row));
}

void SettingsView::chooseBackgroundColor(int row)
{
    if (row < 0 || row >= backgroundColors.size())
        return;
    settings().setValue(karaokeKey("BackColor"), row);
    settings().setValue(karaokeKey("BackImageEnabled"), false);
    emit colorKaraokeBackgroundChanged(backgroundColors.at(row));
}

void SettingsView::chooseBackgroundImage()
{
    const QString path = chooseImageFile();
    if (path.isEmpty())
        return;
    settings().setValue(karaokeKey("BackImage"), path);
    settings().setValue(karaokeKey("BackImageEnabled"), true);
    showImageName(path);
    ui->radioKarBgImage->setChecked(true);
    emit imageKaraokeBackgroundChanged(path);
}

void SettingsView::useBackgroundImage(bool checked)
{
    if (!checked)
        return;
    settings().setValue(karaokeKey("BackImageEnabled"), true);
    emit imageKaraokeBackgroundChanged(getKarBackImage());
}

void SettingsView::useBackgroundColor(bool checked)
{
    if (!checked)
        return;
    settings().setValue(karaokeKey("BackImageEnabled"), false);
    emit colorKaraokeBackgroundChanged(getKarBackColor());
}

void SettingsView::setLyricsOffset(int value)
{
    settings().setValue(QStringLiteral("Playback/LiricsTimeOffset"), value);
    emit lyricsOffsetChanged(value);
}

void SettingsView::sendRuntimeKey(int value)
{
    emit runtimeKeyChanged(value);
}

void SettingsView::sendRuntimeTempo(int value)
{
    emit runtimeTempoChanged(value);
}

void SettingsView::on_loadSongChange(Song::LoadSongState state)
{
    if (state != Song::eLsLoaded && state != Song::eLsUnloaded)
        return;
    {
        // Quietly: a reset that reached the engine would overwrite the
        // freshly loaded song's own tempo and key before they are played.
        const QSignalBlocker quietTempo(ui->spinBoxTempo);
        const QSignalBlocker quietKey(ui->spinBoxKey);
        resetSpinBoxTempoKey();
    }
}

void SettingsView::restoreLayout()
{
    // The main window holding this page stays open: closing it would pause
    // the song and could end the program as its last window.
    const QWidget *mainWindow = parentWidget() ? parentWidget()->window() : nullptr;
    const bool quitOnLast = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w != mainWindow && w->isVisible())
            w->close();
    }
    QApplication::setQuitOnLastWindowClosed(quitOnLast);
    settings().remove(QStringLiteral("WindowsPosition"));
    emit resizeWindows();
}

void SettingsView::askToRebuildDatabase()
{
    if (confirm(tr("Rebuild Database"), tr("ATTENTION: Perform this operation only in case of malfunctions.") +
                                            QLatin1Char('\n') + tr("Do you want to proceed?")))
        emit rebuildDatabaseRequest();
}

void SettingsView::showAboutQt()
{
    QMessageBox::aboutQt(nullptr, QString());
}

// ---- events and prompts

void SettingsView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        fillLists();
        showImageName(getKarBackImage());
        retranslateDevices();
        fitWidth();
    }
    QWidget::changeEvent(event);
}

void SettingsView::showEvent(QShowEvent *event)
{
    if (engine) {
        // Shows what the song plays; nothing to send back.
        const QSignalBlocker quietTempo(ui->spinBoxTempo);
        const QSignalBlocker quietKey(ui->spinBoxKey);
        ui->spinBoxTempo->setValue(engine->getDeltaBpm());
        ui->spinBoxKey->setValue(engine->getDeltaKey());
        fillEmptyAudioBox();
    }
    showScheduling();
    QWidget::showEvent(event);
}

QWidget *SettingsView::warn(const QString &text)
{
    // Device warnings come during start-up: a box of its own event loop would
    // hold the first page and a song asked for on the command line.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Attention"), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
    return box;
}

bool SettingsView::confirm(const QString &title, const QString &text)
{
    return QMessageBox::question(parentWidget(), title, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString SettingsView::chooseImageFile()
{
    return QFileDialog::getOpenFileName(parentWidget(), tr("Open Image"), QString(),
                                        tr("Image Files (*.png *.jpg *.bmp)"));
}
