#include "ui/bridge/ScanController.h"

#include "inventory/DisplayText.h"
#include "scan/StandardAdapters.h"
#include "ui/bridge/QtText.h"

#include <QCoreApplication>

namespace kelvo::ui {

namespace {
// Hands work from the coordinator's worker threads to the Qt event loop. A worker that ends
// after the application object is gone (a scan still running at quit) has nowhere to post.
void postToMainThread(std::function<void()> task) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
    }
}
} // namespace

ScanController::ScanController(QObject* parent) : QObject(parent) {
    liveTimer_.setInterval(100);
    connect(&liveTimer_, &QTimer::timeout, this, &ScanController::refreshLiveCounts);
}

ScanController::~ScanController() = default;

void ScanController::setAdapters(AdapterList adapters) {
    givenAdapters_ = std::move(adapters);
    if (coordinator_) {
        // The old adapters' coordinator goes with its result; a run of it still going publishes nowhere.
        coordinator_.reset();
        refreshLiveCounts();
        emit isScanningChanged();
        emit resultChanged();
        emit progressChanged();
    }
}

ScanCoordinator& ScanController::coordinator() {
    if (!coordinator_) {
        const auto roots = [folders = projectFolders_] {
            std::lock_guard lock(folders->mutex);
            return folders->folders;
        };
        coordinator_ = std::make_unique<ScanCoordinator>(
            givenAdapters_ ? *givenAdapters_ : standardAdapterList(standardToolLocations(), roots), postToMainThread);
        coordinator_->onIsScanningChanged = [this] {
            refreshLiveCounts();
            emit isScanningChanged();
        };
        coordinator_->onResultChanged = [this] { emit resultChanged(); };
        coordinator_->onProgressChanged = [this] { emit progressChanged(); };
    }
    return *coordinator_;
}

bool ScanController::isScanning() const { return coordinator_ && coordinator_->isScanning(); }

bool ScanController::hasResult() const { return currentResult() != nullptr; }

double ScanController::scannedAt() const {
    const ScanResult* result = currentResult();
    return result ? result->scannedAt : 0;
}

QStringList ScanController::finishedKinds() const {
    QStringList kinds;
    if (coordinator_) {
        for (ManagerKind kind : coordinator_->finishedKinds()) {
            kinds << qtText(rawValue(kind));
        }
    }
    return kinds;
}

const ScanResult* ScanController::currentResult() const {
    if (!coordinator_ || !coordinator_->result()) {
        return nullptr;
    }
    return &*coordinator_->result();
}

void ScanController::scan() {
    coordinator().scan();
    refreshLiveCounts(); // a new run: nothing of the one it replaces stays on screen
}

QStringList ScanController::projectFolders() const {
    std::lock_guard lock(projectFolders_->mutex);
    QStringList folders;
    for (const auto& folder : projectFolders_->folders) {
        folders << QString::fromStdString(folder);
    }
    return folders;
}

void ScanController::setProjectFolders(const QStringList& folders) {
    std::vector<std::string> given;
    for (const QString& folder : folders) {
        given.push_back(folder.toStdString());
    }
    {
        std::lock_guard lock(projectFolders_->mutex);
        if (given == projectFolders_->folders) {
            return;
        }
        projectFolders_->folders = std::move(given);
    }
    emit projectFoldersChanged();
}

void ScanController::refreshLiveCounts() {
    QVariantMap counts;
    if (coordinator_) {
        for (const auto& [kind, count] : coordinator_->liveCounts()) {
            counts.insert(
                qtText(rawValue(kind)), QVariantMap{{QStringLiteral("files"), static_cast<double>(count.files)},
                                            {QStringLiteral("bytes"), static_cast<double>(count.bytes)},
                                            {QStringLiteral("note"), qtText(escapeForTerminal(count.note))}});
        }
    }
    const bool scanning = isScanning();
    if (scanning != liveTimer_.isActive()) {
        scanning ? liveTimer_.start() : liveTimer_.stop();
    }
    if (counts != liveCounts_) {
        liveCounts_ = std::move(counts);
        emit liveCountsChanged();
    }
}

QVariantMap ScanController::detectedTotals() const {
    QVariantMap totals;
    if (const ScanResult* result = currentResult()) {
        for (const auto& report : result->managers) {
            if (report.detected) {
                totals.insert(qtText(rawValue(report.kind)), static_cast<double>(report.totalBytes()));
            }
        }
    }
    return totals;
}

} // namespace kelvo::ui
