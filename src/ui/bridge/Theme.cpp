#include "ui/bridge/Theme.h"

#include "ui/bridge/Fonts.h"
#include "ui/bridge/QtText.h"
#include "ui/logic/ViewLogic.h"

#include <QColor>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

namespace kelvo::ui {

Theme::Theme(AppState* app, ColorTable colors, QObject* parent) : QObject(parent), app_(app) {
    for (const auto& [name, value] : colors) {
        lightPalette_.insert(qtText(name), QColor(qtText(value.light)));
        darkPalette_.insert(qtText(name), QColor(qtText(value.dark)));
    }
    systemDark_ = platformLooksDark();
    dark_ = drawsDark(app_->theme(), systemDark_);
    connect(app_, &AppState::themeChanged, this, &Theme::update);
    if (qApp != nullptr) {
        qApp->installEventFilter(this);
    }
}

void Theme::setSystemDark(bool dark) {
    if (dark == systemDark_) {
        return;
    }
    systemDark_ = dark;
    emit systemDarkChanged();
    update();
}

QString Theme::monoFamily() const { return kelvo::ui::monoFamily(); }

QString Theme::displayFamily() const { return kelvo::ui::displayFamily(); }

QString Theme::toggleLabel() const { return qtText(kelvo::ui::toggleLabel(dark_)); }

qreal Theme::pointsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? 72.0 / dpi : 0.75;
}

void Theme::toggleAppearance() { app_->setTheme(toggledTheme(dark_)); }

bool Theme::platformLooksDark() {
    const QPalette palette = QGuiApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

bool Theme::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        setSystemDark(platformLooksDark());
    }
    return QObject::eventFilter(watched, event);
}

void Theme::update() {
    const bool dark = drawsDark(app_->theme(), systemDark_);
    if (dark == dark_) {
        return;
    }
    dark_ = dark;
    emit darkChanged();
}

} // namespace kelvo::ui
