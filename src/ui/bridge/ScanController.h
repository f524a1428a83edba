#pragma once

#include "scan/ScanCoordinator.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::ui {

// The window's scan: one ScanCoordinator over the standard adapters, observed on the Qt event
// loop. The coordinator is made by the first scan().
class ScanController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(bool hasResult READ hasResult NOTIFY resultChanged)
    Q_PROPERTY(double scannedAt READ scannedAt NOTIFY resultChanged)
    // Raw kind -> total bytes of each detected report of the result; empty while there is none.
    Q_PROPERTY(QVariantMap detectedTotals READ detectedTotals NOTIFY resultChanged)
    // Raw kinds whose adapter has returned in the newest run.
    Q_PROPERTY(QStringList finishedKinds READ finishedKinds NOTIFY progressChanged)
    // Raw kind -> {files, bytes} measured so far by each adapter of the running scan, refreshed ten
    // times a second at most while it runs; empty when no scan runs.
    Q_PROPERTY(QVariantMap liveCounts READ liveCounts NOTIFY liveCountsChanged)
    // The folders the next scan searches for projects (the settings' choice).
    Q_PROPERTY(QStringList projectFolders READ projectFolders WRITE setProjectFolders NOTIFY projectFoldersChanged)

public:
    explicit ScanController(QObject* parent = nullptr);
    ~ScanController() override;

    bool isScanning() const;
    bool hasResult() const;
    double scannedAt() const;
    QVariantMap detectedTotals() const;
    QStringList finishedKinds() const;
    QVariantMap liveCounts() const { return liveCounts_; }

    // The current result, or nullptr.
    const ScanResult* currentResult() const;

    Q_INVOKABLE void scan();

    QStringList projectFolders() const;
    void setProjectFolders(const QStringList& folders);

    // Scans with these adapters instead of the standard ones (tests and screenshots), from the
    // next scan() on; a result of other adapters is dropped.
    void setAdapters(AdapterList adapters);

signals:
    void isScanningChanged();
    void resultChanged();
    void progressChanged();
    void liveCountsChanged();
    void projectFoldersChanged();

private:
    ScanCoordinator& coordinator();
    // Reads the coordinator's counts into liveCounts_; keeps the timer running only while scanning.
    void refreshLiveCounts();

    std::optional<AdapterList> givenAdapters_;
    std::unique_ptr<ScanCoordinator> coordinator_;
    QVariantMap liveCounts_;
    QTimer liveTimer_;
    // Read by the projects' adapter on its worker thread at the start of each scan.
    struct Folders {
        std::mutex mutex;
        std::vector<std::string> folders;
    };
    std::shared_ptr<Folders> projectFolders_ = std::make_shared<Folders>();
};

} // namespace kelvo::ui
