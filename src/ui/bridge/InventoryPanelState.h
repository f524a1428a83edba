#pragma once

#include "ui/bridge/AppState.h"
#include "ui/bridge/InventoryRowsModel.h"
#include "ui/bridge/ManagerTabsModel.h"
#include "ui/bridge/QuickWinsModel.h"
#include "ui/bridge/ScanController.h"

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <set>
#include <vector>

namespace kelvo::ui {

// The inventory panel's view state: manager tab, verdict filter, expanded row, unfolded list and
// unfolded quick wins; and what follows from it and the scan: the rows, the tabs and the quick
// wins, each a list model of its own, rebuilt once per change of the result, the selection, the
// filter or the enabled managers; and the list's texts.
class InventoryPanelState : public QObject, public QQmlParserStatus {
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)
    Q_PROPERTY(kelvo::ui::ScanController* scan READ scan WRITE setScan NOTIFY scanChanged)
    Q_PROPERTY(kelvo::ui::AppState* app READ app WRITE setApp NOTIFY appChanged)
    // The selected raw kind, "" for all managers.
    Q_PROPERTY(QString selected READ selected WRITE setSelected NOTIFY selectedChanged)
    // The raw tier of the verdict filter, "" for all verdicts.
    Q_PROPERTY(QString verdictFilter READ verdictFilter WRITE setVerdictFilter NOTIFY verdictFilterChanged)
    Q_PROPERTY(int listLimit READ listLimit WRITE setListLimit NOTIFY listLimitChanged)
    Q_PROPERTY(bool listExpanded READ listExpanded NOTIFY listExpandedChanged)
    Q_PROPERTY(QString expandedRowId READ expandedRowId NOTIFY expandedRowIdChanged)
    Q_PROPERTY(bool quickWinsExpanded READ quickWinsExpanded WRITE setQuickWinsExpanded NOTIFY quickWinsExpandedChanged)
    Q_PROPERTY(kelvo::ui::InventoryRowsModel* rows READ rows CONSTANT)
    Q_PROPERTY(kelvo::ui::ManagerTabsModel* tabs READ tabs CONSTANT)
    Q_PROPERTY(kelvo::ui::QuickWinsModel* quickWins READ quickWins CONSTANT)
    Q_PROPERTY(int totalRows READ totalRows NOTIFY countsChanged)
    Q_PROPERTY(QString sortLine READ sortLineText NOTIFY countsChanged)
    Q_PROPERTY(bool showAllVisible READ showAllVisible NOTIFY countsChanged)
    Q_PROPERTY(QString showAllText READ showAllText NOTIFY countsChanged)
    Q_PROPERTY(QString moreText READ moreText NOTIFY countsChanged)
    // What the list says when it has no rows: what is empty, and why.
    Q_PROPERTY(QString emptyTitle READ emptyTitle NOTIFY countsChanged)
    Q_PROPERTY(QString emptyDetail READ emptyDetail NOTIFY countsChanged)

public:
    explicit InventoryPanelState(QObject* parent = nullptr);

    ScanController* scan() const { return scan_; }
    void setScan(ScanController* scan);
    AppState* app() const { return app_; }
    void setApp(AppState* app);
    // For C++ callers and tests: present this result instead of following a controller.
    void setResult(std::optional<ScanResult> result);

    QString selected() const { return selected_; }
    void setSelected(const QString& kind);
    QString verdictFilter() const { return verdictFilter_; }
    void setVerdictFilter(const QString& tier);
    int listLimit() const { return listLimit_; }
    void setListLimit(int limit);
    bool listExpanded() const { return listExpanded_; }
    QString expandedRowId() const { return rows_->expandedRowId(); }
    bool quickWinsExpanded() const { return quickWinsExpanded_; }
    void setQuickWinsExpanded(bool expanded);

    InventoryRowsModel* rows() const { return rows_; }
    ManagerTabsModel* tabs() const { return tabs_; }
    QuickWinsModel* quickWins() const { return quickWins_; }
    int totalRows() const { return static_cast<int>(rows_->rows().size()); }
    QString sortLineText() const;
    bool showAllVisible() const;
    QString showAllText() const;
    QString moreText() const;
    QString emptyTitle() const { return QString::fromStdString(emptyTexts_.title); }
    QString emptyDetail() const { return QString::fromStdString(emptyTexts_.detail); }

    // Built from QML, the rows are made once all properties are set, not once per property.
    void classBegin() override { building_ = true; }
    void componentComplete() override;

    Q_INVOKABLE void toggleRow(const QString& rowId);
    Q_INVOKABLE void showAll();
    Q_INVOKABLE void toggleQuickWins() { setQuickWinsExpanded(!quickWinsExpanded_); }

signals:
    void scanChanged();
    void appChanged();
    void selectedChanged();
    void verdictFilterChanged();
    void listLimitChanged();
    void listExpandedChanged();
    void expandedRowIdChanged();
    void quickWinsExpandedChanged();
    void countsChanged();

private:
    void takeResultFromScan();
    void rebuild();
    void applyUnit();
    void setExpandedRowId(const QString& rowId);
    std::size_t shownRows() const;
    std::set<ManagerKind> enabled() const;
    std::optional<ManagerKind> selectedKind() const;
    std::optional<Tier> filterTier() const;

    QPointer<ScanController> scan_;
    QPointer<AppState> app_;
    QMetaObject::Connection scanConnection_;
    std::vector<QMetaObject::Connection> appConnections_;
    std::optional<ScanResult> result_;

    bool building_ = false;
    QString selected_;
    QString verdictFilter_;
    int listLimit_ = 30;
    bool listExpanded_ = false;
    bool quickWinsExpanded_ = false;

    InventoryRowsModel* rows_;
    ManagerTabsModel* tabs_;
    QuickWinsModel* quickWins_;
    PanelMessage emptyTexts_;
};

} // namespace kelvo::ui
