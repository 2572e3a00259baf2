#include "scripting/model_annotation.h"

#include "document/movie_document.h"
#include "platform/basekit/undo_manager.h"
#include "platform/mvkit/atoms/four_char_code.h"
#include "platform/mvkit/atoms/user_data_values.h"
#include "platform/mvkit/movie.h"
#include "platform/mvkit/user_data.h"
#include "scripting/movie_doc_scripting.h"
#include "scripting/track_scripting.h"

#include <map>
#include <mutex>

namespace MVPAnnotationScripting {

namespace {

using V = HXScriptValue;

struct Maps {
    std::map<std::string, std::string> namesToIDs;
    std::map<std::string, std::string> idsToNames;
};

// Built once for the process, whichever thread asks first.
const Maps& maps()
{
    static Maps m;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const auto& [code, name] : annotationCodes()) {
            std::string id = MVStringForOSType(code);
            m.namesToIDs.emplace(name, id);
            m.idsToNames.emplace(id, name);
        }
    });
    return m;
}

// The user data an annotation's owner keeps, and the movie it belongs to.
struct Owner {
    MVUserData* userData = nullptr;
    std::shared_ptr<MVTrack> track;
    std::shared_ptr<MVMovie> movie;
};

Owner ownerOf(const HXScriptReference& owner)
{
    Owner o;
    if (!owner)
        return o;
    if (owner.classDescription() == &MVPMovieDocScripting::classDescription()) {
        o.movie = owner.as<MVPMovieDocument>()->movie();
        if (o.movie)
            o.userData = &o.movie->userData();
    } else if (owner.classDescription() == &MVPTrackScripting::classDescription()) {
        o.track = owner.as<MVTrack>();
        o.movie = o.track->movie();
        o.userData = &o.track->userData();
    }
    return o;
}

// Puts the owner's user data back as `saved` holds it, registering the way back again (for redo).
void registerRestore(const HXScriptReference& owner, MVUserData saved)
{
    Owner o = ownerOf(owner);
    HXUndoManager* undo = o.movie ? o.movie->undoManager() : nullptr;
    if (!undo || !undo->isUndoRegistrationEnabled())
        return;
    undo->registerUndo(o.movie.get(), [owner, saved] {
        Owner now = ownerOf(owner);
        if (!now.userData)
            return;
        registerRestore(owner, *now.userData);
        *now.userData = saved;
        if (now.track)
            now.track->noteUserDataChanged();
        now.movie->movieChanged();
    });
    undo->setActionName("Annotation");
}

// Writes (or, for an empty text, removes) the item `code` of the owner's user data, with undo.
void writeItem(const HXScriptReference& owner, uint32_t code, const std::string& text)
{
    Owner o = ownerOf(owner);
    if (!o.userData || !o.movie)
        return;
    registerRestore(owner, *o.userData);
    // The item is the annotation's text alone: whatever it held in other languages goes with it.
    MVUserDataRemoveText(*o.userData, code);
    if (!text.empty()) {
        // English in the classic 8-bit encoding when that holds the text (what older readers expect),
        // else as UTF-8 under the ISO code: no character is dropped.
        bool roman = MVUTF8FromRoman(MVRomanFromUTF8(text)) == text;
        MVUserDataSetText(*o.userData, code, text, roman ? uint16_t(0) : MVPackedLanguage("eng").value_or(0));
    }
    if (o.track)
        o.track->noteUserDataChanged();
    o.movie->movieChanged();
}

std::shared_ptr<MVPModelAnnotation> annotationOf(const V& value)
{
    if (!value.isObject() || value.object().classDescription() != &classDescription())
        return nullptr;
    return value.object().as<MVPModelAnnotation>();
}

} // namespace

const std::vector<std::pair<uint32_t, std::string>>& annotationCodes()
{
    static const std::vector<std::pair<uint32_t, std::string>> codes = [] {
        const std::pair<const char*, const char*> table[] = { { "alb", "Album" }, { "ART", "Artist" },
            { "aut", "Author" }, { "cmt", "Comment" }, { "com", "Composer" }, { "cpy", "Copyright" },
            { "day", "Creation Date" }, { "des", "Description" }, { "dir", "Director" },
            { "dis", "Disclaimer" }, { "dsa", "Display Source As" }, { "enc", "Encoded By" },
            { "nam", "Full Name" }, { "gen", "Genre" }, { "hst", "Host Computer" }, { "inf", "Information" },
            { "key", "Keywords" }, { "mak", "Make" }, { "mod", "Model" }, { "ope", "Original Artist" },
            { "fmt", "Original Format" }, { "src", "Original Source" }, { "prf", "Performers" },
            { "prd", "Producer" }, { "PRD", "Product" }, { "swr", "Software" },
            { "req", "Special Playback Requirements" }, { "trk", "Track" }, { "url", "URL Link" },
            { "wrn", "Warning" }, { "wrt", "Writer" }, { "ed1", "Edit Date 1" }, { "ed2", "Edit Date 2" },
            { "ed3", "Edit Date 3" }, { "ed4", "Edit Date 4" }, { "ed5", "Edit Date 5" },
            { "ed6", "Edit Date 6" }, { "ed7", "Edit Date 7" }, { "ed8", "Edit Date 8" },
            { "ed9", "Edit Date 9" } };
        std::vector<std::pair<uint32_t, std::string>> out;
        for (auto [letters, name] : table)
            out.emplace_back(0xA9000000u | (uint32_t(uint8_t(letters[0])) << 16)
                    | (uint32_t(uint8_t(letters[1])) << 8) | uint32_t(uint8_t(letters[2])),
                name);
        return out;
    }();
    return codes;
}

std::string annotationNameForID(const std::string& code)
{
    auto it = maps().idsToNames.find(code);
    return it == maps().idsToNames.end() ? std::string("Unknown") : it->second;
}

std::string annotationIDForName(const std::string& name)
{
    auto it = maps().namesToIDs.find(name);
    return it == maps().namesToIDs.end() ? std::string("Unknown") : it->second;
}

HXScriptValue::List annotationsOf(const HXScriptReference& owner)
{
    HXScriptValue::List list;
    Owner o = ownerOf(owner);
    if (!o.userData)
        return list;
    for (const auto& [code, text] : MVUserDataAnnotations(*o.userData)) {
        auto a = std::make_shared<MVPModelAnnotation>();
        a->_annotationText = text;
        a->_annotationID = code;
        a->_parent = owner;
        list.emplace_back(classDescription().reference(a));
    }
    return list;
}

HXScriptValue insertAnnotation(
    const HXScriptReference& owner, const HXScriptValue& value, HXScriptCommand& command)
{
    auto a = annotationOf(value);
    if (!a) {
        command.fail(HXScriptCoercionError, "An annotation is made from its name and text.");
        return {};
    }
    if (annotationNameForID(a->_annotationID) == "Unknown") {
        command.fail(HXScriptParameterError,
            "An annotation is named by one of the names of the table (\u201cFull Name\u201d, "
            "\u201cCopyright\u201d, ...).");
        return {};
    }
    a->_parent = owner;
    writeItem(owner, MVOSTypeForString(a->_annotationID), a->_annotationText);
    return value;
}

void removeAnnotation(const HXScriptReference& owner, int64_t index, HXScriptCommand& command)
{
    auto list = annotationsOf(owner);
    if (index < 0 || index >= int64_t(list.size())) {
        command.fail(HXScriptNoSuchObjectError, "There is no annotation " + std::to_string(index + 1) + ".");
        return;
    }
    annotationOf(list[size_t(index)])->setFullText({}, command);
}

const HXScriptClass<MVPModelAnnotation>& classDescription()
{
    static const HXScriptClass<MVPModelAnnotation> cls = [] {
        HXScriptClass<MVPModelAnnotation> c("annotation");
        c.getSet(
            "name", [](MVPModelAnnotation& a) { return V(a.name()); }, "string",
            [](MVPModelAnnotation& a, const V& v, HXScriptCommand&) {
                a.setName(v.propertyList().stringValue());
            });
        c.getSet(
            "annotationId", [](MVPModelAnnotation& a) { return V(a._annotationID); }, "string",
            [](MVPModelAnnotation& a, const V& v, HXScriptCommand&) {
                a.setAnnotationId(v.propertyList().stringValue());
            });
        c.getSet(
            "fullText", [](MVPModelAnnotation& a) { return V(a.fullText()); }, "string",
            [](MVPModelAnnotation& a, const V& v, HXScriptCommand& command) {
                a.setFullText(v.propertyList().stringValue(), command);
            });
        c.get("parent", [](MVPModelAnnotation& a) { return a._parent ? V(a._parent) : V(); });
        c.specifier([](MVPModelAnnotation& a) -> std::optional<HXScriptObjectSpecifier> {
            auto container = a._parent
                ? a._parent.classDescription()->objectSpecifier(a._parent.object().get())
                : std::nullopt;
            if (!container)
                return std::nullopt;
            return HXScriptObjectSpecifier::name(
                "annotationElements", a.name(), std::make_shared<HXScriptObjectSpecifier>(*container));
        });
        return c;
    }();
    return cls;
}

} // namespace MVPAnnotationScripting

std::string MVPModelAnnotation::name() const
{
    return MVPAnnotationScripting::annotationNameForID(_annotationID);
}

void MVPModelAnnotation::setName(const std::string& name)
{
    if (!_parent)
        _annotationID = MVPAnnotationScripting::annotationIDForName(name);
}

void MVPModelAnnotation::setAnnotationId(const std::string& code)
{
    if (!_parent)
        _annotationID = code;
}

std::string MVPModelAnnotation::fullText() const
{
    return _annotationText;
}

void MVPModelAnnotation::setFullText(const std::string& text, HXScriptCommand&)
{
    if (_parent)
        MVPAnnotationScripting::writeItem(_parent, MVOSTypeForString(_annotationID), text);
    _annotationText = text;
}
