#include "app/app_icons.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <iterator>

namespace {

const QColor kBlue(58, 130, 246);
const QColor kDarkBlue(29, 78, 216);
const QColor kSlate(51, 65, 85);
const QColor kFolder(250, 204, 21);
const QColor kFolderEdge(202, 138, 4);
const QColor kRed(220, 38, 38);
const QColor kGreen(22, 163, 74);
const QColor kPaper(255, 255, 255);

QPen Pen(const QColor& C, qreal W = 2.0) { return QPen(C, W, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// All glyphs are drawn on a 32 x 32 grid.
void DrawFolder(QPainter& P) {
    QPainterPath Path;
    Path.moveTo(3, 9);
    Path.lineTo(3, 26);
    Path.lineTo(29, 26);
    Path.lineTo(29, 11);
    Path.lineTo(15, 11);
    Path.lineTo(12, 7);
    Path.lineTo(4, 7);
    Path.closeSubpath();
    P.setPen(Pen(kFolderEdge, 1.5));
    P.setBrush(kFolder);
    P.drawPath(Path);
}

void DrawPage(QPainter& P, qreal X, qreal Y, qreal W = 18, qreal H = 24) {
    QPainterPath Path;
    Path.moveTo(X, Y);
    Path.lineTo(X + W - 6, Y);
    Path.lineTo(X + W, Y + 6);
    Path.lineTo(X + W, Y + H);
    Path.lineTo(X, Y + H);
    Path.closeSubpath();
    P.setPen(Pen(kSlate, 1.5));
    P.setBrush(kPaper);
    P.drawPath(Path);
    P.drawLine(QPointF(X + W - 6, Y), QPointF(X + W - 6, Y + 6));
    P.drawLine(QPointF(X + W - 6, Y + 6), QPointF(X + W, Y + 6));
}

void DrawPencil(QPainter& P, qreal X, qreal Y) {
    // A pencil from (X, Y) at the tip towards the upper right.
    P.save();
    P.translate(X, Y);
    P.rotate(-45);
    P.setPen(Pen(kDarkBlue, 1.2));
    P.setBrush(kBlue);
    P.drawRect(QRectF(4, -2.5, 13, 5));
    P.setBrush(QColor(253, 230, 138));
    QPolygonF Tip;
    Tip << QPointF(0, 0) << QPointF(4, -2.5) << QPointF(4, 2.5);
    P.drawPolygon(Tip);
    P.restore();
}

void DrawBadge(QPainter& P, const QColor& Colour, bool Plus) {
    P.setPen(Pen(Qt::white, 1.5));
    P.setBrush(Colour);
    P.drawEllipse(QPointF(24, 24), 7, 7);
    P.setPen(Pen(Qt::white, 2.2));
    if (Plus) {
        P.drawLine(QPointF(24, 20), QPointF(24, 28));
        P.drawLine(QPointF(20, 24), QPointF(28, 24));
    } else {
        P.drawLine(QPointF(21, 21), QPointF(27, 27));
        P.drawLine(QPointF(27, 21), QPointF(21, 27));
    }
}

void DrawNote(QPainter& P, const QColor& Colour, qreal Scale) {
    P.save();
    P.scale(Scale, Scale);
    P.setPen(Qt::NoPen);
    P.setBrush(Colour);
    P.drawEllipse(QPointF(10, 24), 5, 4);
    P.drawEllipse(QPointF(23, 21), 5, 4);
    P.setPen(Pen(Colour, 2.4));
    P.drawLine(QPointF(14.5, 24), QPointF(14.5, 7));
    P.drawLine(QPointF(27.5, 21), QPointF(27.5, 4));
    P.setPen(Pen(Colour, 4.0));
    P.drawLine(QPointF(14.5, 8), QPointF(27.5, 5));
    P.restore();
}

void DrawTag(QPainter& P) {
    QPainterPath Path;
    Path.moveTo(4, 6);
    Path.lineTo(15, 6);
    Path.lineTo(27, 18);
    Path.lineTo(17, 28);
    Path.lineTo(4, 16);
    Path.closeSubpath();
    P.setPen(Pen(kDarkBlue, 1.5));
    P.setBrush(kBlue);
    P.drawPath(Path);
    P.setBrush(Qt::white);
    P.setPen(Qt::NoPen);
    P.drawEllipse(QPointF(9, 11), 2.2, 2.2);
}

void DrawArrowHead(QPainter& P, QPointF Tip, qreal AngleDeg, const QColor& Colour) {
    P.save();
    P.translate(Tip);
    P.rotate(AngleDeg);
    P.setPen(Qt::NoPen);
    P.setBrush(Colour);
    QPolygonF Head;
    Head << QPointF(0, 0) << QPointF(-7, -5) << QPointF(-7, 5);
    P.drawPolygon(Head);
    P.restore();
}

void Paint(QPainter& P, TAppIcon Icon) {
    switch (Icon) {
        case aiNewFolder:
            DrawFolder(P);
            DrawBadge(P, kGreen, true);
            break;
        case aiRenameFolder:
            DrawFolder(P);
            DrawPencil(P, 14, 28);
            break;
        case aiRescan: {
            P.setPen(Pen(kBlue, 3.2));
            P.setBrush(Qt::NoBrush);
            P.drawArc(QRectF(6, 6, 20, 20), 30 * 16, 280 * 16);
            DrawArrowHead(P, QPointF(27, 9), -60, kBlue);
            break;
        }
        case aiPlay: {
            P.setPen(Qt::NoPen);
            P.setBrush(kGreen);
            P.drawEllipse(QRectF(3, 3, 26, 26));
            P.setBrush(Qt::white);
            QPolygonF Triangle;
            Triangle << QPointF(12.5, 9) << QPointF(23, 16) << QPointF(12.5, 23);
            P.drawPolygon(Triangle);
            break;
        }
        case aiSave: {
            P.setPen(Pen(kDarkBlue, 1.5));
            P.setBrush(kBlue);
            P.drawRoundedRect(QRectF(4, 4, 24, 24), 3, 3);
            P.setBrush(Qt::white);
            P.setPen(Qt::NoPen);
            P.drawRect(QRectF(9, 4.8, 14, 8));
            P.setBrush(kDarkBlue);
            P.drawRect(QRectF(18, 6, 3, 5));
            P.setBrush(QColor(219, 234, 254));
            P.drawRect(QRectF(8, 17, 16, 10));
            break;
        }
        case aiUndo: {
            P.setPen(Pen(kBlue, 3.2));
            P.setBrush(Qt::NoBrush);
            QPainterPath Path;
            Path.moveTo(11, 12);
            Path.lineTo(19, 12);
            Path.cubicTo(30, 12, 30, 27, 19, 27);
            Path.lineTo(12, 27);
            P.drawPath(Path);
            DrawArrowHead(P, QPointF(4, 12), 180, kBlue);
            break;
        }
        case aiRemoveTags:
            DrawTag(P);
            DrawBadge(P, kRed, false);
            break;
        case aiAutoTag: {
            P.setPen(Pen(kBlue, 2));
            P.setBrush(QColor(219, 234, 254));
            P.drawEllipse(QRectF(3, 3, 20, 20));
            P.drawLine(QPointF(3, 13), QPointF(23, 13));
            P.drawEllipse(QRectF(8.5, 3, 9, 20));
            P.setPen(Pen(kSlate, 4));
            P.drawLine(QPointF(21, 21), QPointF(28, 28));
            break;
        }
        case aiQuickAction: {
            P.setPen(Pen(QColor(180, 83, 9), 1.5));
            P.setBrush(QColor(251, 191, 36));
            QPolygonF Bolt;
            Bolt << QPointF(18, 2) << QPointF(7, 18) << QPointF(15, 18) << QPointF(12, 30) << QPointF(25, 12)
                 << QPointF(17, 12) << QPointF(21, 2);
            P.drawPolygon(Bolt);
            break;
        }
        case aiRenameFile:
            DrawPage(P, 4, 3);
            DrawPencil(P, 14, 29);
            break;
        case aiTagToName: {
            P.save();
            P.scale(0.7, 0.7);
            DrawTag(P);
            P.restore();
            DrawPage(P, 15, 9, 14, 20);
            P.setPen(Pen(kGreen, 2.5));
            P.drawLine(QPointF(6, 26), QPointF(12, 26));
            DrawArrowHead(P, QPointF(15, 26), 0, kGreen);
            break;
        }
        case aiCopy:
            DrawPage(P, 4, 3, 16, 21);
            DrawPage(P, 12, 9, 16, 21);
            break;
        case aiMove:
            DrawPage(P, 4, 3);
            P.setPen(Pen(kGreen, 3));
            P.drawLine(QPointF(15, 22), QPointF(24, 22));
            DrawArrowHead(P, QPointF(30, 22), 0, kGreen);
            break;
        case aiDelete: {
            P.setPen(Pen(kSlate, 1.5));
            P.setBrush(QColor(226, 232, 240));
            QPolygonF Can;
            Can << QPointF(8, 9) << QPointF(24, 9) << QPointF(22, 29) << QPointF(10, 29);
            P.drawPolygon(Can);
            P.setBrush(kRed);
            P.drawRoundedRect(QRectF(5, 5, 22, 4), 1.5, 1.5);
            P.drawRect(QRectF(13, 2.5, 6, 2.5));
            P.setPen(Pen(kSlate, 1.5));
            for (qreal X : {12.5, 16.0, 19.5}) P.drawLine(QPointF(X, 13), QPointF(X, 25));
            break;
        }
        case aiAbout: {
            P.setPen(Qt::NoPen);
            P.setBrush(kBlue);
            P.drawEllipse(QRectF(3, 3, 26, 26));
            P.setBrush(Qt::white);
            P.drawEllipse(QPointF(16, 10), 2.2, 2.2);
            P.drawRoundedRect(QRectF(14, 14, 4, 10), 1.5, 1.5);
            break;
        }
        case aiApplication: {
            P.setPen(Qt::NoPen);
            P.setBrush(kBlue);
            P.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
            P.translate(1, 1);
            DrawNote(P, Qt::white, 0.95);
            break;
        }
        case aiCount: break;
    }
}

QPixmap Render(TAppIcon Icon, int Size) {
    QPixmap Pixmap(Size, Size);
    Pixmap.fill(Qt::transparent);
    QPainter P(&Pixmap);
    P.setRenderHint(QPainter::Antialiasing);
    P.scale(Size / 32.0, Size / 32.0);
    Paint(P, Icon);
    return Pixmap;
}

}  // namespace

QIcon AppIcon(TAppIcon Icon) {
    QIcon Result;
    // The program carries the very pictures it installs for the desktop
    // (share/icons), so the window, the task bar and the menu entry show one
    // icon; the small sizes are drawn for sharpness.
    const bool Embedded = Icon == aiApplication && QFile::exists(QStringLiteral(":/veltrano/icons/48.png"));
    for (int Size : {16, 24, 32, 48, 64}) {
        if (!Embedded || Size <= 32) Result.addPixmap(Render(Icon, Size));
    }
    if (Embedded) {
        for (int Size : {48, 128})
            Result.addFile(QStringLiteral(":/veltrano/icons/%1.png").arg(Size), QSize(Size, Size));
    }
    return Result;
}

QImage CoverPlaceholder(int Size) {
    QImage Image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    Image.fill(Qt::transparent);
    QPainter P(&Image);
    P.setRenderHint(QPainter::Antialiasing);
    P.scale(Size / 32.0, Size / 32.0);
    P.translate(0, 1);
    DrawNote(P, QColor(191, 207, 231), 1.0);
    return Image;
}

QIcon FileTypeIcon(TAudioFileType Type) {
    static const QColor Colours[] = {
        QColor(100, 116, 139),  // unknown
        QColor(37, 99, 235),    // MP3
        QColor(22, 163, 74),    // FLAC
        QColor(147, 51, 234),   // MP4
        QColor(234, 88, 12),    // WMA
        QColor(219, 39, 119),   // OGG
        QColor(13, 148, 136),   // APE
        QColor(202, 138, 4),    // WAV
        QColor(8, 145, 178),    // AIFF
        QColor(101, 163, 13),   // WV
        QColor(220, 38, 38),    // MPC
        QColor(79, 70, 229),    // DSF
        QColor(154, 52, 18),    // DFF
    };
    static_assert(std::size(Colours) == AudioFileTypeCount);
    const QColor Colour = Colours[Type < AudioFileTypeCount ? Type : aftUnknown];
    QIcon Result;
    for (int Size : {16, 32}) {
        QPixmap Pixmap(Size, Size);
        Pixmap.fill(Qt::transparent);
        QPainter P(&Pixmap);
        P.setRenderHint(QPainter::Antialiasing);
        P.scale(Size / 32.0, Size / 32.0);
        P.setPen(Qt::NoPen);
        P.setBrush(Colour);
        P.drawRoundedRect(QRectF(1, 1, 30, 30), 7, 7);
        P.translate(1.5, 1.5);
        DrawNote(P, Qt::white, 0.9);
        Result.addPixmap(Pixmap);
    }
    return Result;
}
