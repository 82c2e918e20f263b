// Widgets the main window draws itself: the file list's row painter and the
// picture display.
#pragma once

#include <QImage>
#include <QStyledItemDelegate>
#include <QWidget>

// Draws the file list's rows: a blue background for selected rows, white and
// light grey alternating for the others, the file-type icon in the first
// column, texts cut with an ellipsis, a thin separator at every column's right.
class TFileListDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
};

// Shows a picture scaled to fit with its aspect ratio kept, centred, or the
// music-symbol placeholder when there is none.
class TCoverWidget final : public QWidget {
    Q_OBJECT
public:
    explicit TCoverWidget(QWidget* Parent = nullptr);
    void SetImage(const QImage& Image);
    const QImage& Image() const { return FImage; }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QImage FImage;
    QImage FPlaceholder;
    QImage FScaled;  // FImage at the size last painted; large covers are scaled once, not per paint
};
