// Reading a saved Orvik JSON result back as settings: model, polarity, box and field values,
// so that parameters tuned in the window run unchanged in orvik-cli and later sessions.
#pragma once

#include "core/field_table.h"
#include "core/init_arguments.h"
#include "core/result.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <array>
#include <optional>
#include <stdexcept>

namespace orvik {

// A settings file that cannot be used; the text names the file and, where one is at fault,
// the key.
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the file sets; a key it does not hold leaves that setting as it is. Field values are
// within their field's range; box corners within 0..MaxImageSide (the image they are used on
// may be smaller: its user checks them against it).
struct Settings {
    std::optional<ModelChoice> model;
    std::optional<bool> blackOnWhite;
    std::optional<Box> box;
    std::array<std::optional<int>, FieldCount> fields; // indexed by Field, box fields excluded
};

// Where the settings being read stand, for the errors: `<kind> "<path>", key "<prefix><key>":
// <problem>`, e.g. `Settings file "a.json", key "fields.points": ...`.
struct SettingsSource {
    QString kind = QStringLiteral("Settings file");
    QString path;
    QString keyPrefix; // "objects[2]." for an object of a list; empty for the file itself
};

// `text` as a message may show it: control characters (a terminal's escape sequences, line
// breaks) written as \xNN or \uNNNN, so that a hostile name or key cannot drive the terminal.
QString printable(const QString& text);

// The bytes of the regular file at `path`, at most `limit` of them; `kind` names it in the
// errors ("settings file": `Cannot read settings file "PATH": ...`). A FIFO, a device or a
// folder is refused before it is opened, as a file larger than `limit` is before it is read.
// Throws SettingsError.
QByteArray readBoundedFile(const QString& kind, const QString& path, qint64 limit);

[[noreturn]] void failSetting(const SettingsSource& source, const QString& key,
                              const QString& problem);
// A JSON number that is a whole number within [minimum, maximum].
int wholeSetting(const SettingsSource& source, const QJsonValue& value, const QString& key,
                 int minimum, int maximum);
// The settings of one JSON object, checked key by key.
Settings settingsFromJson(const QJsonObject& object, const SettingsSource& source);

// Reads and checks the file at `path`.
Settings readSettings(const QString& path);

// Checks the file's bytes; `path` names the file in the errors.
Settings parseSettings(const QByteArray& bytes, const QString& path);

// `values` with what `settings` sets applied.
ControlValues applySettings(const Settings& settings, ControlValues values);

} // namespace orvik
