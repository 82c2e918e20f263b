#include "app/file_list_widget.h"

#include <QApplication>
#include <QPainter>

#include "app/app_icons.h"
#include "app/core/audio_tag.h"
#include "app/file_list_model.h"

namespace {

const QColor kSelectedRow(58, 130, 246);
const QColor kEvenRow(247, 247, 247);
const QColor kSeparator(208, 208, 208);
constexpr int kIconSize = 16;

const QIcon& IconOfType(TAudioFileType Type)
{
    static QIcon Icons[aftWAV + 1];
    const int I = Type <= aftWAV ? Type : aftUnknown;
    if (Icons[I].isNull())
        Icons[I] = FileTypeIcon(static_cast<TAudioFileType>(I));
    return Icons[I];
}

}  // namespace

void TFileListDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const
{
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

    int TextLeft = R.left() + 6;
    if (Index.column() == lcFile) {
        const QString Path = Index.data(TFileListModel::PathRole).toString();
        const QIcon& Icon = IconOfType(AudioFileTypeFromExtension(Path));
        const QRect IconRect(R.left() + 4, R.top() + (R.height() - kIconSize) / 2, kIconSize, kIconSize);
        Icon.paint(Painter, IconRect);
        TextLeft = R.left() + kIconSize + 10;
    }
    const QRect TextRect(TextLeft, R.top(), std::max(0, R.right() - TextLeft - 3), R.height());
    const QString Text = Option.fontMetrics.elidedText(Index.data(Qt::DisplayRole).toString(), Qt::ElideRight,
                                                       TextRect.width());
    Painter->setPen(TextColour);
    Painter->setFont(Option.font);
    Painter->drawText(TextRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, Text);

    Painter->setPen(kSeparator);
    Painter->drawLine(R.topRight(), R.bottomRight());
    Painter->restore();
}

QSize TFileListDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const
{
    QSize Size = QStyledItemDelegate::sizeHint(Option, Index);
    Size.setHeight(std::max(Size.height(), Option.fontMetrics.height() + 8));
    return Size;
}

TCoverWidget::TCoverWidget(QWidget* Parent) : QWidget(Parent), FPlaceholder(CoverPlaceholder(128))
{
    setMinimumSize(64, 64);
}

void TCoverWidget::SetImage(const QImage& Image)
{
    FImage = Image;
    FScaled = QImage();
    update();
}

void TCoverWidget::paintEvent(QPaintEvent*)
{
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
    if (Size.isEmpty())
        return;
    const QRect Target(Area.left() + (Area.width() - Size.width()) / 2,
                       Area.top() + (Area.height() - Size.height()) / 2, Size.width(), Size.height());
    if (FImage.isNull()) {
        P.drawImage(Target, FPlaceholder);
        return;
    }
    if (FScaled.size() != Size)
        FScaled = FImage.scaled(Size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    P.drawImage(Target.topLeft(), FScaled);
}
