#include "update/Updater.h"

namespace kelvo {

Updater::Updater(QObject* parent) : QObject(parent) {}

void Updater::setAutomaticallyChecksForUpdates(bool value) {
    if (value == automaticallyChecksForUpdates_) {
        return;
    }
    automaticallyChecksForUpdates_ = value;
    emit automaticallyChecksForUpdatesChanged();
}

void Updater::checkForUpdates() {
    // No update framework on this platform: nothing to start.
}

void Updater::setCanCheckForUpdates(bool value) {
    if (value == canCheckForUpdates_) {
        return;
    }
    canCheckForUpdates_ = value;
    emit canCheckForUpdatesChanged();
}

} // namespace kelvo
