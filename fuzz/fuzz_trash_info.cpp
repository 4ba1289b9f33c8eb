// The .trashinfo written for any raw path: other programs read its lines and
// percent-decode Path=, and must get the path's bytes back, whatever they are; and the
// reader takes any text, the info's own back to its path.

#include "FuzzCheck.h"
#include "platform/trash/TrashInfo.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray path(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray date = QByteArrayLiteral("2026-12-07T14:45:00");
    const QByteArray info = platform::trash::trashInfoText(path, date);

    // A key file: one group, one key per line, nothing a path could add.
    const QList<QByteArray> lines = info.split('\n');
    FUZZ_CHECK(lines.size() == 4 && lines[3].isEmpty());
    FUZZ_CHECK(lines[0] == "[Trash Info]");
    FUZZ_CHECK(lines[1].startsWith("Path="));
    FUZZ_CHECK(lines[2] == "DeletionDate=" + date);

    const QByteArray value = lines[1].mid(5);
    for (const char c : value) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || QByteArrayView("/-_.!~*'()%").contains(c);
        FUZZ_CHECK(plain);
    }
    FUZZ_CHECK(QByteArray::fromPercentEncoding(value) == path);

    // Read back, an absolute path is itself and a relative one lies below the top
    // directory; an empty path names nothing.
    const auto record = platform::trash::readTrashInfo(info, "/media/disk");
    FUZZ_CHECK(record.has_value() == !path.isEmpty());
    if (record) {
        FUZZ_CHECK(record->origin == (path.startsWith('/') ? path : "/media/disk/" + path));
        FUZZ_CHECK(record->deletionDate == date);
    }
    // Any text at all is read without fault, and what it names is absolute.
    const auto other = platform::trash::readTrashInfo(path, "/media/disk");
    FUZZ_CHECK(!other || other->origin.startsWith('/'));
    return 0;
}
