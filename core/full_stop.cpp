// The full stop of a message.
#include "core/full_stop.h"

namespace orvik {

std::string withFullStop(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

QString withFullStop(const QString& text) {
    if (!text.isEmpty() && text.back().unicode() > u'.') return text + u'.';
    return text;
}

} // namespace orvik
