#include "app/file_list_widget.h"

#include <QApplication>
#include <QPainter>
#include <QTextOption>

#include "app/app_icons.h"
#include "app/core/audio_tag.h"
#include "app/file_list_model.h"

namespace {

const QColor kSelectedRow(58, 130, 246);
const QColor kEvenRow(247, 247, 247);
const QColor kSeparator(208, 208, 208);
constexpr int kIconSize = 16;

const QIcon& IconOfType(TAudioFileType Type) {
    static QIcon Icons[AudioFileTypeCount];
    const int I = Type < AudioFileTypeCount ? Type : aftUnknown;
    if (Icons[I].isNull()) Icons[I] = FileTypeIcon(static_cast<TAudioFileType>(I));
    return Icons[I];
}

}  // namespace

void TFileListDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
    Painter->save();
    const QRect R = Option.rect;
    const bool Selected = Option.state & QStyle::State_Selected;
    QColor TextColour;
    if (Selected) {
        Painter->fillRect(R, kSelectedRow);
        TextColour = Option.palette.color(QPalette::HighlightedText);
    } else {
        // Rows counted from 0: even rows (the first included) are grey.
        Painter->fillRect(R, Index.row() % 2 == 0 ? kEvenRow : QColor(Qt::white));
        TextColour = Option.palette.color(QPalette::WindowText);
    }

    // A right-to-left window puts the icon at the cell's right edge and the
    // text against it; each text keeps its own writing direction, so a path
    // or a Latin title reads as written inside a mirrored list.
    const bool Mirrored = Option.direction == Qt::RightToLeft;
    int TextLeft = R.left() + 6;
    int TextRight = R.right() - 3;
    if (Index.column() == lcFile) {
        const QString Path = Index.data(TFileListModel::PathRole).toString();
        const QIcon& Icon = IconOfType(AudioFileTypeFromExtension(Path));
        const int IconLeft = Mirrored ? R.right() - 3 - kIconSize : R.left() + 4;
        Icon.paint(Painter, QRect(IconLeft, R.top() + (R.height() - kIconSize) / 2, kIconSize, kIconSize));
        if (Mirrored)
            TextRight = IconLeft - 6;
        else
            TextLeft = R.left() + kIconSize + 10;
    } else if (Mirrored) {
        TextLeft = R.left() + 3;
        TextRight = R.right() - 6;
    }
    const QRect TextRect(TextLeft, R.top(), std::max(0, TextRight - TextLeft), R.height());
    const QString Text =
        Option.fontMetrics.elidedText(Index.data(Qt::DisplayRole).toString(), Qt::ElideRight, TextRect.width());
    QTextOption Layout(Qt::AlignVCenter | Qt::AlignAbsolute | (Mirrored ? Qt::AlignRight : Qt::AlignLeft));
    Layout.setWrapMode(QTextOption::NoWrap);
    Layout.setTextDirection(Text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    Painter->setPen(TextColour);
    Painter->setFont(Option.font);
    Painter->drawText(QRectF(TextRect), Text, Layout);

    Painter->setPen(kSeparator);
    Painter->drawLine(R.topRight(), R.bottomRight());
    Painter->restore();
}

QSize TFileListDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
    QSize Size = QStyledItemDelegate::sizeHint(Option, Index);
    Size.setHeight(std::max(Size.height(), Option.fontMetrics.height() + 8));
    return Size;
}

TCoverWidget::TCoverWidget(QWidget* Parent) : QWidget(Parent), FPlaceholder(CoverPlaceholder(128)) {
    setMinimumSize(64, 64);
}

void TCoverWidget::SetImage(const QImage& Image) {
    FImage = Image;
    FScaled = QImage();
    update();
}

void TCoverWidget::paintEvent(QPaintEvent*) {
    QPainter P(this);
    P.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect Area = rect().adjusted(4, 4, -4, -4);
    QSize Size;
    if (FImage.isNull()) {
        const int Side = std::min(Area.width(), Area.height()) * 2 / 3;
        Size = QSize(Side, Side);
    } else {
        Size = FImage.size().scaled(Area.size(), Qt::KeepAspectRatio);
    }
    if (Size.isEmpty()) return;
    const QRect Target(Area.left() + (Area.width() - Size.width()) / 2,
                       Area.top() + (Area.height() - Size.height()) / 2, Size.width(), Size.height());
    if (FImage.isNull()) {
        P.drawImage(Target, FPlaceholder);
        return;
    }
    if (FScaled.size() != Size) FScaled = FImage.scaled(Size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    P.drawImage(Target.topLeft(), FScaled);
}
