#include "scripting/scripting_server.h"

#include "app/request_server.h"
#include "document/movie_document.h"
#include "platform/basekit/run_loop.h"
#include "platform/basekit/scripting_runtime.h"
#include "platform/basekit/timer.h"
#include "platform/mvkit/movie.h"
#include "platform/winkit/alert.h"
#include "platform/winkit/document_controller.h"
#include "recording/capture_document.h"
#include "scripting/app_scripting.h"
#include "scripting/script_coercions.h"

#include <chrono>

namespace MVPScriptingServer {

namespace {

// How often a request still being worked on tells its sender so (keeping it waiting).
constexpr double kInterimInterval = 5.0;

// A script is no one to click a button and must not wait for one: what an alert asked, and the default
// answer it got, travel back in the reply.
class AlertsOfARequest {
public:
    AlertsOfARequest()
        : _unattended([alerts = _alerts](const std::string& message, const std::string& answer) {
            HXPropertyList::Dictionary entry;
            entry.emplace(MVPScriptAlertMessageKey, message);
            entry.emplace(MVPScriptAlertAnswerKey, answer);
            alerts->emplace_back(std::move(entry));
        })
    {
    }
    // The reply with the alerts raised so far.
    static HXPropertyList withAlerts(HXPropertyList reply, const HXPropertyList::Array& alerts)
    {
        if (!alerts.empty() && reply.isDictionary())
            reply.mutableDictionary()[MVPScriptAlertsKey] = HXPropertyList(alerts);
        return reply;
    }
    const std::shared_ptr<HXPropertyList::Array>& alerts() const { return _alerts; }

private:
    std::shared_ptr<HXPropertyList::Array> _alerts = std::make_shared<HXPropertyList::Array>();
    HXUnattendedAlerts _unattended;
};

} // namespace

HXPropertyList replyToScriptRequest(const HXPropertyList& request)
{
    MVPScriptCoercions::registerCoercions();
    AlertsOfARequest alerts;
    // A script sees every movie whole: a long file whose rest is still being read is finished first.
    if (auto controller = HXDocumentController::sharedDocumentController())
        for (const auto& doc : controller->documents())
            if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc);
                movieDoc && movieDoc->movie())
                movieDoc->movie()->finishLoading();
    HXScriptRuntime runtime([] { return MVPAppScripting::root(); });
    return AlertsOfARequest::withAlerts(runtime.execute(request), *alerts.alerts());
}

void install(MVPRequestServer& server)
{
    MVPScriptCoercions::registerCoercions();
    // A recording names itself for what it records while a script talks to it.
    MVPCaptureDocument::setScriptCommandProbe([] { return HXScriptCommand::currentCommand() != nullptr; });
    server.setAsyncHandler(
        MVPScriptRequestCommand, [](const HXPropertyList& request, std::shared_ptr<MVPRequestReply> reply) {
            // Long work (an export) tells the sender how far it is, at most about once a second.
            auto lastProgress = std::make_shared<double>(-1e9);
            auto progress = [reply, lastProgress](double fraction) {
                double now
                    = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                          .count();
                if (now - *lastProgress < 1.0)
                    return;
                *lastProgress = now;
                HXPropertyList::Dictionary message;
                if (fraction >= 0)
                    message.emplace("progress", fraction);
                reply->sendInterim(std::move(message));
            };
            // While the reply is owed (a suspended command), the sender hears now and then that it is coming.
            auto keepAlive = HXTimer::scheduledTimer(kInterimInterval, true,
                [weak = std::weak_ptr<MVPRequestReply>(reply)](HXTimer&) {
                    if (auto r = weak.lock())
                        r->sendInterim({});
                },
                { HXRunLoopCommonModes });
            AlertsOfARequest alerts;
            // A script sees every movie whole: a long file whose rest is still being read is finished first.
            if (auto controller = HXDocumentController::sharedDocumentController())
                for (const auto& doc : controller->documents())
                    if (auto movieDoc = std::dynamic_pointer_cast<MVPMovieDocument>(doc);
                        movieDoc && movieDoc->movie())
                        movieDoc->movie()->finishLoading();
            HXScriptRuntime runtime([] { return MVPAppScripting::root(); });
            runtime.execute(
                request,
                [reply, keepAlive, raised = alerts.alerts()](HXPropertyList answer) {
                    keepAlive->invalidate();
                    reply->send(AlertsOfARequest::withAlerts(std::move(answer), *raised));
                },
                progress);
        });
}

} // namespace MVPScriptingServer
