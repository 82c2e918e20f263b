// TAppScope: the application object the core's cross-thread hand-overs need
// on the test's thread; tests run in one process share whichever exists.
#pragma once

#include <QCoreApplication>
#include <memory>

namespace testutil {

class TAppScope {
public:
    TAppScope() {
        if (!QCoreApplication::instance()) FOwned = std::make_unique<QCoreApplication>(FArgc, FArgv);
    }

private:
    int FArgc = 1;
    char FName[16] = "app_tests";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QCoreApplication> FOwned;
};

}  // namespace testutil
