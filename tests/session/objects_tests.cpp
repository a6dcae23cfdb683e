// The object list: ids that are never reused, and analyses on worker threads that give each
// object, bit for bit, what analysing it alone gives, a failing one included.
#include "document/objects.h"
#include "session_test_support.h"

#include <cstring>
#include <gtest/gtest.h>

namespace orvik {
namespace {

using test::discs;
using test::objectsOn;

bool sameBits(const std::vector<FloatPoint>& a, const std::vector<FloatPoint>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

TEST(Objects, IdsAreNeverReusedWithinAPicture) {
    ObjectList list;
    const ControlValues v;
    EXPECT_EQ(list.add(v), 1);
    EXPECT_EQ(list.add(v), 2);
    list.remove(2);
    EXPECT_EQ(list.add(v), 3);
    list.clear();
    EXPECT_EQ(list.add(v), 4);
    list.restore({9, v, {}, {}});
    EXPECT_EQ(list.add(v), 10);
    EXPECT_NE(list.find(9), nullptr);
    EXPECT_EQ(list.find(2), nullptr);
    list.reset();
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.add(v), 1);
}

TEST(Objects, EveryThreadCountGivesWhatEachObjectGivesAlone) {
    const GreyImage image = discs();
    const ObjectList alone = [&] {
        ObjectList list = objectsOn(15);
        for (const PictureObject& o : list.objects())
            list.analyse(o.id, image, "discs.bmp");
        return list;
    }();
    const PictureObject& failing = alone.objects().back();
    ASSERT_FALSE(failing.error.empty());
    EXPECT_TRUE(failing.result.vertices.empty()); // nothing good to keep yet

    // Coupled, the overlapping objects differ from their analyses alone, but not between
    // thread counts.
    ObjectList coupled = objectsOn(15);
    coupled.analyseAll(image, "discs.bmp", 1);
    for (const auto& [threads, couple] :
         {std::pair{1, false}, {2, false}, {3, false}, {8, false}, {2, true}, {3, true}}) {
        SCOPED_TRACE(threads);
        SCOPED_TRACE(couple);
        const ObjectList& reference = couple ? coupled : alone;
        ObjectList list = objectsOn(15);
        list.setCoupling(couple);
        std::vector<std::size_t> reports;
        list.analyseAll(image, "discs.bmp", threads,
                        [&](std::size_t done) { reports.push_back(done); });
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back(), 15u);
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
        for (std::size_t i = 0; i < list.size(); ++i) {
            const PictureObject& got = list.objects()[i];
            const PictureObject& want = reference.objects()[i];
            EXPECT_EQ(got.error, want.error) << "object " << got.id;
            EXPECT_TRUE(sameBits(got.result.points, want.result.points)) << "object " << got.id;
            EXPECT_EQ(got.result.radii, want.result.radii) << "object " << got.id;
            EXPECT_EQ(got.result.vertices, want.result.vertices) << "object " << got.id;
            EXPECT_EQ(got.result.iteration, want.result.iteration) << "object " << got.id;
        }
    }
}

TEST(Objects, AFailedAnalysisKeepsTheLastGoodResult) {
    const GreyImage image = discs();
    ObjectList list = objectsOn(2);
    PictureObject& first = *list.find(1);
    list.analyseAll(image, "discs.bmp", 2);
    ASSERT_TRUE(first.error.empty());
    const std::vector<Vertex> good = first.result.vertices;
    ASSERT_FALSE(good.empty());
    // The same object with weights that make it diverge: the error, and the drawing stays.
    at(first.values.fields, Field::Inertia) = 0;
    at(first.values.fields, Field::Viscosity) = 1;
    at(first.values.fields, Field::Tension) = 500;
    at(first.values.fields, Field::Rigidity) = 100;
    at(first.values.fields, Field::Iterations) = 5000;
    first.values.model = ModelChoice::Standard;
    list.analyse(1, image, "discs.bmp");
    EXPECT_FALSE(first.error.empty());
    EXPECT_EQ(first.result.vertices, good);
}

} // namespace
} // namespace orvik
