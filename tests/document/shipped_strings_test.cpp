// The strings tables and the capture-format list the program ships hold every text its code asks for.
#include "platform/basekit/error.h"
#include "platform/basekit/property_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

HXPropertyList readResource(const std::string& name)
{
    HXError error;
    auto list = HXPropertyList::readFromFile(std::string(MOVARA_SOURCE_DIR) + "/resources/" + name, &error);
    EXPECT_TRUE(list) << name << ": " << error.localizedDescription();
    return list ? *list : HXPropertyList();
}

size_t occurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

TEST(ShippedStrings, MainTableHasEveryKey)
{
    HXPropertyList table = readResource("Localizable.strings.plist");
    const char* messages[]
        = { "mvpCouldNotCreateMovie", "mvpCouldNotOpenMovie", "mvpCouldNotSaveMovie", "mvpCouldNotPaste",
              "mvpCouldNotDeleteSelection", "mvpMightExperiencePlaybackProblems", "mvpUnknownError" };
    for (const char* key : messages) {
        EXPECT_FALSE(table[key].stringValue().empty()) << key;
        std::string withName = table[std::string(key) + "WithName"].stringValue();
        EXPECT_EQ(occurrences(withName, "%"), 1u) << key << "WithName takes the name and nothing else";
        EXPECT_EQ(occurrences(withName, "%@"), 1u) << key << "WithName";
    }
    const char* others[] = { "mvpIndeterminateTime", "mvpMovieDataSizeUnitsBytes",
        "mvpMovieDataSizeUnitsKiloBytes", "mvpMovieDataSizeUnitsMegaBytes", "mvpMovieDataSizeUnitsGigaBytes",
        "mvpMovieDataSizeUnitsTeraBytes", "mvpMovieDataSizeUnitsPetaBytes", "mvpMovieDataSizeUnitsExaBytes" };
    for (const char* key : others)
        EXPECT_FALSE(table[key].stringValue().empty()) << key;
}

TEST(ShippedStrings, MovieInfoTemplatesCarryTheirNumberMarker)
{
    HXPropertyList table = readResource("MovieInfo.strings.plist");
    const char* templates[] = { "bytes", "kiloBytes", "megaBytes", "gigaBytes", "teraBytes", "petaBytes",
        "exaBytes", "bitsPerSec", "kbitsPerSec", "mbitsPerSec", "gbitsPerSec" };
    for (const char* key : templates)
        EXPECT_EQ(occurrences(table[key].stringValue(), "^0"), 1u) << key;
    EXPECT_FALSE(table["playingFPS"].stringValue().empty());
    EXPECT_FALSE(table["Chapter"].stringValue().empty());
}

TEST(ShippedStrings, CaptureFormatListIsWellFormed)
{
    HXPropertyList list = readResource("captureSettingsCore2.plist");
    HXPropertyList strings = readResource("Localizable.strings.plist");
    ASSERT_TRUE(list.isArray());
    bool best = false, native = false;
    for (const HXPropertyList& entry : list.arrayValue()) {
        ASSERT_TRUE(entry.isDictionary());
        if (entry["Name"].stringValue() == "-") {
            EXPECT_FALSE(entry.contains("Identifier")) << "a separator has no identifier";
            continue;
        }
        std::string identifier = entry["Identifier"].stringValue();
        EXPECT_FALSE(identifier.empty());
        best |= identifier == "MVPCapturePresetIdentifierBest";
        native |= identifier == "MVPCapturePresetIdentifierDeviceNative";
        EXPECT_FALSE(strings[entry["Name"].stringValue()].stringValue().empty()) << identifier;
        std::string description = strings[entry["Description"].stringValue()].stringValue();
        EXPECT_EQ(occurrences(description, "%u"), 2u) << identifier << ": width, then height";
        EXPECT_TRUE(entry["VideoSettings"].contains("Width")) << identifier;
        EXPECT_TRUE(entry["VideoSettings"].contains("Height")) << identifier;
    }
    EXPECT_TRUE(best);
    EXPECT_TRUE(native);
}

} // namespace
