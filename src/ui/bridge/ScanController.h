#pragma once

#include "scan/ScanCoordinator.h"

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <memory>

namespace kelvo::ui {

// The window's scan: one ScanCoordinator (the standard adapters, or the adapters of a fixture
// file) observed on the Qt event loop. The coordinator is made by the first scan().
class ScanController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(bool hasResult READ hasResult NOTIFY resultChanged)
    Q_PROPERTY(double scannedAt READ scannedAt NOTIFY resultChanged)
    // Raw kind -> total bytes of each detected report of the result; empty while there is none.
    Q_PROPERTY(QVariantMap detectedTotals READ detectedTotals NOTIFY resultChanged)
    // Raw kinds whose adapter has returned in the newest run.
    Q_PROPERTY(QStringList finishedKinds READ finishedKinds NOTIFY progressChanged)
    // Test and screenshot entry: a fixture (kelvo-report --json format) instead of the machine.
    // Read by the first scan(); defaults to defaultFixtureJson().
    Q_PROPERTY(QString fixtureJson READ fixtureJson WRITE setFixtureJson NOTIFY fixtureJsonChanged)

public:
    explicit ScanController(QObject* parent = nullptr);
    // For C++ tests: a controller over the given adapters.
    ScanController(AdapterList adapters, QObject* parent = nullptr);
    ~ScanController() override;

    bool isScanning() const;
    bool hasResult() const;
    double scannedAt() const;
    QVariantMap detectedTotals() const;
    QStringList finishedKinds() const;
    QString fixtureJson() const { return fixtureJson_; }
    void setFixtureJson(const QString& json);

    // The current result, or nullptr.
    const ScanResult* currentResult() const;

    Q_INVOKABLE void scan();

    // What a new controller's fixtureJson starts as (set by `kelvo --fixture-json FILE`).
    static void setDefaultFixtureJson(const QString& json);
    static QString defaultFixtureJson();

signals:
    void isScanningChanged();
    void resultChanged();
    void progressChanged();
    void fixtureJsonChanged();

private:
    ScanCoordinator& coordinator();

    QString fixtureJson_;
    AdapterList givenAdapters_;
    std::unique_ptr<ScanCoordinator> coordinator_;
};

} // namespace kelvo::ui
