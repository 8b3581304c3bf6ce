#include "app/OrunAppRt.h"

#include "app/OperationHandlers.h"
#include "hub/OrunAppFace.h"

namespace {
constexpr int kStopLimitMs = 1000;
constexpr int kNoRequest = -1;
} // namespace

std::shared_ptr<OrunAppRt> OrunAppRt::instance() {
    static std::shared_ptr<OrunAppRt> rt(new OrunAppRt());
    return rt;
}

OrunAppRt::OrunAppRt() : QObject(nullptr) {
    worker.start("orun-runtime", [this] { operationLoop(); });
}

OrunAppRt::~OrunAppRt() {
    // Normally stopped by the close path; at process exit without it, end the
    // loop here so that the thread never outlives its object.
    stop();
}

void OrunAppRt::stop() {
    // The loop ends at once unless a handler is still busy with the camera.
    worker.stop(kStopLimitMs, [] { OrunAppFace::instance()->wakeOperationWaiters(); });
}

bool OrunAppRt::reportsResult(int code) {
    return (code >= 4 && code <= 17) || code == 20;
}

void OrunAppRt::finishStep(int code, int who, int& ec) {
    OrunAppFace* hub = OrunAppFace::instance();
    runOperationHandler(code, ec);

    // Free the slot. A requester that posted while the handler ran has
    // written a new code; keep the slot busy then, so that its request is
    // picked up on the next pass instead of being wiped out.
    hub->iOperating.store(0);
    if (hub->iOperation.load() != kNoRequest)
        hub->iOperating.store(1);

    if (reportsResult(code))
        emit hub->signal_doOperationFinished(who, ec);
}

void OrunAppRt::operationLoop() {
    OrunAppFace* hub = OrunAppFace::instance();
    while (worker.running()) {
        const uint64_t posts = hub->operationPosts();
        if (hub->iOperating.load(std::memory_order_acquire) == 1) {
            int ec = -1;
            // Taking the code marks the slot as read; a new request shows up
            // as a code other than kNoRequest. The requester is read with it:
            // one who posts while the handler runs writes iWho anew.
            const int code = hub->iOperation.exchange(kNoRequest);
            const int who = hub->iWho.load();
            if (code == kNoRequest) {
                // Busy flag without a code: nothing to run.
                hub->iOperating.store(0);
            } else {
                if (code == 8) {
                    hub->iPhotoWorkMode = -1;
                    hub->iPhotoCount = 0;
                    hub->lstPhotoPath.set(QStringList());
                } else if (code == 10) {
                    hub->iRecWorkMode = -1;
                    hub->iRecCount = 0;
                    hub->lstRecPath.set(QStringList());
                }
                finishStep(code, who, ec);
                // Resolution changes are followed by the AI setting, which
                // reports a second result with the same variable.
                if (code == 12)
                    finishStep(13, who, ec);
            }
        }
        // Every request is posted, and stop() wakes the wait too.
        hub->waitForOperation(posts);
    }
}
