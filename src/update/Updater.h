#pragma once

#include <QObject>

namespace kelvo {

// Update checking. Where no update framework exists (Linux), this is the inert form: no check
// can be started, checkForUpdates() does nothing, and the automatic-check setting is a plain
// stored value. Main thread only.
class Updater : public QObject {
    Q_OBJECT
    // Whether this build has an update framework at all; without one, updates come from the
    // package Kelvo was installed from and the window offers no update controls.
    Q_PROPERTY(bool available READ available CONSTANT)
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
            setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)

public:
    explicit Updater(QObject* parent = nullptr);

    bool available() const { return false; }
    bool canCheckForUpdates() const { return canCheckForUpdates_; }
    bool automaticallyChecksForUpdates() const { return automaticallyChecksForUpdates_; }
    void setAutomaticallyChecksForUpdates(bool value);

    Q_INVOKABLE void checkForUpdates();

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();

protected:
    // Takes a value reported by an update framework: written only when it differs.
    void setCanCheckForUpdates(bool value);

private:
    bool canCheckForUpdates_ = false;
    bool automaticallyChecksForUpdates_ = false;
};

} // namespace kelvo
