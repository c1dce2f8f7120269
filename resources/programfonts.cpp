#include "programfonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QHash>

namespace {

struct Family {
    const char *looks;     // the name the forms and settings use
    const char *resource;  // font file compiled in, or nullptr
    const char *standIn;   // installed family when there is no file
};

// Stand-ins: DotGothic16 (fonts-dotgothic16) for the dot-matrix display,
// Comic Neue Bold (fonts-comic-neue) for the marker lettering of the chords,
// Open Sans (fonts-open-sans) for the lyrics, DejaVu Sans (fonts-dejavu-core)
// for Verdana, Liberation Mono (fonts-liberation2) for Courier and Beteckna
// (fonts-beteckna) for Futura.
const Family kFamilies[] = {
    {"LCDDot", ":/fonts/lcddot.ttf", nullptr},
    {"Marker Felt", ":/fonts/Marker_Felt_Wide.ttf", nullptr},
    {"TitilliumWeb", nullptr, "Open Sans"},
    {"Verdana", nullptr, "DejaVu Sans"},
    {"Courier", nullptr, "Liberation Mono"},
    {"Futura", nullptr, "Beteckna"},
};

QHash<QString, int> &loaded()
{
    static QHash<QString, int> ids;
    return ids;
}

} // namespace

int ProgramFonts::addApplicationFont(const QString &resource)
{
    auto &ids = loaded();
    const auto known = ids.constFind(resource);
    if (known != ids.constEnd())
        return *known;
    const int id = QFontDatabase::addApplicationFont(resource);
    ids.insert(resource, id);
    if (id < 0)
        return id;
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    for (const Family &f : kFamilies) {
        if (f.resource && resource == QLatin1String(f.resource) && !families.isEmpty())
            QFont::insertSubstitution(QLatin1String(f.looks), families.first());
    }
    return id;
}

void ProgramFonts::install()
{
    for (const Family &f : kFamilies) {
        if (f.resource)
            addApplicationFont(QLatin1String(f.resource));
        else if (QFont::substitute(QLatin1String(f.looks)) == QLatin1String(f.looks))
            QFont::insertSubstitution(QLatin1String(f.looks), QLatin1String(f.standIn));
    }
}

QString ProgramFonts::standIn(const QString &family)
{
    return QFont::substitute(family);
}
