#pragma once

#include "ui/bridge/AppState.h"
#include "ui/logic/ColorTable.h"

#include <QObject>
#include <QVariantMap>

namespace kelvo::ui {

// The colour scheme the window is drawn in and the named colours for it. QML reads colours by
// name through the Theme singleton of the components (Theme.color("surface"), from palette).
class Theme : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool dark READ dark NOTIFY darkChanged)
    Q_PROPERTY(bool systemDark READ systemDark WRITE setSystemDark NOTIFY systemDarkChanged)
    Q_PROPERTY(QVariantMap palette READ palette NOTIFY darkChanged)
    Q_PROPERTY(QString monoFamily READ monoFamily CONSTANT)
    Q_PROPERTY(QString displayFamily READ displayFamily CONSTANT)
    // The appearance toggle's text: "Light mode" while drawn dark, else "Dark mode".
    Q_PROPERTY(QString toggleLabel READ toggleLabel NOTIFY darkChanged)
    // Typographic points per logical pixel on the primary screen (72 / logical DPI).
    Q_PROPERTY(qreal pointsPerPixel READ pointsPerPixel CONSTANT)

public:
    Theme(AppState* app, ColorTable colors, QObject* parent = nullptr);

    bool dark() const { return dark_; }
    bool systemDark() const { return systemDark_; }
    void setSystemDark(bool dark);
    QVariantMap palette() const { return dark_ ? darkPalette_ : lightPalette_; }
    QString monoFamily() const;
    QString displayFamily() const;
    QString toggleLabel() const;
    static qreal pointsPerPixel();

    // The title bar's toggle: light when drawn dark, dark otherwise (never back to system).
    Q_INVOKABLE void toggleAppearance();

    // Whether the platform's palette looks dark (its window colour is darker than its text).
    static bool platformLooksDark();

signals:
    void darkChanged();
    void systemDarkChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update();

    AppState* app_;
    QVariantMap lightPalette_;
    QVariantMap darkPalette_;
    bool systemDark_ = false;
    bool dark_ = false;
};

} // namespace kelvo::ui
