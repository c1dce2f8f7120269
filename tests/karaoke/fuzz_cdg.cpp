// Hostile CD+G packets, played forwards and after a jump back: the picture
// keeps its size, format and 16 colours, and every pixel names one of them.
#include "CdgCmdExec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CdgCmdExec cdg;
    cdg.setBufferCdgCmd(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const uint end = uint(size / 24 * 10 / 3 + 4);
    for (uint ms : {end / 2, end, end / 3, end}) {
        const QImage &p = cdg.getImageAtMilliSec(ms);
        if (p.size() != QSize(300, 216) || p.format() != QImage::Format_Indexed8 || p.colorCount() != 16)
            abort();
        for (int i = 0; i < 300 * 216; ++i)
            if (p.constScanLine(i / 300)[i % 300] > 15)
                abort();
    }
    return 0;
}
