// The shared commands: the model table, the full stop, the tools' order and partial results.
#include "core/commands.h"
#include "core/full_stop.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

TEST(Commands, FullStopFollowsTheLastCharactersCode) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"Cannot open file x.bmp", "Cannot open file x.bmp."},
        {"Unknown picture file extension (.xyz)", "Unknown picture file extension (.xyz)"},
        {"Done.", "Done."},
        {"ends in a dash -", "ends in a dash -"},
        {"ends in a digit 7", "ends in a digit 7."},
        {"", ""},
        {"caf\xc3\xa9", "caf\xc3\xa9."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withFullStop(std::string(c.text)), c.shown) << c.text;
        EXPECT_EQ(withFullStop(QString::fromUtf8(c.text)), QString::fromUtf8(c.shown)) << c.text;
    }
}

TEST(Commands, EachModelAllowsItsTools) {
    const struct {
        ModelChoice model;
        bool radius, threshold, object;
    } cases[] = {
        {ModelChoice::CenterPoint, true, true, true},
        {ModelChoice::Standard, true, true, true},
        {ModelChoice::Balloon, false, true, true},
        {ModelChoice::Opened, false, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toolAllowed(c.model, Tool::Radius), c.radius);
        EXPECT_EQ(toolAllowed(c.model, Tool::Threshold), c.threshold);
        EXPECT_EQ(toolAllowed(c.model, Tool::Object), c.object);
        EXPECT_TRUE(toolAllowed(c.model, Tool::All));
        EXPECT_EQ(modelControls(c.model).formAndRadius, c.radius);
        EXPECT_EQ(modelControls(c.model).polarity, c.object);
    }
}

TEST(Commands, SetThemAllKeepsWhatItSetBeforeTheObjectToolFails) {
    // A 64 × 64 grey image; the click at the box centre makes "Set object" divide 0 by 0.
    GreyImage image;
    image.ImageWidth = image.ImageHeight = 64;
    image.GreyData = std::make_unique<std::uint8_t[]>(64 * 64);
    std::fill_n(image.GreyData.get(), 64 * 64, std::uint8_t{100});
    ControlValues values;
    at(values.fields, Field::X1) = 10;
    at(values.fields, Field::Y1) = 10;
    at(values.fields, Field::X2) = 50;
    at(values.fields, Field::Y2) = 50;
    KONTUR k;
    StepScratch scratch;
    const HeadlessOutcome outcome =
        analyseHeadless(k, scratch, image, values, ToolRequest{Tool::All, 30, 30});
    EXPECT_EQ(outcome.error, "Invalid floating point operation");
    EXPECT_EQ(at(outcome.values.fields, Field::Radius), 2); // 0, held to the Radius range
    EXPECT_EQ(at(outcome.values.fields, Field::Threshold), 400);
    EXPECT_EQ(k.ModelKind, 0); // no analysis ran
}

} // namespace
} // namespace orvik
