// Writes the seeds of the saved-list fuzzers: the objects of a synthetic picture analysed and
// saved as an Orvik JSON list, as a single result, as a GeoJSON FeatureCollection, and as a
// RoiSet stored and deflated, and its ROIs alone, parted, for the RoiSet fuzzer to pack.
#include "document/objects.h"
#include "io/formats.h"
#include "io/object_formats.h"
#include "zip_files.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <memory>

namespace {

void write(const QString& folder, const QString& name, const QByteArray& bytes) {
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "make_objects_seeds: cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

} // namespace

// make_objects_seeds OBJECTS_FOLDER ROISET_FOLDER
int main(int argc, char** argv) {
    using namespace orvik;
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_objects_seeds OBJECTS_FOLDER ROISET_FOLDER\n");
        return 2;
    }
    // Three dark discs on a light ground; one object of each closed model and an open chain.
    GreyImage image;
    image.ImageWidth = 160;
    image.ImageHeight = 60;
    image.GreyData = std::make_unique<std::uint8_t[]>(160 * 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 160; ++x) {
            const int dx = x % 50 - 25, dy = y - 30;
            image.GreyData[y * 160 + x] = dx * dx + dy * dy < 225 ? 40 : 210;
        }
    ObjectList list;
    for (int i = 0; i < 4; ++i) {
        ControlValues values;
        values.model = static_cast<ModelChoice>(1 + i);
        setBox(values.fields, Box{5 + 50 * (i % 3), 8, 45 + 50 * (i % 3), 52});
        list.add(values);
    }
    list.analyseAll(image, "seeds.bmp", 1);
    const std::vector<PictureObject>& objects = list.objects();
    write(argv[1], "list.json", toObjectsJson(objects, image, "seeds.bmp"));
    write(argv[1], "single.json", toJson(objects[1].result, measureObject(objects[1], image)));
    write(argv[1], "features.geojson", toFeatureCollection(objects, image, "seeds.bmp"));
    const QByteArray roiSet = toRoiSet(objects);
    write(argv[1], "roiset.zip", roiSet);
    // The RoiSet fuzzer reads an input whose first byte is odd as an archive, and one whose
    // first byte is even as ROIs parted by "|ROI|" that it packs itself.
    write(argv[2], "stored.zip", "1" + roiSet);
    std::vector<ZipEntry> entries;
    QByteArray rois("0");
    for (int i = 0; i < 4; ++i) {
        entries.push_back({"000" + std::to_string(i + 1) + ".roi", toRoi(objects[i].result)});
        rois += (i ? "|ROI|" : "") + entries.back().data;
    }
    write(argv[2], "deflated.zip", "1" + test::deflatedZip(entries));
    write(argv[2], "rois.bin", rois);
    return 0;
}
