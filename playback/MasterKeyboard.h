// The master keyboard's patch library: the ".PTC" patches of one folder in
// the user's order ("_order.txt"), sorted into 16 groups ("_groups.ini"), the
// selected patch sent to output 3, and the balance of keyboard against song.
//
// Threads: every operation runs on the thread that owns the object. Each
// change of the selection, the keyboard transpose or a layer of the selected
// patch publishes a new immutable MKRouting; the listener on "mkThread" reads
// only that snapshot, never the patches, which this object may delete.
#pragma once

#include "MKPatch.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>

// What the listener routes through: the selected patch's layers and the
// keyboard transpose, frozen at one moment.
struct MKRouting {
    S_MKLayer layers[MK_LAYERS];
    int transpose;
};

class MasterKeyboard : public QObject
{
    Q_OBJECT
public:
    static const QStringList patchGroupNames; // 16 names; 15 is "User Preset"
    static constexpr int USER_GROUP = 15;
    // Current patch index values besides library positions.
    static constexpr int NO_PATCH = -1;
    static constexpr int ACCORDION_PATCH = -2;
    static constexpr int EDIT_PATCH = -3;

    MasterKeyboard();
    ~MasterKeyboard() override;

    // Takes folder (a separator is added when missing), makes the edit and
    // accordion patches and scans the folder.
    void init(const QString &folder);
    // Rebuilds groups and library from the folder; nothing is selected after.
    void scanFolderForPatches();

    // Selects a library patch and sends it to output 3.
    void loadPatch(int index);
    void loadPatch(const QString &path);
    MKPatch *getPatchByIndex(int index) const;
    int getPatchPosFromFile(const QString &path) const;
    QStringList getPatchNameList() const;
    QString getPatchName(int index) const;
    // Library positions of the patches in group, in library order.
    QList<int> getGroupPatch(int group) const;
    MKPatch *getLoadedPatch() const;

    // Select the edit patch with one sound, or the accordion patch.
    void loadInstrumet(const GS_INSTRUMENT_NAME *instrument);
    void loadDrumKit(const GS_DRUM_KIT_NAME *drumKit);
    void loadAccordion();

    // Appends, selects and saves a new patch; the new library size.
    int createNewPatch(int type, const QString &name);
    void deletePatch(int index);
    // Moves the selected library patch by step places; false when it would
    // leave the library or nothing of the library is selected.
    bool moveCurrentPatch(int step);
    // Only factory patches ("P-KVERO...") can be added to or removed from
    // the user group: user patches are in it anyway.
    bool addPatchToUserGroup(MKPatch *patch);
    bool removePatchFromUserGroup(MKPatch *patch);
    bool savePatchOrderedList();

    // Master volume of output 3; master factor of the song's volume.
    void setMasterKeyboardVolume(uchar volume);
    void setSequencerVolume(uchar volume);
    int getVolumeBalance() const { return m_volumeBalance; }
    // -127..127: below 0 lowers the keyboard, above 0 lowers the song.
    void setVolumeBalance(int balance);
    int getTranspose() const { return m_transpose; }
    void setTranspose(int semitones);
    bool isEditing() const { return m_editing; }
    void setEditingState(bool editing) { m_editing = editing; }
    int getCurrPatchIndex() const { return m_currentIndex; }

    // The snapshot the listener plays through; null while nothing is selected.
    // Safe from any thread.
    std::shared_ptr<const MKRouting> routing() const;

    // Note in the layer's key range and, for a note-on (0x90), the velocity
    // in its velocity range.
    static bool IsInRange(const S_MKLayer *layer, uchar note, uchar velocity, uchar status);
    bool isActionCtrlChng(uchar controller) const;
    static bool isCorrectSrcChannel(int status, uchar sourceChannel);
    static bool isSystemPatch(const QString &fileName);

private:
    void adopt(MKPatch *patch);
    void clearLibrary();
    // Makes index current, sends patch (when given) and publishes it.
    void select(int index, MKPatch *patch);
    // Layer 0 of the edit patch becomes one sound; the edit patch is selected.
    void selectEditPatch(const std::function<void(MKPatch *)> &setSound);
    void appendUserPatch(MKPatch *patch);
    bool writeUserGroup();
    QString groupsFile() const;
    QString orderFile() const;
    void publishRouting();

    QList<QStringList> m_groups;
    MKPatch *m_editPatch = nullptr;
    MKPatch *m_accordionPatch = nullptr;
    QList<MKPatch *> m_patches;
    int m_currentIndex = NO_PATCH;
    int m_volumeBalance = 0;
    bool m_editing = false;
    int m_transpose = 0;
    uchar m_actionControllers[3] = {1, 64, 11};
    QString m_folder;

    mutable std::mutex m_routingMutex; // guards m_routing only
    std::shared_ptr<const MKRouting> m_routing;
};
