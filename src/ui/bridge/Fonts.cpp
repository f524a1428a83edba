#include "ui/bridge/Fonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>

namespace kelvo::ui {

void registerFonts(const QString& resourceDirectory) {
    for (const QString& extension : {QStringLiteral("ttf"), QStringLiteral("otf")}) {
        for (const QString& directory : {resourceDirectory + QStringLiteral("/fonts"), resourceDirectory}) {
            const QDir dir(directory);
            const auto files = dir.entryList({QStringLiteral("*.") + extension}, QDir::Files, QDir::Name);
            for (const QString& file : files) {
                QFontDatabase::addApplicationFont(dir.filePath(file));
            }
        }
    }
}

namespace {
bool familyAvailable(const QString& family) { return QFontDatabase::families().contains(family); }
} // namespace

QString monoFamily() {
    static const QString family = familyAvailable(QStringLiteral("JetBrains Mono"))
                                      ? QStringLiteral("JetBrains Mono")
                                      : QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    return family;
}

QString displayFamily() {
    static const QString family = familyAvailable(QStringLiteral("Space Grotesk")) ? QStringLiteral("Space Grotesk")
                                                                                   : QGuiApplication::font().family();
    return family;
}

} // namespace kelvo::ui
