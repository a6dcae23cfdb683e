// Writing and reading zip archives: the local headers, the central directory and its end
// record, with zlib's CRC-32 and inflate.
#include "io/zip_archive.h"

#include <cstdint>
#include <limits>
#include <zlib.h>

namespace orvik {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50, kZip64LocatorSignature = 0x07064b50;
constexpr qsizetype kLocalHeader = 30, kCentralHeader = 46, kEndRecord = 22;
constexpr qsizetype kZip64EndRecord = 56, kZip64Locator = 20;
// 1980-01-01 00:00, the first date the format can hold: the bytes do not depend on the clock.
constexpr std::uint16_t kDosTime = 0, kDosDate = (0 << 9) | (1 << 5) | 1;

std::uint32_t crcOf(const QByteArray& data) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* bytes = reinterpret_cast<const Bytef*>(data.constData());
    for (qsizetype done = 0; done < data.size();) {
        const qsizetype chunk = std::min<qsizetype>(data.size() - done, 1 << 30);
        crc = crc32(crc, bytes + done, static_cast<uInt>(chunk));
        done += chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

void put16(QByteArray& out, std::uint32_t v) {
    out.append(static_cast<char>(v & 0xff));
    out.append(static_cast<char>((v >> 8) & 0xff));
}

void put32(QByteArray& out, std::uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

// Little-endian fields of the archive, each read only within its bytes.
class Fields {
public:
    explicit Fields(const QByteArray& bytes) : bytes_(bytes) {}
    bool has(qsizetype at, qsizetype count) const {
        return at >= 0 && count >= 0 && at <= bytes_.size() && count <= bytes_.size() - at;
    }
    std::uint32_t u16(qsizetype at) const {
        need(at, 2);
        return byte(at) | byte(at + 1) << 8;
    }
    std::uint32_t u32(qsizetype at) const {
        need(at, 4);
        return u16(at) | u16(at + 2) << 16;
    }
    // A 64-bit field as a size or place within the file; beyond the file's size it is refused.
    qsizetype u64(qsizetype at) const {
        const std::uint64_t v = std::uint64_t{u32(at)} | std::uint64_t{u32(at + 4)} << 32;
        if (v > static_cast<std::uint64_t>(bytes_.size()))
            throw ZipError("its zip64 end of central directory points outside the file");
        return static_cast<qsizetype>(v);
    }
    void need(qsizetype at, qsizetype count) const {
        if (!has(at, count)) throw ZipError("it is cut short");
    }

private:
    std::uint32_t byte(qsizetype at) const { return static_cast<unsigned char>(bytes_[at]); }
    const QByteArray& bytes_;
};

QByteArray inflated(const QByteArray& archive, qsizetype at, qsizetype size, qsizetype unpacked,
                    const std::string& name) {
    QByteArray out(unpacked, '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw ZipError("zlib could not start");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(archive.constData() + at));
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(unpacked);
    const int status = inflate(&stream, Z_FINISH);
    const uLong produced = stream.total_out;
    inflateEnd(&stream);
    if (status != Z_STREAM_END || produced != static_cast<uLong>(unpacked))
        throw ZipError("entry \"" + name + "\" is damaged: its deflated data do not unpack to " +
                       std::to_string(unpacked) + " bytes");
    return out;
}

} // namespace

QByteArray zipStored(const std::vector<ZipEntry>& entries) {
    if (entries.size() > 0xffff) throw ZipError("a zip archive holds at most 65535 entries");
    QByteArray out, directory;
    for (const ZipEntry& entry : entries) {
        const std::uint32_t crc = crcOf(entry.data);
        const qsizetype offset = out.size();
        if (entry.name.size() > 0xffff ||
            offset + entry.data.size() > std::numeric_limits<std::uint32_t>::max())
            throw ZipError("the archive would exceed 4 GB");
        const auto size = static_cast<std::uint32_t>(entry.data.size());
        const auto nameLength = static_cast<std::uint32_t>(entry.name.size());
        // The fields the local header and the central directory share, from the version
        // needed (1.0: stored) to the name's length.
        const auto common = [&](QByteArray& to) {
            put16(to, 10);
            put16(to, 0); // flags
            put16(to, 0); // stored
            put16(to, kDosTime);
            put16(to, kDosDate);
            put32(to, crc);
            put32(to, size);
            put32(to, size);
            put16(to, nameLength);
            put16(to, 0); // no extra field
        };
        put32(out, kLocalSignature);
        common(out);
        out.append(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
        out.append(entry.data);

        put32(directory, kCentralSignature);
        put16(directory, 20); // made by zip 2.0
        common(directory);
        put16(directory, 0); // no comment
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, 0); // external attributes
        put32(directory, static_cast<std::uint32_t>(offset));
        directory.append(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
    }
    if (out.size() + directory.size() > std::numeric_limits<std::uint32_t>::max())
        throw ZipError("the archive would exceed 4 GB");
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out.append(directory);
    put32(out, kEndSignature);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put16(out, static_cast<std::uint32_t>(entries.size()));
    put32(out, static_cast<std::uint32_t>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0); // no comment
    return out;
}

std::vector<ZipEntry> unzip(const QByteArray& archive, qsizetype entryLimit, qsizetype totalLimit) {
    const Fields f(archive);
    // The end record: the last signature within the reach of its comment.
    qsizetype end = -1;
    for (qsizetype at = archive.size() - kEndRecord;
         at >= 0 && at >= archive.size() - kEndRecord - 0xffff; --at) {
        if (f.u32(at) == kEndSignature) {
            end = at;
            break;
        }
    }
    if (end < 0) throw ZipError("it is not a zip archive (no end of central directory)");
    // The plain end record counts at most 65535 entries (0xffff is a count like any other);
    // an archive of more has a zip64 end record, found by the locator just before the plain
    // one, with the count, the directory's size and its place in 64 bits.
    qsizetype count = f.u16(end + 10);
    qsizetype directorySize = f.u32(end + 12), directoryOffset = f.u32(end + 16);
    qsizetype directoryEnd = end;
    const qsizetype locator = end - kZip64Locator;
    if (locator >= 0 && f.u32(locator) == kZip64LocatorSignature) {
        const qsizetype record = f.u64(locator + 8);
        if (!f.has(record, kZip64EndRecord) || record + kZip64EndRecord > locator ||
            f.u32(record) != kZip64EndSignature)
            throw ZipError("its zip64 end of central directory is damaged");
        count = f.u64(record + 32);
        directorySize = f.u64(record + 40);
        directoryOffset = f.u64(record + 48);
        directoryEnd = record;
    }
    if (!f.has(directoryOffset, directorySize) || directoryOffset + directorySize > directoryEnd)
        throw ZipError("its central directory lies outside the file");

    std::vector<ZipEntry> entries;
    qsizetype at = directoryOffset, total = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (at + kCentralHeader > directoryOffset + directorySize || f.u32(at) != kCentralSignature)
            throw ZipError("its central directory is damaged at entry " + std::to_string(i + 1));
        const std::uint32_t flags = f.u16(at + 8), method = f.u16(at + 10);
        const std::uint32_t crc = f.u32(at + 16);
        const qsizetype packed = f.u32(at + 20), unpacked = f.u32(at + 24);
        const qsizetype nameLength = f.u16(at + 28);
        const qsizetype skip = nameLength + f.u16(at + 30) + f.u16(at + 32);
        const qsizetype local = f.u32(at + 42);
        const bool wide = packed == 0xffffffff || unpacked == 0xffffffff || local == 0xffffffff;
        f.need(at + kCentralHeader, skip);
        ZipEntry entry;
        entry.name.assign(archive.constData() + at + kCentralHeader,
                          static_cast<std::size_t>(nameLength));
        at += kCentralHeader + skip;
        if (!entry.name.empty() && entry.name.back() == '/') continue; // a folder
        const std::string quotedName = "entry \"" + entry.name + "\"";
        if (wide)
            throw ZipError(quotedName +
                           " keeps its sizes in a zip64 extra field, which is not read");
        if (flags & 1) throw ZipError(quotedName + " is encrypted");
        if (method != 0 && method != 8)
            throw ZipError(quotedName + " is packed by method " + std::to_string(method) +
                           "; only stored and deflated entries are read");
        if (unpacked > entryLimit)
            throw ZipError(quotedName + " unpacks to " + std::to_string(unpacked) +
                           " bytes, more than the " + std::to_string(entryLimit) + " allowed");
        total += unpacked;
        if (total > totalLimit)
            throw ZipError("its entries unpack to more than the " + std::to_string(totalLimit) +
                           " bytes allowed");
        if (f.u32(local) != kLocalSignature)
            throw ZipError(quotedName + ": no local header where the directory says");
        const qsizetype data = local + kLocalHeader + f.u16(local + 26) + f.u16(local + 28);
        if (!f.has(data, packed) || data + packed > end)
            throw ZipError(quotedName + " lies outside the file");
        if (method == 0) {
            if (packed != unpacked) throw ZipError(quotedName + ": its two sizes differ");
            entry.data = archive.mid(data, packed);
        } else {
            entry.data = inflated(archive, data, packed, unpacked, entry.name);
        }
        if (crcOf(entry.data) != crc)
            throw ZipError(quotedName + " is damaged: its CRC-32 does not match");
        entries.push_back(std::move(entry));
    }
    // More entries than the end record counts: a plain count wrapped past 65535. Reading the
    // counted ones alone would drop the rest without a word.
    if (f.has(at, 4) && at + 4 <= directoryOffset + directorySize && f.u32(at) == kCentralSignature)
        throw ZipError("its central directory holds more entries than the " +
                       std::to_string(count) +
                       " its end record counts (past 65535 an archive needs zip64 records)");
    return entries;
}

} // namespace orvik
