// velmar-extract FILE: the lyric rows, syllables and chords that the decoder
// finds in a song file, as one JSON object on standard output.
#include "ExtractTool.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

namespace {
// The decoder's own log lines would mix with the one error line.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: velmar-extract FILE\n");
        return 2;
    }
    qInstallMessageHandler(quiet);
    const QString path = args[1];
    const ExtractTool tool(path);
    if (!tool.isLoaded()) {
        std::fprintf(stderr, "velmar-extract: %s: %s\n", qPrintable(path), qPrintable(tool.errorString()));
        return 1;
    }
    QJsonObject out = tool.toJson();
    out.insert(QStringLiteral("parsedText"), tool.getParsedJsonText(0).value(QStringLiteral("data")));
    out.insert(QStringLiteral("parsedChords"), tool.getParsedJsonChords(0).value(QStringLiteral("data")));
    const QByteArray json = QJsonDocument(out).toJson(QJsonDocument::Compact);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fputc('\n', stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
