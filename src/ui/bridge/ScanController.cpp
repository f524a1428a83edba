#include "ui/bridge/ScanController.h"

#include "scan/StandardAdapters.h"
#include "ui/bridge/FixtureScan.h"
#include "ui/bridge/QtText.h"

#include <QCoreApplication>

namespace kelvo::ui {

namespace {
QString& defaultFixture() {
    static QString json;
    return json;
}

// Hands work from the coordinator's worker threads to the Qt event loop. A worker that ends
// after the application object is gone (a scan still running at quit) has nowhere to post.
void postToMainThread(std::function<void()> task) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
    }
}
} // namespace

ScanController::ScanController(QObject* parent) : QObject(parent), fixtureJson_(defaultFixture()) {}

ScanController::ScanController(AdapterList adapters, QObject* parent)
    : QObject(parent), givenAdapters_(std::move(adapters)) {}

ScanController::~ScanController() = default;

void ScanController::setDefaultFixtureJson(const QString& json) { defaultFixture() = json; }

QString ScanController::defaultFixtureJson() { return defaultFixture(); }

void ScanController::setFixtureJson(const QString& json) {
    if (json == fixtureJson_) {
        return;
    }
    fixtureJson_ = json;
    emit fixtureJsonChanged();
}

ScanCoordinator& ScanController::coordinator() {
    if (!coordinator_) {
        AdapterList adapters = givenAdapters_;
        if (adapters.empty()) {
            if (fixtureJson_.isEmpty()) {
                adapters = standardAdapterList();
            } else if (const auto fixture = decodeFixture(fixtureJson_.toStdString())) {
                adapters = fixtureAdapters(*fixture);
            }
        }
        coordinator_ = std::make_unique<ScanCoordinator>(std::move(adapters), postToMainThread);
        coordinator_->onIsScanningChanged = [this] { emit isScanningChanged(); };
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

void ScanController::scan() { coordinator().scan(); }

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
