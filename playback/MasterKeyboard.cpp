#include "MasterKeyboard.h"

#include "MIDI_const.h"
#include "SafeSave.h"
#include "Sequencer.h"
#include "midi_controls.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <algorithm>

namespace {
const QString ORDER_FILE = QStringLiteral("_order.txt");
const QString GROUPS_FILE = QStringLiteral("_groups.ini");
const QString ACCORDION_FILE = QStringLiteral("ACCORDION.PTC");
const QString SYSTEM_PREFIX = QStringLiteral("P-KVERO");
const QString GROUP_KEY = QStringLiteral("Group_%1");
} // namespace

const QStringList MasterKeyboard::patchGroupNames = {
    QStringLiteral("Acoustic Piano"), QStringLiteral("Electric Piano"),
    QStringLiteral("Piano & Layer"),  QStringLiteral("Organ"),
    QStringLiteral("Accordeon"),      QStringLiteral("Brass & Winds"),
    QStringLiteral("Strings"),        QStringLiteral("Synth Pad"),
    QStringLiteral("Synth Lead"),     QStringLiteral("Guitar"),
    QStringLiteral("Guitar & Layer"), QStringLiteral("Classic Splits"),
    QStringLiteral("Folk"),           QStringLiteral("Bass"),
    QStringLiteral("Drums & Efx"),    QStringLiteral("User Preset"),
};

MasterKeyboard::MasterKeyboard() = default;

MasterKeyboard::~MasterKeyboard()
{
    clearLibrary();
}

void MasterKeyboard::init(const QString &folder)
{
    m_folder = folder;
    if (!m_folder.endsWith(QLatin1Char('/')))
        m_folder += QLatin1Char('/');
    delete m_editPatch;
    delete m_accordionPatch;
    m_editPatch = new MKPatch(m_folder, false);
    m_accordionPatch = new MKPatch(m_folder, true);
    adopt(m_editPatch);
    adopt(m_accordionPatch);
    scanFolderForPatches();
}

void MasterKeyboard::adopt(MKPatch *patch)
{
    patch->setParent(this);
    connect(patch, &MKPatch::layersChanged, this, [this, patch] {
        if (patch == getLoadedPatch())
            publishRouting();
    });
}

void MasterKeyboard::clearLibrary()
{
    select(NO_PATCH, nullptr);
    qDeleteAll(m_patches);
    m_patches.clear();
}

bool MasterKeyboard::isSystemPatch(const QString &fileName)
{
    return fileName.startsWith(SYSTEM_PREFIX);
}

QString MasterKeyboard::groupsFile() const
{
    return m_folder + GROUPS_FILE;
}

QString MasterKeyboard::orderFile() const
{
    return m_folder + ORDER_FILE;
}

void MasterKeyboard::appendUserPatch(MKPatch *patch)
{
    m_patches.append(patch);
    const QString name = QFileInfo(patch->getPath()).fileName();
    if (!isSystemPatch(name) && !m_groups[USER_GROUP].contains(name))
        m_groups[USER_GROUP].append(name);
}

void MasterKeyboard::scanFolderForPatches()
{
    clearLibrary();
    m_groups.clear();
    {
        QSettings ini(groupsFile(), QSettings::IniFormat);
        for (int i = 0; i < patchGroupNames.size(); ++i) {
            QStringList names = ini.value(GROUP_KEY.arg(i)).toStringList();
            names.removeDuplicates();
            m_groups.append(names);
        }
    }

    auto load = [this](const QString &path) {
        auto *patch = new MKPatch(m_folder, false);
        patch->setPath(path);
        if (!patch->readPatchFromFile()) {
            qWarning().noquote() << "The patch cannot be loaded:" << path;
            delete patch;
            return;
        }
        adopt(patch);
        appendUserPatch(patch);
    };

    const QDir dir(m_folder);
    QSet<QString> ordered;
    QFile order(orderFile());
    if (order.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QStringList lines = QString::fromUtf8(order.readAll()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.isEmpty() || ordered.contains(line))
                continue;
            ordered.insert(line);
            // Only patches of this folder: a library delete removes the file.
            if (QFileInfo(line).absoluteDir() != dir) {
                qWarning().noquote() << "The patch cannot be loaded:" << line;
                continue;
            }
            load(line);
        }
    }

    if (!dir.exists())
        QDir().mkpath(m_folder);
    const QStringList files = dir.entryList({QStringLiteral("P*.PTC")},
                                            QDir::Files | QDir::CaseSensitive, QDir::Name);
    for (const QString &name : files) {
        const QString path = m_folder + name;
        if (!ordered.contains(path))
            load(path);
    }

    if (m_accordionPatch) {
        m_accordionPatch->setPath(m_folder + ACCORDION_FILE);
        if (!QFile::exists(m_accordionPatch->getPath()) || !m_accordionPatch->readPatchFromFile())
            m_accordionPatch->savePatch();
    }
}

MKPatch *MasterKeyboard::getPatchByIndex(int index) const
{
    if (index < 0 || index >= m_patches.size()) {
        qCritical() << "No patch is active";
        return nullptr;
    }
    return m_patches[index];
}

int MasterKeyboard::getPatchPosFromFile(const QString &path) const
{
    if (path.isEmpty())
        return -1;
    for (int i = 0; i < m_patches.size(); ++i) {
        if (m_patches[i]->getPath() == path)
            return i;
    }
    return -1;
}

QStringList MasterKeyboard::getPatchNameList() const
{
    QStringList names;
    for (const MKPatch *p : m_patches)
        names << p->getName();
    return names;
}

QString MasterKeyboard::getPatchName(int index) const
{
    return index >= 0 && index < m_patches.size() ? m_patches[index]->getName() : QString();
}

QList<int> MasterKeyboard::getGroupPatch(int group) const
{
    QList<int> out;
    if (group < 0 || group >= m_groups.size())
        return out;
    for (int i = 0; i < m_patches.size(); ++i) {
        if (m_groups[group].contains(QFileInfo(m_patches[i]->getPath()).fileName()))
            out << i;
    }
    return out;
}

MKPatch *MasterKeyboard::getLoadedPatch() const
{
    if (m_currentIndex >= 0)
        return m_currentIndex < m_patches.size() ? m_patches[m_currentIndex] : nullptr;
    if (m_currentIndex == EDIT_PATCH)
        return m_editPatch;
    if (m_currentIndex == ACCORDION_PATCH)
        return m_accordionPatch;
    return nullptr;
}

void MasterKeyboard::select(int index, MKPatch *patch)
{
    m_currentIndex = index;
    if (patch)
        patch->sendPatchConfiguration();
    publishRouting();
}

void MasterKeyboard::loadPatch(int index)
{
    MKPatch *patch = getPatchByIndex(index);
    if (!patch)
        return;
    qInfo().noquote() << "Loading " + patch->getName();
    select(index, patch);
}

void MasterKeyboard::loadPatch(const QString &path)
{
    const int index = getPatchPosFromFile(path);
    if (index >= 0)
        loadPatch(index);
}

void MasterKeyboard::selectEditPatch(const std::function<void(MKPatch *)> &setSound)
{
    if (!m_editPatch)
        return;
    m_currentIndex = EDIT_PATCH;
    setSound(m_editPatch);
    select(EDIT_PATCH, m_editPatch);
}

void MasterKeyboard::loadInstrumet(const GS_INSTRUMENT_NAME *instrument)
{
    if (instrument)
        selectEditPatch([instrument](MKPatch *p) { p->setLayerInstrument(0, instrument); });
}

void MasterKeyboard::loadDrumKit(const GS_DRUM_KIT_NAME *drumKit)
{
    if (drumKit)
        selectEditPatch([drumKit](MKPatch *p) { p->setLayerDrumKit(0, drumKit); });
}

void MasterKeyboard::loadAccordion()
{
    if (m_accordionPatch)
        select(ACCORDION_PATCH, m_accordionPatch);
}

int MasterKeyboard::createNewPatch(int type, const QString &name)
{
    auto *patch = new MKPatch(m_folder, type == 1);
    patch->setName(name);
    adopt(patch);
    appendUserPatch(patch);
    select(int(m_patches.size()) - 1, nullptr);
    patch->savePatch();
    savePatchOrderedList();
    return int(m_patches.size());
}

void MasterKeyboard::deletePatch(int index)
{
    MKPatch *patch = getPatchByIndex(index);
    if (!patch)
        return;
    m_patches.removeAt(index);
    select(NO_PATCH, nullptr);
    if (!patch->removePatchFile())
        qWarning().noquote() << "The patch file to delete is missing"
                             << patch->getPath();
    delete patch;
    // Keeps the next scan from warning about the file that is gone.
    savePatchOrderedList();
}

bool MasterKeyboard::moveCurrentPatch(int step)
{
    if (m_currentIndex < 0 || m_currentIndex >= m_patches.size())
        return false;
    const int target = m_currentIndex + step;
    if (target < 0 || target >= m_patches.size())
        return false;
    m_patches.move(m_currentIndex, target);
    m_currentIndex = target;
    return true;
}

bool MasterKeyboard::writeUserGroup()
{
    // Only the factory patches the user added: user patches join the group
    // at every scan, so writing them would pile them up in the file.
    QStringList added;
    for (const QString &name : m_groups[USER_GROUP]) {
        if (isSystemPatch(name))
            added << name;
    }
    QSettings ini(groupsFile(), QSettings::IniFormat);
    ini.setValue(GROUP_KEY.arg(USER_GROUP), added);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool MasterKeyboard::addPatchToUserGroup(MKPatch *patch)
{
    if (!patch || m_groups.size() != patchGroupNames.size())
        return false;
    const QString name = QFileInfo(patch->getPath()).fileName();
    if (!isSystemPatch(name) || m_groups[USER_GROUP].contains(name))
        return false;
    m_groups[USER_GROUP].append(name);
    writeUserGroup();
    return true;
}

bool MasterKeyboard::removePatchFromUserGroup(MKPatch *patch)
{
    if (!patch || m_groups.size() != patchGroupNames.size())
        return false;
    const QString name = QFileInfo(patch->getPath()).fileName();
    if (!isSystemPatch(name) || !m_groups[USER_GROUP].removeAll(name))
        return false;
    writeUserGroup();
    return true;
}

bool MasterKeyboard::savePatchOrderedList()
{
    QByteArray text;
    for (const MKPatch *p : m_patches)
        text += p->getPath().toUtf8() + '\n';
    QString why;
    if (!SafeSave::writeFile(orderFile(), {text}, &why)) {
        qWarning().noquote() << "[MasterKeyboard::savePatchOrderedList]" << why;
        return false;
    }
    return true;
}

void MasterKeyboard::setMasterKeyboardVolume(uchar volume)
{
    MIDI_CONTROLS_PushSysExVol(std::min<int>(volume, 127), MidiOutput::of<3>());
}

void MasterKeyboard::setSequencerVolume(uchar volume)
{
    if (sequencer)
        sequencer->SetMasterKFactor(std::min<int>(volume, 127));
}

void MasterKeyboard::setVolumeBalance(int balance)
{
    m_volumeBalance = std::clamp(balance, -127, 127);
    setMasterKeyboardVolume(uchar(m_volumeBalance <= 0 ? 127 + m_volumeBalance : 127));
    setSequencerVolume(uchar(m_volumeBalance > 0 ? 127 - m_volumeBalance : 127));
}

void MasterKeyboard::setTranspose(int semitones)
{
    m_transpose = semitones;
    publishRouting();
}

void MasterKeyboard::publishRouting()
{
    std::shared_ptr<const MKRouting> next;
    if (const MKPatch *patch = getLoadedPatch()) {
        auto fresh = std::make_shared<MKRouting>();
        for (int i = 0; i < MK_LAYERS; ++i)
            patch->getLayerAt(&fresh->layers[i], i);
        fresh->transpose = m_transpose;
        next = std::move(fresh);
    }
    {
        std::lock_guard<std::mutex> lock(m_routingMutex);
        m_routing.swap(next);
    }
    // The old snapshot, when nobody holds it any more, is freed here, so the
    // listener never waits on a free.
}

std::shared_ptr<const MKRouting> MasterKeyboard::routing() const
{
    std::lock_guard<std::mutex> lock(m_routingMutex);
    return m_routing;
}

bool MasterKeyboard::IsInRange(const S_MKLayer *layer, uchar note, uchar velocity, uchar status)
{
    if (!layer || note < layer->lowKey || note > layer->highKey)
        return false;
    return (status & 0xF0) != 0x90 ||
           (velocity >= layer->lowVelocity && velocity <= layer->highVelocity);
}

bool MasterKeyboard::isActionCtrlChng(uchar controller) const
{
    return std::find(std::begin(m_actionControllers), std::end(m_actionControllers),
                     controller) != std::end(m_actionControllers);
}

bool MasterKeyboard::isCorrectSrcChannel(int status, uchar sourceChannel)
{
    return sourceChannel == MK_ANY_CHANNEL || (status & 0x0F) == sourceChannel;
}
