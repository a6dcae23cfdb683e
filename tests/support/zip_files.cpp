// Deflated zip archives: the stored archive's headers with each entry packed by zlib.
#include "zip_files.h"

#include <algorithm>
#include <zlib.h>

namespace orvik::test {

QByteArray deflatedZip(const std::vector<ZipEntry>& entries) {
    const QByteArray zip = zipStored(entries);
    // Rebuild each entry deflated: the stored archive gives the headers to copy.
    QByteArray out, directory;
    qsizetype at = 0;
    for (const ZipEntry& entry : entries) {
        QByteArray packed(static_cast<qsizetype>(compressBound(entry.data.size())), '\0');
        z_stream s{};
        deflateInit2(&s, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(entry.data.constData()));
        s.avail_in = static_cast<uInt>(entry.data.size());
        s.next_out = reinterpret_cast<Bytef*>(packed.data());
        s.avail_out = static_cast<uInt>(packed.size());
        deflate(&s, Z_FINISH);
        packed.truncate(static_cast<qsizetype>(s.total_out));
        deflateEnd(&s);
        QByteArray local = zip.mid(at, 30 + static_cast<qsizetype>(entry.name.size()));
        local[8] = 8; // deflated
        const auto size = static_cast<std::uint32_t>(packed.size());
        for (int i = 0; i < 4; ++i)
            local[18 + i] = static_cast<char>(size >> (8 * i));
        at += local.size() + entry.data.size();
        QByteArray central = local;
        central.insert(4, QByteArray("\x14\x00", 2));
        central.insert(32, QByteArray(14, '\0'));
        for (int i = 0; i < 4; ++i)
            central[42 + i] = static_cast<char>(out.size() >> (8 * i));
        central[0] = 'P', central[1] = 'K', central[2] = 1, central[3] = 2;
        directory += central;
        out += local + packed;
    }
    QByteArray end = zip.right(22);
    for (int i = 0; i < 4; ++i) {
        end[12 + i] = static_cast<char>(directory.size() >> (8 * i));
        end[16 + i] = static_cast<char>(out.size() >> (8 * i));
    }
    return out + directory + end;
}

QByteArray tracedRoi(const std::vector<std::pair<int, int>>& corners) {
    int left = corners[0].first, top = corners[0].second, right = left, bottom = top;
    for (const auto& [x, y] : corners) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    const qsizetype n = static_cast<qsizetype>(corners.size());
    QByteArray roi(64 + 4 * n, '\0');
    const auto put16 = [&roi](qsizetype at, int v) {
        roi[at] = static_cast<char>((v >> 8) & 0xff);
        roi[at + 1] = static_cast<char>(v & 0xff);
    };
    roi.replace(0, 4, "Iout");
    put16(4, 227);
    roi[6] = 8; // traced
    put16(8, top);
    put16(10, left);
    put16(12, bottom);
    put16(14, right);
    put16(16, static_cast<int>(n));
    for (qsizetype i = 0; i < n; ++i) {
        put16(64 + 2 * i, corners[std::size_t(i)].first - left);
        put16(64 + 2 * n + 2 * i, corners[std::size_t(i)].second - top);
    }
    return roi;
}

QByteArray asZip64(const QByteArray& zip) {
    const qsizetype end = zip.size() - 22;
    QByteArray out = zip.left(end);
    const auto put = [&out](std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(static_cast<char>(v >> (8 * i)));
    };
    const auto plain = [&zip, end](int at, int bytes) { return zip.mid(end + at, bytes); };
    put(0x06064b50, 4);
    put(44, 8);            // the size of the rest of the record
    put(45 | 45 << 16, 4); // made by and needed: zip 4.5
    put(0, 8);             // both disks 0
    for (const QByteArray& field : {plain(10, 2), plain(10, 2), plain(12, 4), plain(16, 4)})
        out.append(field + QByteArray(8 - field.size(), '\0')); // counts, size, offset
    put(0x07064b50, 8);
    put(static_cast<std::uint64_t>(end), 8); // the zip64 record's place
    put(1, 4);                               // disks
    put(0x06054b50, 8);
    put(0xffffffff, 4);
    put(0xffffffffffffffff, 8);
    put(0, 2);
    return out;
}

} // namespace orvik::test
