#include "ui/bridge/RailModel.h"

#include "inventory/DisplayText.h"
#include "inventory/Inventory.h"
#include "ui/bridge/QtText.h"
#include "ui/logic/ViewLogic.h"

namespace kelvo::ui {

RailModel::RailModel(QObject* parent) : QObject(parent) {}

void RailModel::setScan(ScanController* scan) {
    if (scan == scan_) {
        return;
    }
    if (scan_) {
        disconnect(scan_, nullptr, this, nullptr);
    }
    scan_ = scan;
    if (scan_) {
        connect(scan_, &ScanController::resultChanged, this, &RailModel::recompute);
    }
    emit inputsChanged();
    recompute();
}

void RailModel::setApp(AppState* app) {
    if (app == app_) {
        return;
    }
    if (app_) {
        disconnect(app_, nullptr, this, nullptr);
    }
    app_ = app;
    if (app_) {
        connect(app_, &AppState::sizeUnitChanged, this, &RailModel::recompute);
        connect(app_, &AppState::enabledManagersChanged, this, &RailModel::recompute);
    }
    emit inputsChanged();
    recompute();
}

QStringList RailModel::cardKinds() const {
    QStringList kinds;
    for (const QVariant& card : cards_) {
        kinds << card.toMap().value(QStringLiteral("kind")).toString();
    }
    return kinds;
}

QString RailModel::toggledSelection(const QString& current, const QString& kind) {
    const auto parsed = managerKindFromRaw(kind.toStdString());
    if (!parsed) {
        return current;
    }
    const auto next = kelvo::ui::toggledSelection(managerKindFromRaw(current.toStdString()), *parsed);
    return next ? qtText(rawValue(*next)) : QString();
}

void RailModel::recompute() {
    cards_.clear();
    bigNumber_.clear();
    bigUnit_.clear();
    subtitle_.clear();
    notDetected_.clear();
    countLine_.clear();
    const ScanResult* result = scan_ ? scan_->currentResult() : nullptr;
    if (result != nullptr && app_) {
        const SizeUnit unit = app_->sizeUnit();
        const auto rail = railReports(*result, app_->enabledManagers());
        for (const ManagerReport* report : rail) {
            const auto note = reclaimNote(*report, unit);
            cards_ << QVariantMap{
                {QStringLiteral("kind"), qtText(rawValue(report->kind))},
                {QStringLiteral("displayName"), qtText(displayName(report->kind))},
                {QStringLiteral("shortLabel"), qtText(shortLabel(report->kind))},
                {QStringLiteral("version"),
                    // A tool's version output is shown, never trusted to be plain text.
                    report->version ? QVariant(qtText(escapeForTerminal(*report->version))) : QVariant()},
                {QStringLiteral("sizeText"), QString::fromStdString(formatBytes(report->totalBytes(), unit))},
                {QStringLiteral("summary"), QString::fromStdString(inventorySummary(*report))},
                {QStringLiteral("noteKind"), note.kind == ReclaimNoteKind::reclaimable ? QStringLiteral("reclaimable")
                                             : note.kind == ReclaimNoteKind::prunable  ? QStringLiteral("prunable")
                                                                                       : QString()},
                {QStringLiteral("note"), QString::fromStdString(note.text)},
            };
        }
        // The user's choice of managers applies to every figure here, not only to the cards.
        const std::set<ManagerKind>& included = app_->enabledManagers();
        const std::int64_t reclaimable = reclaimableBytes(*result, included);
        if (reclaimable == 0) {
            bigNumber_ = QStringLiteral("Nothing reclaimable"); // as the terminal report says it
        } else {
            const auto big = splitSizeText(formatBytes(reclaimable, unit));
            bigNumber_ = QString::fromStdString(big.number);
            bigUnit_ = QString::fromStdString(big.unit);
        }
        subtitle_ = QString::fromStdString(railSubtitle(*result, included, rail, unit));
        notDetected_ = QString::fromStdString(kelvo::ui::notDetectedLine(missingReports(*result, included)));
        countLine_ = QString::fromStdString(kelvo::ui::countLine(rail, inventoriedCount(*result, included)));
    }
    emit changed();
}

} // namespace kelvo::ui
