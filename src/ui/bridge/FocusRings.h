#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace kelvo::ui {

// Whether focus rings are shown: after the keyboard was used, not after a click. A click gives
// focus to nothing here, so a ring left on a control from earlier keyboard use would otherwise
// stay on screen while the user works with the mouse.
class FocusRings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool shown READ shown NOTIFY shownChanged)

public:
    explicit FocusRings(QObject* parent = nullptr);
    bool shown() const { return shown_; }

signals:
    void shownChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setShown(bool shown);
    bool shown_ = false;
};

} // namespace kelvo::ui
