// The kernel's mount table read as any text: no read out of bounds, and every field
// parsed, written back the way the kernel escapes it, parses to the same bytes.

#include "FuzzCheck.h"
#include "platform/DrivePlaces.h"
#include "platform/MountTable.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// The kernel's escaping of a mountinfo field: space, tab, newline and backslash as
// three octal digits.
QByteArray escaped(const QByteArray& field) {
    QByteArray out;
    for (const char c : field) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            const auto byte = static_cast<unsigned char>(c);
            out.append('\\');
            out.append(static_cast<char>('0' + (byte >> 6)));
            out.append(static_cast<char>('0' + ((byte >> 3) & 7)));
            out.append(static_cast<char>('0' + (byte & 7)));
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the input's bytes, so that the sanitizer sees any read past them.
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<platform::Mount> mounts = platform::parseMountInfo(text);

    // The rows are chosen from any table without a fault, and only among its mount points.
    const platform::MountUser user{1000, "/home/user", "/home/user/.local/share"};
    for (const QByteArray& place : platform::drivePlaces(mounts, user)) {
        FUZZ_CHECK(std::any_of(mounts.begin(), mounts.end(), [&place](const platform::Mount& m) {
            return m.mountPoint == place;
        }));
    }

    QByteArray table;
    for (const platform::Mount& mount : mounts) {
        table += "36 35 " + mount.device + ' ' + escaped(mount.root) + ' ' +
                 escaped(mount.mountPoint) + " rw,noatime master:1 - " + escaped(mount.type) + ' ' +
                 escaped(mount.source) + ' ' + escaped(mount.superOptions) + '\n';
    }
    const QList<platform::Mount> again = platform::parseMountInfo(table);
    FUZZ_CHECK(again.size() == mounts.size());
    for (qsizetype i = 0; i < mounts.size(); ++i) {
        FUZZ_CHECK(again[i].root == mounts[i].root);
        FUZZ_CHECK(again[i].mountPoint == mounts[i].mountPoint);
        FUZZ_CHECK(again[i].type == mounts[i].type);
        FUZZ_CHECK(again[i].source == mounts[i].source);
        FUZZ_CHECK(again[i].device == mounts[i].device);
        FUZZ_CHECK(again[i].superOptions == mounts[i].superOptions);
    }
    return 0;
}
