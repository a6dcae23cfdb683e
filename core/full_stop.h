// The full stop of a message: the error box, the status line and orvik-cli end a message
// with one unless its last character's code is at most that of the full stop.
#pragma once

#include <QString>
#include <string>

namespace orvik {

// The text with a full stop appended when its last character's code is above that of the
// full stop: "Cannot open file x.bmp" gets one, "... (.xyz)" and "Done." do not. A UTF-8
// string ending in any non-ASCII character gets one, as its QString does.
std::string withFullStop(std::string text);
QString withFullStop(const QString& text);

} // namespace orvik
