#include "scripting/script_coercions.h"

#include "platform/basekit/scripting_coercion.h"
#include "scripting/model_frame.h"
#include "scripting/track_scripting.h"

namespace MVPScriptCoercions {

void registerCoercions()
{
    static const bool registered = [] {
        auto& handler = HXScriptCoercionHandler::sharedCoercionHandler();
        auto toTrack = [](const HXScriptValue& value) -> std::optional<HXScriptValue> {
            return HXScriptValue(MVPTrackScripting::madeTrack(value));
        };
        for (const char* kind : { "string", "list", "movie" })
            handler.registerCoercer(kind, "track", toTrack);
        handler.registerCoercer(
            "string", "frame", [](const HXScriptValue& value) -> std::optional<HXScriptValue> {
                return HXScriptValue(
                    MVPModelFrameScripting::reference(MVPModelFrame::frameWithPayload(value)));
            });
        return true;
    }();
    (void)registered;
}

} // namespace MVPScriptCoercions
