#pragma once

#include <QString>

namespace kelvo::ui {

// Registers every .ttf, then every .otf, in <resourceDirectory>/fonts and directly in
// resourceDirectory for this process. A failed registration is ignored.
void registerFonts(const QString& resourceDirectory);

// "JetBrains Mono" when it can be had, else the system's fixed-pitch family. Decided once.
QString monoFamily();
// "Space Grotesk" when it can be had, else the application's default family. Decided once.
QString displayFamily();

} // namespace kelvo::ui
