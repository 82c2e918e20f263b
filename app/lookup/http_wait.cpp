#include "app/lookup/http_wait.h"

#include <QEventLoop>

THttpAnswer THttpWait::Get(QNetworkRequest Request, const THttpGetOptions& Options) {
    THttpGet Get(FHttp);
    THttpAnswer Answer;
    bool Done = false;
    QEventLoop Loop;
    QObject::connect(&Get, &THttpGet::Finished, &Loop, [&](const THttpAnswer& Got) {
        Answer = Got;
        Done = true;
        Loop.quit();
    });
    Get.Start(std::move(Request), Options);
    if (!Done) Loop.exec();
    return Answer;
}
