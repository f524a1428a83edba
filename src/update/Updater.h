#pragma once

#include <QObject>

namespace kelvo {

// Update checking. Where no update framework exists (Linux), this is the inert form: no check
// can be started, checkForUpdates() does nothing, and the automatic-check setting is a plain
// stored value. Main thread only.
class Updater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
            setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)

public:
    explicit Updater(QObject* parent = nullptr);

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
