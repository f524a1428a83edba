#include "ui/bridge/ScanController.h"

#include "scan/StandardAdapters.h"
#include "inventory/Inventory.h"
#include "ui/bridge/FixtureScan.h"
#include "ui/bridge/QtText.h"

#include <QCoreApplication>
#include <QVariantList>

namespace kelvo::ui {

namespace {
QString& defaultFixture() {
    static QString json;
    return json;
}

QVariant optionalText(const std::optional<std::string>& text) {
    return text ? QVariant(QString::fromStdString(*text)) : QVariant();
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
        coordinator_->onResultChanged = [this] { resultUpdated(); };
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

QVariantMap ScanController::itemData(const DependencyItem& item) {
    QVariantList evidence;
    for (const auto& entry : item.evidence) {
        evidence << QString::fromStdString(entry.summary());
    }
    return {
        {QStringLiteral("id"), QString::fromStdString(item.id.text())},
        {QStringLiteral("name"), QString::fromStdString(item.name)},
        {QStringLiteral("version"), optionalText(item.version)},
        {QStringLiteral("path"), optionalText(item.path)},
        {QStringLiteral("bytes"), item.bytes ? QVariant(static_cast<double>(*item.bytes)) : QVariant()},
        {QStringLiteral("tier"), qtText(rawValue(item.tier))},
        {QStringLiteral("evidence"), evidence},
        {QStringLiteral("identity"), optionalText(item.identity)},
        {QStringLiteral("reclaimCommand"), optionalText(item.reclaimCommand)},
    };
}

QVariantMap ScanController::reportData(const ManagerReport& report) {
    QVariantList items;
    for (const auto& item : report.items) {
        items << itemData(item);
    }
    QVariantList wins;
    for (const auto& win : report.quickWins) {
        wins << QVariantMap{{QStringLiteral("id"), QString::fromStdString(win.id.text())},
                            {QStringLiteral("title"), QString::fromStdString(win.title)},
                            {QStringLiteral("command"), QString::fromStdString(win.command)},
                            {QStringLiteral("detail"), QString::fromStdString(win.detail)}};
    }
    return {
        {QStringLiteral("kind"), qtText(rawValue(report.kind))},
        {QStringLiteral("displayName"), qtText(displayName(report.kind))},
        {QStringLiteral("shortLabel"), qtText(shortLabel(report.kind))},
        {QStringLiteral("detected"), report.detected},
        {QStringLiteral("version"), optionalText(report.version)},
        {QStringLiteral("totalBytes"), static_cast<double>(report.totalBytes())},
        {QStringLiteral("items"), items},
        {QStringLiteral("quickWins"), wins},
    };
}

void ScanController::resultUpdated() {
    const ScanResult* result = currentResult();
    if (result == nullptr) {
        resultData_ = QVariant();
    } else {
        QVariantList managers;
        for (const auto& report : result->managers) {
            managers << reportData(report);
        }
        resultData_ = QVariantMap{
            {QStringLiteral("scannedAt"), result->scannedAt},
            {QStringLiteral("managers"), managers},
            {QStringLiteral("totalBytes"), static_cast<double>(result->totalBytes())},
            {QStringLiteral("reclaimableBytes"), static_cast<double>(reclaimableBytes(*result))},
            {QStringLiteral("inventoriedCount"), static_cast<double>(inventoriedCount(*result))},
        };
    }
    emit resultChanged();
}

} // namespace kelvo::ui
