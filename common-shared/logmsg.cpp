#include "logmsg.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QMessageLogger>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>

void logMsg(int level, const char *sourceFile, int line, const char *format, ...)
{
    if (level > 4)
        return;
    static const char noText[] = "";
    if (!format)
        format = noText;

    char head[96];
    std::snprintf(head, sizeof head, "[%llu] %s: (%d) : ",
                  static_cast<unsigned long long>(getTimeStampMilliSec()),
                  sourceFile ? sourceFile : "", line);

    char stackBuf[512];
    va_list ap;
    va_start(ap, format);
    va_list ap2;
    va_copy(ap2, ap);
    const int n = std::vsnprintf(stackBuf, sizeof stackBuf, format, ap);
    va_end(ap);
    QByteArray text(head);
    if (n >= int(sizeof stackBuf)) {
        QByteArray big(n + 1, '\0');
        std::vsnprintf(big.data(), size_t(n) + 1, format, ap2);
        big.truncate(n);
        text += big;
    } else if (n > 0) {
        text += QByteArray(stackBuf, n);
    }
    va_end(ap2);

    const QMessageLogger logger(sourceFile, line, nullptr, "default");
    const QString msg = QString::fromUtf8(text);
    switch (level) {
    case 2:
        logger.warning().noquote() << msg;
        break;
    case 3:
        logger.info().noquote() << msg;
        break;
    case 4:
        logger.debug().noquote() << msg;
        break;
    default: // 0, 1 and anything negative
        logger.critical().noquote() << msg;
        break;
    }
}

uint64_t getTimeStampMilliSec()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
}

uint32_t convertTicksTimeToMilliSeconds(int ticks, unsigned tpqn, unsigned bpm)
{
    const double div = double(tpqn) * double(bpm);
    if (div <= 0.0)
        return 0;
    return uint32_t(double(ticks) * 60000.0 / div);
}

uint32_t convertMilliSecondsTimeToTicks(int ms, unsigned tpqn, unsigned bpm)
{
    const double ticks = std::trunc(double(tpqn) * double(bpm) * double(ms) / 60000.0);
    return uint32_t(int32_t(std::clamp(ticks, double(INT32_MIN), double(INT32_MAX))));
}

void strlwr_s(char *s, int n)
{
    for (int i = 0; s && i < n && s[i]; ++i)
        if (s[i] >= 'A' && s[i] <= 'Z')
            s[i] = char(s[i] - 'A' + 'a');
}

void strupr_s(char *s, int n)
{
    for (int i = 0; s && i < n && s[i]; ++i)
        if (s[i] >= 'a' && s[i] <= 'z')
            s[i] = char(s[i] - 'a' + 'A');
}

char *strlwr(char *s)
{
    for (int i = 0; s && i < 100 && s[i]; ++i)
        s[i] = char(std::tolower(static_cast<unsigned char>(s[i])));
    return s;
}

char *strupr(char *s)
{
    for (int i = 0; s && i < 100 && s[i]; ++i)
        s[i] = char(std::toupper(static_cast<unsigned char>(s[i])));
    return s;
}

char *_itoa_k(int value, char *out)
{
    if (value < 1000)
        std::snprintf(out, 16, "%i", value);
    else
        std::snprintf(out, 16, "%i.%03i", value / 1000, value % 1000);
    return out;
}

bool isAlphaNumChar(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

uint8_t semiMute(uint8_t velocity)
{
    return uint8_t(velocity / 2);
}
