// THttpWait: a GET that reads like a blocking call, for the start-up update
// check only, which runs before the main window exists.
//
// It runs one THttpGet and waits for its Finished in a local event loop.
// Nothing reachable from the main window uses it: the window's look-ups
// chain their requests on THttpGet's signal instead (see TAutoTagCommand).
#pragma once

#include "app/lookup/http_get.h"

class THttpWait {
public:
    explicit THttpWait(QNetworkAccessManager& Http) : FHttp(Http) {}
    THttpAnswer Get(QNetworkRequest Request, const THttpGetOptions& Options);

private:
    QNetworkAccessManager& FHttp;
};
