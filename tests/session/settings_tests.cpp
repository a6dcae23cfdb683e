// Tests of the settings reader: what a file sets, and errors that name the file and the key.
#include "io/settings.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orvik {
namespace {

TEST(Settings, AFileSetsOnlyWhatItHolds) {
    const Settings s = parseSettings(
        R"({"model": "opened", "fields": {"tension": 500, "points": 3, "x1": 7}, "other": [1]})",
        "recipe.json");
    const ControlValues v = applySettings(s, ControlValues{});
    EXPECT_EQ(v.model, ModelChoice::Opened);
    EXPECT_TRUE(v.blackOnWhite);
    EXPECT_EQ(at(v.fields, Field::Tension), 500);
    EXPECT_EQ(at(v.fields, Field::Points), 3);
    EXPECT_EQ(at(v.fields, Field::Inertia), fieldInfo(Field::Inertia).defaultValue);
    EXPECT_FALSE(s.box); // one corner is not a box
    EXPECT_EQ(at(v.fields, Field::X1), 0);
}

TEST(Settings, BadFilesNameTheFileAndTheKey) {
    struct Case {
        const char* text;
        const char* key; // expected in the message besides the file
    };
    const Case cases[] = {
        {"{\"model\": ", "not JSON"},
        {"[1, 2]", "JSON object"},
        {R"({"model": "spline"})", "\"model\""},
        {R"({"model": 2})", "\"model\""},
        {R"({"object": "grey"})", "\"object\""},
        {R"({"fields": {"tension": 501}})", "\"fields.tension\": 501 is outside the range 0..500"},
        {R"({"fields": {"points": "32"}})", "\"fields.points\""},
        {R"({"fields": {"radius": 2.5}})", "\"fields.radius\""},
        {R"({"fields": {"tenson": 40}})", "\"fields.tenson\""},
        {R"({"fields": [40]})", "\"fields\""},
        {R"({"box": [1, 2, 3]})", "\"box\""},
        {R"({"box": [1, 2, 3, -4]})", "\"box[3]\""},
        {R"({"box": [1, 2, 3, 1e9]})", "\"box[3]\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            parseSettings(c.text, "/data/recipe.json");
            ADD_FAILURE() << "accepted";
        } catch (const SettingsError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("\"/data/recipe.json\""), std::string::npos) << message;
            EXPECT_NE(message.find(c.key), std::string::npos) << message;
        }
    }
}

TEST(Settings, AMissingFileIsNamed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("none.json");
    try {
        readSettings(path);
        ADD_FAILURE() << "read";
    } catch (const SettingsError& e) {
        EXPECT_NE(std::string(e.what()).find(path.toStdString()), std::string::npos) << e.what();
    }
    QFile file(dir.filePath("box.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"box": [1, 2, 30, 40], "object": "white-on-black"})");
    file.close();
    const Settings s = readSettings(file.fileName());
    EXPECT_EQ(s.box, (Box{1, 2, 30, 40}));
    EXPECT_EQ(s.blackOnWhite, false);
}

} // namespace
} // namespace orvik
