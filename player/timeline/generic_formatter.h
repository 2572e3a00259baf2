#pragma once
// The time-code field's formatters: one per display mode, each turning the movie's current time into the
// field's text, keeping the user's selection of a two-character field inside it, applying keystrokes,
// arrow-key steps and typed values, and finally moving the movie to the edited time.
//
// GenericFormatter holds the editing machinery; the subclasses make and read the text. The text is read
// as two-character fields separated by single separators, field 0 being the last one.
//
// Times are 64-bit throughout: `_time` is the movie's current time (in the movie's time scale) minus the
// origin. A committed time never goes below the movie's start.
//
// As an HXFormatter, a formatter turns a movie time (an integer count in the movie's time scale) into the
// text it would show there, and reads text back into the movie time that committing it would move to.
#include "platform/mvkit/movie.h"
#include "platform/winkit/formatter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class GenericFormatter : public HXFormatter {
public:
    // Edit states.
    static constexpr int NoEdit = 0;
    static constexpr int FieldEdit = 1; // keys or arrows on a selected field
    static constexpr int FreeEntry = -1; // text typed over the whole string

    explicit GenericFormatter(int type);
    ~GenericFormatter() override = default;

    virtual void setMovie(std::shared_ptr<MVMovie> movie);
    const std::shared_ptr<MVMovie>& movie() const { return _movie; }
    // The origin is subtracted for display and added back on commit; the maximum limits a committed
    // time (0: none). Both are counts in the movie's time scale.
    void setOrigin(int64_t origin) { _timeOrigin = origin; }
    int64_t origin() const { return _timeOrigin; }
    void setMaximum(int64_t maximum) { _timeMaximum = maximum; }
    int64_t maximum() const { return _timeMaximum; }
    void applyAbsoluteFrameNumberMode() { _absoluteFrameMode = true; }
    bool absoluteFrameMode() const { return _absoluteFrameMode; }

    // The shown text: refreshed from the movie unless the user changed it.
    std::string timeString();
    void setTimeString(std::string string) { _timeString = std::move(string); }
    // The text of the longest time of the movie (the field measures its width with it).
    virtual std::string maxTimeString();
    // The text for the current time; nothing in the base class.
    virtual std::optional<std::string> formatTime() { return std::nullopt; }
    // The movie's frame rate; 0 when it has none.
    double staticFrameRate() const;
    virtual void updateTime();

    // Editing.
    int editState() const { return _editState; }
    bool isModified() const { return _modified; }
    int selectionStart() const { return _selStart; }
    int selectionEnd() const { return _selEnd; }
    // 0 nothing selected (or no text), −1 the whole text, 1 a field.
    virtual int selectionMode() const;
    virtual bool select(int index, bool doubleClick);
    virtual bool moveField(int direction);
    virtual bool incrementField(int step);
    // One typed byte: digits, ".", "+", "-" and backspace (8); others are ignored (false).
    virtual bool doKeyDown(char key);
    // Commit: moves the movie to the edited time, then ends the edit.
    virtual void applyEdit();
    virtual void cancelEdit();
    virtual int maxValueForField(int index) const;
    virtual std::shared_ptr<MVTrack> timeCodeTrack() const;

    // Typed text read as [sign, then the "."-separated numbers from the last to the first]; the sign is
    // 1 for a leading "+", −1 for "-", else 0. Nothing for empty text.
    static std::optional<std::vector<int64_t>> dotParse(const std::string& string);

    // HXFormatter: movie times (integer counts in the movie's time scale) to text and back.
    std::string stringForObjectValue(const HXPropertyList& value) const override;
    bool getObjectValue(
        HXPropertyList& value, const std::string& string, std::string* errorDescription) const override;

protected:
    // The time committing `text` in edit state `state` moves the movie to; nothing to leave it.
    virtual std::optional<MVTime> committedTime(const std::string& text, int state) const
    {
        (void)text;
        (void)state;
        return std::nullopt;
    }
    // The text shown at movie time `movieTimeValue`.
    virtual std::optional<std::string> formatTimeAt(int64_t movieTimeValue) const
    {
        (void)movieTimeValue;
        return std::nullopt;
    }
    // Ends the edit without committing.
    void endEdit();
    // A committed value limited by the maximum and kept at or after the movie's start.
    int64_t limitedValue(int64_t value) const;
    int32_t movieTimeScale() const;
    int selectedFieldIndex() const;
    int selectedFieldValue() const;
    void replaceSelectedField(int value);

    // Integers read from text, skipping ":", ";" and blanks between them; missing ones are 0.
    static std::vector<int64_t> scanIntegers(const std::string& string, size_t count);
    static int64_t multiplyClamped(int64_t a, int64_t b);
    static int64_t addClamped(int64_t a, int64_t b);

    int _editState = NoEdit;
    int _selStart = -1;
    int _selEnd = -1;
    std::string _timeString;
    bool _modified = false;
    bool _absoluteFrameMode = false;
    std::shared_ptr<MVMovie> _movie;
    int64_t _time = 0;
    int32_t _scale = 0;
    int64_t _timeOrigin = 0;
    int64_t _timeMaximum = 0;
};

// The formatters answer the field's formatter interface through their common base.
using FormatterInterface = GenericFormatter;
