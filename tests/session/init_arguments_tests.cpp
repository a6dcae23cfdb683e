// Tests of the control values → Init arguments mapping and the middle-fifth box.
#include "core/init_arguments.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

TEST(InitArguments, EachWeightIsTheFieldTimesItsFactorRoundedOnceToFloat) {
    ControlValues v;
    FieldValues& f = v.fields;
    at(f, Field::Tension) = 500;
    at(f, Field::Rigidity) = 33;
    at(f, Field::Radius) = 1000;
    at(f, Field::Form) = 7;
    at(f, Field::Image) = 30;
    at(f, Field::Threshold) = 1019;
    at(f, Field::Gradient) = 3;
    at(f, Field::Inertia) = 1;
    at(f, Field::Viscosity) = 1;
    at(f, Field::Iterations) = 32760;
    v.blackOnWhite = false;
    const InitArguments a = analysisArguments(v);
    EXPECT_EQ(a.tension, 2.5f);
    EXPECT_EQ(a.rigidity, static_cast<float>(33 * 0.005));
    EXPECT_EQ(a.radius, 1000.0f);
    EXPECT_EQ(a.formWeight, static_cast<float>(7 * 0.001));
    EXPECT_EQ(a.imageWeight, static_cast<float>(30 * 0.005));
    EXPECT_EQ(a.threshold, 254.75f);
    EXPECT_EQ(a.gradientWeight, static_cast<float>(3 * 0.01));
    EXPECT_EQ(a.inertia, static_cast<float>(0.1));
    EXPECT_EQ(a.viscosity, static_cast<float>(0.2));
    EXPECT_EQ(a.iterations, 32760);
    // Rounded once from the double product, not a float product of float factors.
    EXPECT_EQ(a.gradientWeight, static_cast<float>(0.03));
}

TEST(InitArguments, TheImageWeightIsNegatedForBlackOnWhiteExceptWithOpened) {
    struct Case {
        ModelChoice model;
        bool blackOnWhite;
        float expected;
    };
    const float w = static_cast<float>(30 * 0.005);
    for (const Case& c :
         {Case{ModelChoice::CenterPoint, true, -w}, Case{ModelChoice::Standard, true, -w},
          Case{ModelChoice::Balloon, true, -w}, Case{ModelChoice::Opened, true, w},
          Case{ModelChoice::CenterPoint, false, w}, Case{ModelChoice::Balloon, false, w},
          Case{ModelChoice::Opened, false, w}}) {
        ControlValues v;
        v.model = c.model;
        v.blackOnWhite = c.blackOnWhite;
        EXPECT_EQ(analysisArguments(v).imageWeight, c.expected)
            << "model " << static_cast<int>(c.model) << " blackOnWhite " << c.blackOnWhite;
    }
}

TEST(InitArguments, APreviewPassesOnlyTheGeometry) {
    ControlValues v;
    at(v.fields, Field::X1) = 50;
    at(v.fields, Field::Y1) = 40;
    at(v.fields, Field::X2) = 10;
    at(v.fields, Field::Y2) = 20;
    at(v.fields, Field::Points) = 7;
    v.model = ModelChoice::Opened;
    const InitArguments a = geometryArguments(v);
    EXPECT_EQ((std::array{a.x1, a.y1, a.x2, a.y2, a.modelKind, a.pointCount}),
              (std::array{50, 40, 10, 20, 4, 7}));
    EXPECT_EQ(a.tension, 0.0f);
    EXPECT_EQ(a.viscosity, 0.0f);
    EXPECT_EQ(a.iterations, 0);
    // The box fields are passed by name, not by their position in the focus order, where
    // Y2 comes before X2.
    const InitArguments full = analysisArguments(v);
    EXPECT_EQ(full.x2, 10);
    EXPECT_EQ(full.y2, 20);
}

TEST(MiddleFifth, RoundsEachQuotientToNearest) {
    struct Case {
        int w, h;
        Box box;
    };
    for (const Case& c : {Case{640, 480, {256, 192, 384, 288}}, Case{101, 101, {40, 40, 61, 61}},
                          Case{2, 2, {1, 1, 1, 1}}, Case{1, 1, {0, 0, 1, 1}},
                          Case{32767, 3, {13107, 1, 19660, 2}}}) {
        EXPECT_EQ(middleFifth(c.w, c.h), c.box) << c.w << " x " << c.h;
    }
}

TEST(FieldTable, ProgramSetValuesAreClampedToTheRange) {
    EXPECT_EQ(clampToField(-7, 0, 640), 0);
    EXPECT_EQ(clampToField(700, 0, 640), 640);
    EXPECT_EQ(clampToField(33000, 3, 200), 200);
    EXPECT_EQ(clampToField(5, 0, 100), 5);
    const FieldValues d = defaultFieldValues();
    EXPECT_EQ(at(d, Field::Threshold), 100);
    EXPECT_EQ(at(d, Field::Points), 32);
    EXPECT_EQ(fieldInfo(Field::X2).upDownName, std::string("UpDown14"));
    EXPECT_EQ(fieldInfo(Field::Y2).editName, std::string("Edit14"));
}

} // namespace
} // namespace orvik
