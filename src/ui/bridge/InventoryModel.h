#pragma once

#include "ui/bridge/AppState.h"
#include "ui/bridge/ScanController.h"
#include "ui/logic/ViewLogic.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QQmlParserStatus>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kelvo::ui {

// ---- The list model ----

// The inventory panel's list and its view state: manager tab, verdict filter, expanded row,
// unfolded quick wins and unfolded list. The rows are built once per change of the result,
// the selection, the filter or the enabled managers; each row's texts are made only when a
// delegate asks for them, so a long list costs only what is on screen.
class InventoryModel : public QAbstractListModel, public QQmlParserStatus {
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
    // {kind ("" for All), title, count} per tab, "All" first.
    Q_PROPERTY(QVariantList tabs READ tabs NOTIFY tabsChanged)
    // {id, title, command, detail, sizeText ("" when unsized), heat} per quick win.
    Q_PROPERTY(QVariantList quickWins READ quickWins NOTIFY quickWinsChanged)
    Q_PROPERTY(QString quickWinsHeader READ quickWinsHeaderText NOTIFY quickWinsChanged)
    // The quick wins' commands, one a line: what "Copy all" copies.
    Q_PROPERTY(QString copyAllText READ copyAllText NOTIFY quickWinsChanged)
    Q_PROPERTY(int totalRows READ totalRows NOTIFY countsChanged)
    Q_PROPERTY(int shownRows READ shownRows NOTIFY countsChanged)
    Q_PROPERTY(QString sortLine READ sortLineText NOTIFY countsChanged)
    Q_PROPERTY(bool showAllVisible READ showAllVisible NOTIFY countsChanged)
    Q_PROPERTY(QString showAllText READ showAllText NOTIFY countsChanged)
    Q_PROPERTY(QString moreText READ moreText NOTIFY countsChanged)
    // What the list says when it has no rows: what is empty, and why.
    Q_PROPERTY(QString emptyTitle READ emptyTitle NOTIFY countsChanged)
    Q_PROPERTY(QString emptyDetail READ emptyDetail NOTIFY countsChanged)

public:
    enum Role {
        IsGroupRole = Qt::UserRole + 1,
        ExpandedRole,
        TagRole,      // raw verdict tag
        BarColorRole, // named colour of the leading bar
        ChipRole,     // the manager's short label
        NameRole,     // item name or group title
        VersionRole,  // shown version, "" when hidden
        IdentityRole, // identity, "" when none
        SizeTextRole,
        HeatRole,     // named heat colour of the size
        EvidenceRole, // list of evidence summaries
        VerdictTextRole,
        ReclaimCommandRole,
        PathRole,
        VersionsTextRole, // "3 versions"
        SummaryRole,
        KeepNameRole,
        KeepLineRole, // "newest Node 18 — nothing to do", "your default Node 20 — …"
        KeepSizeTextRole,
        SupersededRole, // [{name, sizeText, heat, command}]
    };
    Q_ENUM(Role)

    explicit InventoryModel(QObject* parent = nullptr);
    ~InventoryModel() override;

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
    QString expandedRowId() const { return expandedRowId_; }
    bool quickWinsExpanded() const { return quickWinsExpanded_; }
    void setQuickWinsExpanded(bool expanded);

    QVariantList tabs() const { return tabs_; }
    QVariantList quickWins() const;
    QString quickWinsHeaderText() const;
    int totalRows() const { return static_cast<int>(rows_.size()); }
    int shownRows() const;
    QString sortLineText() const;
    bool showAllVisible() const;
    QString showAllText() const;
    QString moreText() const;
    QString emptyTitle() const { return QString::fromStdString(emptyTexts_.title); }
    QString emptyDetail() const { return QString::fromStdString(emptyTexts_.detail); }

    // The rows behind the list, all of them (also those past the limit).
    const std::vector<InventoryRow>& rows() const { return rows_; }

    // Built from QML, the rows are made once all properties are set, not once per property.
    void classBegin() override { building_ = true; }
    void componentComplete() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    Q_INVOKABLE void toggleRow(const QString& rowId);
    Q_INVOKABLE void showAll();
    Q_INVOKABLE void toggleQuickWins() { setQuickWinsExpanded(!quickWinsExpanded_); }
    QString copyAllText() const;
    Q_INVOKABLE int indexOfRow(const QString& rowId) const;
    Q_INVOKABLE QString rowIdAt(int index) const;
    // The reclaim command of the expanded row, "" when none is expanded or it has none.
    Q_INVOKABLE QString expandedReclaimCommand() const;

signals:
    void scanChanged();
    void appChanged();
    void selectedChanged();
    void verdictFilterChanged();
    void listLimitChanged();
    void listExpandedChanged();
    void expandedRowIdChanged();
    void quickWinsExpandedChanged();
    void tabsChanged();
    void quickWinsChanged();
    void countsChanged();

private:
    // The role of an item's row among its texts (chip, name, version, identity, evidence).
    static QVariant itemText(const ItemRowTexts& texts, int role);
    void takeResultFromScan();
    void rebuild();
    void setExpandedRowId(const QString& rowId);
    std::set<ManagerKind> enabled() const;
    std::optional<ManagerKind> selectedKind() const;
    std::optional<Tier> filterTier() const;
    SizeUnit unit() const;

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
    QString expandedRowId_;
    bool quickWinsExpanded_ = false;

    std::vector<InventoryRow> rows_;
    std::vector<QuickWin> quickWins_;
    QVariantList tabs_;
    PanelMessage emptyTexts_;
};

} // namespace kelvo::ui
