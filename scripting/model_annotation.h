#pragma once
// MVPModelAnnotation: one text item of a movie's or a track's user data — its title ("Full Name"),
// copyright, comment ... — keyed by a four-character code ('©nam', '©cpy', ...) and named by the code's
// display name. An annotation read from its owner is a snapshot; one a script makes holds its name and
// text until a movie or track takes it in, and from then on every change of its text is written to its
// owner's user data (an empty text removes the item), as one step of the movie's undo.
#include "platform/basekit/scripting_command.h"

#include <memory>
#include <optional>
#include <string>

class MVMovie;
class MVTrack;
class MVPMovieDocument;

struct MVPModelAnnotation {
    std::string _annotationText;
    std::string _annotationID; // the code as text ("©cpy")
    HXScriptReference _parent; // the movie document or the track; none until inserted

    // The display name of the code, "Unknown" for a code outside the table.
    std::string name() const;
    // Names a script-made annotation (a name outside the table makes the code "Unknown"); with an owner
    // the name stays.
    void setName(const std::string& name);
    void setAnnotationId(const std::string& code);
    // The text as the owner holds it now (the text kept until then without one).
    std::string fullText() const;
    // Without an owner: keeps the text. With one: writes it to the owner's user data (an empty text
    // removes the item).
    void setFullText(const std::string& text, HXScriptCommand& command);
};

namespace MVPAnnotationScripting {

const HXScriptClass<MVPModelAnnotation>& classDescription();

// The 40 codes of the table with their display names, in the table's order.
const std::vector<std::pair<uint32_t, std::string>>& annotationCodes();
// The display name of a code's text ("Unknown" outside the table), and the code text of a display name
// ("Unknown" for a name outside it).
std::string annotationNameForID(const std::string& code);
std::string annotationIDForName(const std::string& name);

// The annotations of a movie document or a track (`owner`), one per text item of its user data.
HXScriptValue::List annotationsOf(const HXScriptReference& owner);
// Writes a script-made annotation into `owner` (its element annotationElements) and answers it.
HXScriptValue insertAnnotation(
    const HXScriptReference& owner, const HXScriptValue& value, HXScriptCommand& command);
// Removes annotation `index` (from 0) of `owner`.
void removeAnnotation(const HXScriptReference& owner, int64_t index, HXScriptCommand& command);

} // namespace MVPAnnotationScripting
