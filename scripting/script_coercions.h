#pragma once
// The conversions scripts rely on to make new elements out of plain values: a text, a list of texts or a
// movie becomes a track to be made; a text becomes a frame, a text frame or a chapter; a record becomes an
// annotation. Registered once with the shared coercion handler.
namespace MVPScriptCoercions {

void registerCoercions();

} // namespace MVPScriptCoercions
