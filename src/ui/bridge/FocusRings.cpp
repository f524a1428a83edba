#include "ui/bridge/FocusRings.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace kelvo::ui {

FocusRings::FocusRings(QObject* parent) : QObject(parent) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        application->installEventFilter(this);
    }
}

bool FocusRings::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        // A modifier alone is not keyboard use yet: Ctrl held for a click is still the mouse.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt && key != Qt::Key_Meta) {
            setShown(true);
        }
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::TouchBegin: setShown(false); break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

void FocusRings::setShown(bool shown) {
    if (shown_ != shown) {
        shown_ = shown;
        emit shownChanged();
    }
}

} // namespace kelvo::ui
