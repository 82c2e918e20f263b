#include "app/user_interaction.h"

QString ErrorReportText(const QVector<TErrorItem>& Errors) {
    QString Text;
    for (const TErrorItem& Item : Errors)
        Text += Item.FileName + QLatin1Char('\t') + Item.Message + QStringLiteral("\r\n");
    return Text;
}
