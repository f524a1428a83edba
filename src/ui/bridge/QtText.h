#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace kelvo::ui {

inline QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string stdText(const QString& text) { return text.toStdString(); }

} // namespace kelvo::ui
