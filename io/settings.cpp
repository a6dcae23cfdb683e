// The settings reader: a saved Orvik JSON checked key by key.
#include "io/settings.h"

#include "grey_image.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cmath>
#include <new>
#include <string>

namespace orvik {

namespace {

// A saved result with its outline is some kilobytes; a settings file of more is no settings.
constexpr qint64 kSettingsFileLimit = 64 << 20;

std::optional<ModelChoice> modelFromKey(const QString& key) {
    for (const ModelChoice model : {ModelChoice::CenterPoint, ModelChoice::Standard,
                                    ModelChoice::Balloon, ModelChoice::Opened})
        if (key == QLatin1String(modelKey(model))) return model;
    return std::nullopt;
}

// What a settings object's keys are read with.
class Reader {
public:
    explicit Reader(const SettingsSource& source) : source_(source) {}
    [[noreturn]] void fail(const QString& key, const QString& problem) const {
        failSetting(source_, key, problem);
    }
    int whole(const QJsonValue& value, const QString& key, int minimum, int maximum) const {
        return wholeSetting(source_, value, key, minimum, maximum);
    }
    QString text(const QJsonValue& value, const QString& key) const {
        if (!value.isString()) fail(key, QStringLiteral("not a string"));
        return value.toString();
    }

private:
    const SettingsSource& source_;
};

} // namespace

QString printable(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control) {
            shown += c;
        } else if (c.unicode() < 0x100) {
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return shown;
}

QByteArray readBoundedFile(const QString& kind, const QString& path, qint64 limit) {
    const auto fail = [&](const QString& problem) {
        throw SettingsError(
            printable(QStringLiteral("Cannot read %1 \"%2\": %3").arg(kind, path, problem))
                .toStdString());
    };
    // Opening a FIFO would wait for a writer; a device such as /dev/zero never ends.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) fail(QStringLiteral("it is not a regular file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) fail(file.errorString());
    const auto tooLarge = [&] {
        fail(QStringLiteral("it is larger than the %1 bytes such a file may hold").arg(limit));
    };
    if (file.size() > limit) tooLarge();
    // Read one byte past the limit: a file that grew since its size was taken is caught too.
    const QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) fail(file.errorString());
    if (bytes.size() > limit) tooLarge();
    return bytes;
}

void failSetting(const SettingsSource& source, const QString& key, const QString& problem) {
    throw SettingsError(
        printable(QStringLiteral("%1 \"%2\", key \"%3\": %4")
                      .arg(source.kind, source.path, source.keyPrefix + key, problem))
            .toStdString());
}

int wholeSetting(const SettingsSource& source, const QJsonValue& value, const QString& key,
                 int minimum, int maximum) {
    if (!value.isDouble()) failSetting(source, key, QStringLiteral("not a number"));
    const double v = value.toDouble();
    if (v != std::trunc(v))
        failSetting(source, key, QStringLiteral("%1 is not a whole number").arg(v));
    if (v < minimum || v > maximum)
        failSetting(
            source, key,
            QStringLiteral("%1 is outside the range %2..%3").arg(v).arg(minimum).arg(maximum));
    return static_cast<int>(v);
}

Settings parseSettings(const QByteArray& bytes, const QString& path) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw SettingsError(
            printable(QStringLiteral("Settings file \"%1\" is not JSON: %2 at byte %3")
                          .arg(path, parseError.errorString())
                          .arg(parseError.offset))
                .toStdString());
    if (!document.isObject())
        throw SettingsError(
            printable(QStringLiteral("Settings file \"%1\" does not hold a JSON object").arg(path))
                .toStdString());
    return settingsFromJson(document.object(),
                            SettingsSource{QStringLiteral("Settings file"), path, {}});
}

Settings settingsFromJson(const QJsonObject& root, const SettingsSource& source) {
    const Reader reader(source);
    Settings settings;

    if (root.contains(QLatin1String("model"))) {
        const QString name =
            reader.text(root.value(QLatin1String("model")), QStringLiteral("model"));
        settings.model = modelFromKey(name);
        if (!settings.model)
            reader.fail(
                QStringLiteral("model"),
                QStringLiteral("\"%1\" is not one of center, standard, balloon, opened").arg(name));
    }
    if (root.contains(QLatin1String("object"))) {
        const QString name =
            reader.text(root.value(QLatin1String("object")), QStringLiteral("object"));
        if (name == QLatin1String(polarityKey(true)))
            settings.blackOnWhite = true;
        else if (name == QLatin1String(polarityKey(false)))
            settings.blackOnWhite = false;
        else
            reader.fail(
                QStringLiteral("object"),
                QStringLiteral("\"%1\" is not one of black-on-white, white-on-black").arg(name));
    }

    // The box corners, from "box" or else from the box fields.
    std::array<std::optional<int>, 4> corners; // x1, y1, x2, y2
    if (root.contains(QLatin1String("fields"))) {
        const QJsonValue value = root.value(QLatin1String("fields"));
        if (!value.isObject())
            reader.fail(QStringLiteral("fields"), QStringLiteral("not an object"));
        const QJsonObject fields = value.toObject();
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            const QString key = QStringLiteral("fields.") + it.key();
            const FieldInfo* entry = nullptr;
            for (const FieldInfo& candidate : fieldTable())
                if (it.key() == QLatin1String(candidate.key)) entry = &candidate;
            if (!entry) reader.fail(key, QStringLiteral("not a field of Orvik"));
            if (isBoxField(entry->field)) {
                const int v = reader.whole(it.value(), key, 0, MaxImageSide);
                for (std::size_t corner = 0; corner < BoxFields.size(); ++corner)
                    if (BoxFields[corner].field == entry->field) corners[corner] = v;
            } else {
                settings.fields[static_cast<std::size_t>(entry->field)] =
                    reader.whole(it.value(), key, entry->minimum, entry->maximum);
            }
        }
    }
    if (root.contains(QLatin1String("box"))) {
        const QJsonValue value = root.value(QLatin1String("box"));
        if (!value.isArray() || value.toArray().size() != 4)
            reader.fail(QStringLiteral("box"), QStringLiteral("not an array of four numbers"));
        const QJsonArray box = value.toArray();
        for (qsizetype i = 0; i < 4; ++i)
            corners[static_cast<std::size_t>(i)] =
                reader.whole(box[i], QStringLiteral("box[%1]").arg(i), 0, MaxImageSide);
    }
    if (corners[0] && corners[1] && corners[2] && corners[3])
        settings.box = Box{*corners[0], *corners[1], *corners[2], *corners[3]};
    return settings;
}

Settings readSettings(const QString& path) {
    try {
        return parseSettings(
            readBoundedFile(QStringLiteral("settings file"), path, kSettingsFileLimit), path);
    } catch (const std::bad_alloc&) {
        throw SettingsError(
            printable(QStringLiteral("Not enough memory to read settings file \"%1\"").arg(path))
                .toStdString());
    }
}

ControlValues applySettings(const Settings& settings, ControlValues values) {
    if (settings.model) values.model = *settings.model;
    if (settings.blackOnWhite) values.blackOnWhite = *settings.blackOnWhite;
    for (std::size_t i = 0; i < FieldCount; ++i)
        if (settings.fields[i]) values.fields[i] = *settings.fields[i];
    if (settings.box) setBox(values.fields, *settings.box);
    return values;
}

} // namespace orvik
