#include "platform/trash/TrashInfo.h"

#include <QList>

namespace platform::trash {

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

QByteArray trashInfoText(const QByteArray& path, const QByteArray& deletionDate) {
    return "[Trash Info]\nPath=" + percentEncoded(path) + "\nDeletionDate=" + deletionDate + '\n';
}

std::optional<TrashInfoRecord> readTrashInfo(const QByteArray& text,
                                             const QByteArray& topDirectory) {
    const QList<QByteArray> lines = text.split('\n');
    qsizetype at = 0;
    // Comments and blank lines may come before the group.
    while (at < lines.size() && (lines[at].trimmed().isEmpty() || lines[at].startsWith('#'))) {
        ++at;
    }
    if (at == lines.size() || lines[at].trimmed() != "[Trash Info]") {
        return std::nullopt;
    }
    std::optional<QByteArray> path;
    std::optional<QByteArray> date;
    for (++at; at < lines.size() && !lines[at].startsWith('['); ++at) {
        const QByteArray& line = lines[at];
        if (!path && line.startsWith("Path=")) {
            path = QByteArray::fromPercentEncoding(line.mid(5));
        } else if (!date && line.startsWith("DeletionDate=")) {
            date = line.mid(13);
        }
    }
    if (!path || path->isEmpty() || !date) {
        return std::nullopt;
    }
    if (path->startsWith('/')) {
        return TrashInfoRecord{*path, *date};
    }
    const QByteArray top = topDirectory.endsWith('/') ? topDirectory : topDirectory + '/';
    return TrashInfoRecord{top + *path, *date};
}

} // namespace platform::trash
