// Any bytes read as a patch file give a patch whose own file text reads back
// to the same text, and whose layer count is the number of active layers.
#include "MKPatch.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        return true;
    }();
    (void)quiet;
    if (size > 64 * 1024)
        return 0;
    const QString folder = QStringLiteral("/nonexistent-velmar/");
    MKPatch read(folder, false);
    read.readPatchText(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    int active = 0;
    for (int i = 0; i < MK_LAYERS; ++i) {
        S_MKLayer l;
        read.getLayerAt(&l, i);
        active += l.active ? 1 : 0;
    }
    if (read.layerCount() != active)
        abort();
    const QByteArray text = read.patchText();
    MKPatch again(folder, true);
    again.readPatchText(text);
    if (again.patchText() != text)
        abort();
    return 0;
}
