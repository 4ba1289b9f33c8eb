#include "platform/TrashInfo.h"

namespace platform {

namespace {

QByteArray percentEncoded(const QByteArray& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(path.size() * 3);
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '/' || byte == '-' ||
                          byte == '_' || byte == '.' || byte == '!' || byte == '~' || byte == '*' ||
                          byte == '\'' || byte == '(' || byte == ')';
        if (keep) {
            out.append(c);
        } else {
            out.append('%');
            out.append(kHex[byte >> 4]);
            out.append(kHex[byte & 0x0F]);
        }
    }
    return out;
}

} // namespace

QByteArray trashInfoText(const QByteArray& absolutePath, const QByteArray& deletionDate) {
    return "[Trash Info]\nPath=" + percentEncoded(absolutePath) + "\nDeletionDate=" + deletionDate +
           '\n';
}

} // namespace platform
