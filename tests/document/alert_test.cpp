#include "core/alert.h"

#include "core/movie_error.h"
#include "platform/winkit/application.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> titles(const HXAlert& alert)
{
    std::vector<std::string> result;
    for (const auto& button : alert.buttons())
        result.push_back(button->title());
    return result;
}

TEST(Alert, BuiltFromAMovieError)
{
    HXError underlying = HXError::withDescription(HXPOSIXErrorDomain, 13, "Permission denied");
    HXError error = MVPMovieErrorWithCode(3, MVPMovieErrorSubject { "Clip" }, underlying);
    auto alert = MVPAlert::alertWithError(error);
    EXPECT_EQ(alert->alertStyle(), HXCriticalAlertStyle);
    EXPECT_EQ(alert->messageText(), error.localizedDescription());
    EXPECT_EQ(alert->informativeText(), "Permission denied");
    EXPECT_TRUE(alert->buttons().empty()) << "no recovery options, no buttons of its own";
}

TEST(Alert, WithoutASuggestionTheInformativeTextStaysEmpty)
{
    auto alert = MVPAlert::alertWithError(MVPMovieErrorWithCode(2, std::nullopt, std::nullopt));
    EXPECT_EQ(alert->messageText(), "Could not open.");
    EXPECT_EQ(alert->informativeText(), "");
}

TEST(Alert, OneButtonPerRecoveryOptionInOrderAndTheAnswerComesBack)
{
    HXError error = HXError::withDescription("Elsewhere", 9, "It failed");
    error.userInfo()[MVPLocalizedRecoveryOptionsErrorKey]
        = HXPropertyList(HXPropertyList::Array { "Retry", "Skip", "Cancel" });
    auto alert = MVPAlert::alertWithError(error);
    EXPECT_EQ(titles(*alert), (std::vector<std::string> { "Retry", "Skip", "Cancel" }));
    EXPECT_EQ(alert->messageText(), "It failed");

    HXAlert::setAlertDidAppearHandler([](HXAlert& shown) { shown.buttons().at(1)->performClick(); });
    long answer = alert->runModal();
    HXAlert::setAlertDidAppearHandler(nullptr);
    EXPECT_EQ(answer, HXAlertSecondButtonReturn);
}

} // namespace
