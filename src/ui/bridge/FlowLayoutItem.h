#pragma once

#include <QQuickItem>

namespace kelvo::ui {

// A container that places its visible children left to right at their implicit sizes and
// wraps to a new row when the next child would pass its width (flowRows). Without a width of
// its own the width is open and the implicit width is that of the widest row.
class FlowLayoutItem : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(qreal spacing READ spacing WRITE setSpacing NOTIFY spacingChanged)
    Q_PROPERTY(qreal lineSpacing READ lineSpacing WRITE setLineSpacing NOTIFY lineSpacingChanged)
    Q_PROPERTY(int rowCount READ rowCount NOTIFY laidOut)

public:
    explicit FlowLayoutItem(QQuickItem* parent = nullptr);

    qreal spacing() const { return spacing_; }
    void setSpacing(qreal spacing);
    qreal lineSpacing() const { return lineSpacing_; }
    void setLineSpacing(qreal spacing);
    int rowCount() const { return rowCount_; }

    // Lays out at once (normally done before the next frame).
    Q_INVOKABLE void relayout();

signals:
    void spacingChanged();
    void lineSpacingChanged();
    void laidOut();

protected:
    void itemChange(ItemChange change, const ItemChangeData& data) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void updatePolish() override;
    void componentComplete() override;

private:
    void watch(QQuickItem* child);

    qreal spacing_ = 0;
    qreal lineSpacing_ = 0;
    int rowCount_ = 0;
};

} // namespace kelvo::ui
