// Names read from any disk: decoding is lossless, the displayed text and the sort key
// are made for any bytes.

#include "FuzzCheck.h"
#include "names/MisreadGbk.h"
#include "names/NameCodec.h"
#include "names/NameOrder.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(size));

    const QString text = names::decodeName(bytes);
    FUZZ_CHECK(names::encodeName(text) == raw);
    FUZZ_CHECK(static_cast<std::size_t>(text.size()) <= size);

    const bool valid = names::isValidUtf8(bytes);
    const QString shown = names::displayName(bytes);
    if (valid) {
        FUZZ_CHECK(text.toUtf8() == raw);
        // Valid UTF-8 shows as itself, unless it is GBK passing for UTF-8, which shows as
        // the Chinese text it holds.
        if (shown != text) {
            FUZZ_CHECK(names::looksLikeMisreadGbk(bytes));
            FUZZ_CHECK(names::isChineseNameText(shown.toUtf8().toStdString()));
        }
    }
    FUZZ_CHECK(shown.isEmpty() == (size == 0));

    std::string key;
    names::appendSortKey(bytes, key);
    FUZZ_CHECK(key.size() <= 3 * size);
    std::string again = "prefix";
    names::appendSortKey(bytes, again);
    FUZZ_CHECK(again == "prefix" + key);

    // Text from the user, taken as any UTF-16 units, lone surrogates included: valid
    // UTF-16 without escapes is written as plain UTF-8.
    const QString typed(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2));
    const QByteArray encoded = names::encodeName(typed);
    bool plain = true;
    for (qsizetype i = 0; i < typed.size() && plain; ++i) {
        plain = !typed[i].isSurrogate();
    }
    if (plain) {
        FUZZ_CHECK(encoded == typed.toUtf8());
    }
    return 0;
}
