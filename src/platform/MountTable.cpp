#include "platform/MountTable.h"

namespace platform {

namespace {

QByteArray unescape(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' &&
            field[i + 3] <= '7') {
            out.append(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                         (field[i + 3] - '0')));
            i += 3;
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

QList<Mount> parseMountInfo(const QByteArray& text) {
    QList<Mount> mounts;
    for (const QByteArray& line : text.split('\n')) {
        // id parent major:minor root mount-point options [optional fields...] - type source
        // super-options
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf(QByteArrayLiteral("-"), 6);
        if (fields.size() < 10 || dash < 0 || dash + 2 >= fields.size()) {
            continue;
        }
        mounts.append({fields[2], unescape(fields[3]), unescape(fields[4]),
                       unescape(fields[dash + 1]), unescape(fields[dash + 2]),
                       unescape(fields.value(dash + 3))});
    }
    return mounts;
}

} // namespace platform
