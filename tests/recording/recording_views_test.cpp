// The recording window's level meter and data-size field.
#include "recording_test_support.h"

#include "platform/drawing/image.h"
#include "recording/data_size_text_field.h"
#include "recording/meter_view.h"

#include "platform/winkit/window.h"

#include <gtest/gtest.h>

namespace {

TEST(DataSizeTextFieldTest, ShowsOneDecimalAndAUnit)
{
    const struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        { 0, "0.0 MB" },
        { 1023, "0.0 MB" },
        { 1572864, "1.5 MB" },
        { 999ull * 1048576, "999.0 MB" },
        { 1024000ull * 1024, "0.9 GB" }, // 1,024,000 KB
        { 2ull * 1073741824, "2.0 GB" },
        { 1536ull * 1073741824, "1.5 TB" },
        { 3ull << 50, "3.0 PB" },
        { UINT64_MAX, "15.9 EB" }, // truncated, never rounded up
    };
    for (const auto& c : cases)
        EXPECT_EQ(MVPDataSizeTextField::dataSizeString(c.bytes), c.text) << c.bytes;
}

TEST(DataSizeTextFieldTest, StartsAtZeroAndChangesOnlyWithTheText)
{
    auto field = MVPDataSizeTextField::dataSizeTextFieldWithFrame(HXMakeRect(0, 0, 100, 14));
    EXPECT_EQ(field->stringValue(), "0.0 MB");
    EXPECT_FALSE(field->isEditable());
    field->setDataSize(5 * 1048576);
    EXPECT_EQ(field->stringValue(), "5.0 MB");
}

class DataSizeFieldDrawing : public movara::test::recording::RecordingTest { };

TEST_F(DataSizeFieldDrawing, DrawsAgainOnlyWhenTheSizeShownChanges)
{
    auto window = std::make_shared<HXWindow>(HXMakeRect(0, 0, 200, 40), HXTitledWindowMask);
    auto field = MVPDataSizeTextField::dataSizeTextFieldWithFrame(HXMakeRect(10, 10, 100, 14));
    window->contentView()->addSubview(field);
    window->orderFront();
    window->displayIfNeeded();
    // The emboss and the text are drawn in two colours: no change of the field, nothing to draw again.
    EXPECT_FALSE(field->needsDisplay());
    int presents = server->presentCount();
    window->displayIfNeeded();
    EXPECT_EQ(server->presentCount(), presents);

    field->setDataSize(5 * 1048576);
    EXPECT_TRUE(field->needsDisplay());
    window->displayIfNeeded();
    EXPECT_EQ(server->presentCount(), presents + 1);
    EXPECT_FALSE(field->needsDisplay());
    field->setDataSize(5 * 1048576 + 1);
    EXPECT_FALSE(field->needsDisplay()) << "the same text";
}

TEST(MeterViewTest, BarGeometry)
{
    const struct {
        double width;
        float slices;
    } widths[] = { { 111, 20 }, { 115, 20 }, { 116, 21 }, { 11, 0 } };
    for (const auto& w : widths)
        EXPECT_EQ(MVPMeterView::updateNumSlices(w.width), w.slices) << w.width;

    const struct {
        float value;
        float splice;
    } splices[] = { { 0, 7 }, { 0.01f, 12 }, { 0.5f, 57 }, { 1, 107 } };
    for (const auto& s : splices)
        EXPECT_EQ(MVPMeterView::splicePointFor(s.value, 20), s.splice) << s.value;

    HXRect stretch = MVPMeterView::invalidRect(0.5f, 1, 20, 12);
    EXPECT_EQ(stretch.origin.x, 57);
    EXPECT_EQ(stretch.size.width, 50);
    EXPECT_EQ(stretch.size.height, 12);
    EXPECT_EQ(MVPMeterView::invalidRect(0.51f, 0.52f, 20, 12).size.width, 0) << "same slice: nothing to redraw";
}

TEST(MeterViewTest, QuietLevelsShowAsNothing)
{
    auto meter = MVPMeterView::meterViewWithFrame(HXMakeRect(0, 0, 111, 12));
    meter->setValue(0.04f);
    EXPECT_EQ(meter->value(), 0);
    meter->setValue(1);
    EXPECT_EQ(meter->value(), 1);
}

TEST(MeterViewTest, CutsTheBarImagesToTheViewWidth)
{
    auto bar = HXImage::initWithSize({ 111, 12 }); // 20 slices
    const struct {
        double width;
        double expected;
    } cases[] = { { 111, 111 }, { 60, 56 }, { 200, 196 } };
    for (const auto& c : cases) {
        auto scaled = MVPMeterView::scaledImage(bar, { c.width, 12 });
        ASSERT_TRUE(scaled);
        EXPECT_EQ(scaled->size().width, c.expected) << c.width;
        EXPECT_EQ(scaled->size().height, 12);
    }
    EXPECT_EQ(MVPMeterView::scaledImage(bar, { 111, 12 }), bar) << "a bar that fits is used as it is";
}

TEST(MeterViewTest, RescalesOnlyWhenDrawnAtANewSize)
{
    auto meter = MVPMeterView::meterViewWithFrame(HXMakeRect(0, 0, 111, 12));
    auto image = HXImage::initWithSize({ 111, 12 });
    image->drawInto([&] { meter->drawRect(meter->bounds()); });
    auto on = meter->onImage();
    ASSERT_TRUE(on);
    EXPECT_EQ(meter->numSlices(), 20);
    meter->setFrame(HXMakeRect(0, 0, 60, 12));
    EXPECT_EQ(meter->onImage(), on) << "not before the next drawing";
    image->drawInto([&] { meter->drawRect(meter->bounds()); });
    EXPECT_NE(meter->onImage(), on);
    EXPECT_EQ(meter->onImage()->size().width, 56);
    EXPECT_EQ(meter->numSlices(), 9);
}

} // namespace
