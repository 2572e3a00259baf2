#include "scripting/script_coercions.h"

#include "platform/basekit/scripting_coercion.h"
#include "scripting/model_annotation.h"
#include "scripting/model_frame.h"
#include "scripting/text_frame.h"
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
        handler.registerCoercer(
            "string", "textFrame", [](const HXScriptValue& value) -> std::optional<HXScriptValue> {
                std::shared_ptr<MVPModelFrame> frame = MVPTextFrame::textFrameWithPayload(value);
                return HXScriptValue(MVPTextFrameScripting::textFrameClassDescription().reference(frame));
            });
        handler.registerCoercer(
            "string", "chapter", [](const HXScriptValue& value) -> std::optional<HXScriptValue> {
                std::shared_ptr<MVPModelFrame> chapter = MVPModelChapter::chapterWithPayload(value);
                return HXScriptValue(MVPTextFrameScripting::chapterClassDescription().reference(chapter));
            });
        // An annotation from a record of its properties ({name, fullText}, or an annotationId), or from
        // nothing (the properties of a make follow).
        auto toAnnotation = [](const HXScriptValue& value) -> std::optional<HXScriptValue> {
            auto a = std::make_shared<MVPModelAnnotation>();
            if (value.isPropertyList() && value.propertyList().isDictionary()) {
                const auto& record = value.propertyList();
                if (record["annotationId"].isString())
                    a->setAnnotationId(record["annotationId"].stringValue());
                if (record["name"].isString())
                    a->setName(record["name"].stringValue());
                a->_annotationText = record["fullText"].stringValue();
            }
            return HXScriptValue(MVPAnnotationScripting::classDescription().reference(a));
        };
        handler.registerCoercer("record", "annotation", toAnnotation);
        handler.registerCoercer("missing", "annotation", toAnnotation);
        return true;
    }();
    (void)registered;
}

} // namespace MVPScriptCoercions
