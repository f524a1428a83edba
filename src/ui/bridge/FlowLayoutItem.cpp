#include "ui/bridge/FlowLayoutItem.h"

#include "ui/bridge/UiLogic.h"

#include <optional>

namespace kelvo::ui {

FlowLayoutItem::FlowLayoutItem(QQuickItem* parent) : QQuickItem(parent) {}

void FlowLayoutItem::setSpacing(qreal spacing) {
    if (spacing == spacing_) {
        return;
    }
    spacing_ = spacing;
    emit spacingChanged();
    polish();
}

void FlowLayoutItem::setLineSpacing(qreal spacing) {
    if (spacing == lineSpacing_) {
        return;
    }
    lineSpacing_ = spacing;
    emit lineSpacingChanged();
    polish();
}

void FlowLayoutItem::watch(QQuickItem* child) {
    connect(child, &QQuickItem::implicitWidthChanged, this, &QQuickItem::polish, Qt::UniqueConnection);
    connect(child, &QQuickItem::implicitHeightChanged, this, &QQuickItem::polish, Qt::UniqueConnection);
    connect(child, &QQuickItem::visibleChanged, this, &QQuickItem::polish, Qt::UniqueConnection);
}

void FlowLayoutItem::itemChange(ItemChange change, const ItemChangeData& data) {
    if (change == ItemChildAddedChange && data.item != nullptr) {
        watch(data.item);
        polish();
    } else if (change == ItemChildRemovedChange && data.item != nullptr) {
        disconnect(data.item, nullptr, this, nullptr);
        polish();
    }
    QQuickItem::itemChange(change, data);
}

void FlowLayoutItem::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.width() != oldGeometry.width()) {
        polish();
    }
}

void FlowLayoutItem::componentComplete() {
    QQuickItem::componentComplete();
    relayout();
}

void FlowLayoutItem::updatePolish() { relayout(); }

void FlowLayoutItem::relayout() {
    QList<QQuickItem*> children;
    std::vector<FlowSize> sizes;
    for (QQuickItem* child : childItems()) {
        if (!child->isVisible()) {
            continue;
        }
        children << child;
        sizes.push_back({child->implicitWidth(), child->implicitHeight()});
    }
    const std::optional<double> proposed = widthValid() ? std::optional<double>(width()) : std::nullopt;
    const FlowSize fitted = flowSizeThatFits(sizes, proposed, spacing_, lineSpacing_);
    const double placementWidth = proposed.value_or(fitted.width);
    const auto placements = flowPlacements(sizes, placementWidth, spacing_, lineSpacing_);
    for (int i = 0; i < children.size(); ++i) {
        children[i]->setPosition({placements[static_cast<std::size_t>(i)].x, placements[static_cast<std::size_t>(i)].y});
        children[i]->setSize({sizes[static_cast<std::size_t>(i)].width, sizes[static_cast<std::size_t>(i)].height});
    }
    rowCount_ = static_cast<int>(flowRows(sizes, placementWidth, spacing_).size());
    if (!proposed) {
        setImplicitWidth(fitted.width);
    }
    setImplicitHeight(fitted.height);
    emit laidOut();
}

} // namespace kelvo::ui
