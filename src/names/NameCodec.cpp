#include "names/NameCodec.h"

#include "names/MisreadGbk.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iconv.h>

namespace names {

namespace {

// Each byte that is not part of a valid UTF-8 sequence stands for itself as one of these
// lone low surrogates.
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;

bool isAscii(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    // Eight bytes at a time; names are short, but folders hold many of them.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) {
            return false;
        }
    }
    for (; i < n; ++i) {
        if (p[i] >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at p[0] (at most n bytes available), or 0
// when the bytes there do not start one. Overlong forms, encoded surrogates and code
// points above U+10FFFF are not valid.
std::size_t validSequenceLength(const unsigned char* p, std::size_t n) {
    const unsigned char lead = p[0];
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return n >= 2 && isContinuation(p[1]) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (n < 3 || !isContinuation(p[2])) {
            return 0;
        }
        const unsigned char second = p[1];
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead == 0xE0) {
            low = 0xA0; // shorter forms are overlong
        } else if (lead == 0xED) {
            high = 0x9F; // U+D800..U+DFFF are not characters
        }
        return second >= low && second <= high ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (n < 4 || !isContinuation(p[2]) || !isContinuation(p[3])) {
            return 0;
        }
        const unsigned char second = p[1];
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead == 0xF0) {
            low = 0x90; // overlong
        } else if (lead == 0xF4) {
            high = 0x8F; // beyond U+10FFFF
        }
        return second >= low && second <= high ? 4 : 0;
    }
    return 0;
}

bool validUtf8(const unsigned char* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = validSequenceLength(p + i, n - i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

QString decodeWithEscapes(const unsigned char* p, std::size_t n) {
    QString text;
    // Never more UTF-16 units than bytes: four bytes make at most two units.
    text.resize(static_cast<qsizetype>(n));
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    char16_t* const begin = out;
    std::size_t i = 0;
    while (i < n) {
        const std::size_t length = validSequenceLength(p + i, n - i);
        char32_t cp = 0;
        switch (length) {
        case 1:
            *out++ = p[i];
            break;
        case 2:
            *out++ = static_cast<char16_t>(((p[i] & 0x1F) << 6) | (p[i + 1] & 0x3F));
            break;
        case 3:
            *out++ = static_cast<char16_t>(((p[i] & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) |
                                           (p[i + 2] & 0x3F));
            break;
        case 4:
            cp = (char32_t(p[i] & 0x07) << 18) | (char32_t(p[i + 1] & 0x3F) << 12) |
                 (char32_t(p[i + 2] & 0x3F) << 6) | char32_t(p[i + 3] & 0x3F);
            *out++ = QChar::highSurrogate(cp);
            *out++ = QChar::lowSurrogate(cp);
            break;
        default:
            *out++ = static_cast<char16_t>(kEscapeBase + p[i]);
            i += 1;
            continue;
        }
        i += length;
    }
    text.truncate(static_cast<qsizetype>(out - begin));
    return text;
}

void appendUtf8(QByteArray& out, char32_t cp) {
    if (cp < 0x80) {
        out.append(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.append(static_cast<char>(0xC0 | (cp >> 6)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(static_cast<char>(0xE0 | (cp >> 12)));
        out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (cp >> 18)));
        out.append(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// One GB18030 converter per thread: opening one costs far more than converting a name.
class Gb18030Converter {
public:
    Gb18030Converter() : handle_(::iconv_open("UTF-8", "GB18030")) {}
    ~Gb18030Converter() {
        if (valid()) {
            ::iconv_close(handle_);
        }
    }
    Gb18030Converter(const Gb18030Converter&) = delete;
    Gb18030Converter& operator=(const Gb18030Converter&) = delete;
    // iconv_open fails with (iconv_t)-1.
    [[nodiscard]] bool valid() const { return reinterpret_cast<std::intptr_t>(handle_) != -1; }
    [[nodiscard]] iconv_t handle() const { return handle_; }

private:
    iconv_t handle_;
};

// The bytes as GB18030 converted to UTF-8 in `out`; false when they are not GB18030
// from the first byte to the last (an invalid sequence, or one cut off at the end).
bool gb18030ToUtf8(std::string_view bytes, QByteArray& out) {
    thread_local Gb18030Converter converter;
    if (!converter.valid()) {
        return false;
    }
    ::iconv(converter.handle(), nullptr, nullptr, nullptr, nullptr);
    // A GB18030 sequence never grows by more than half in UTF-8.
    out.resize(static_cast<qsizetype>(bytes.size()) * 2);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* written = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    if (::iconv(converter.handle(), &in, &inLeft, &written, &outLeft) ==
        static_cast<std::size_t>(-1)) {
        return false;
    }
    out.truncate(static_cast<qsizetype>(written - out.constData()));
    return true;
}

} // namespace

QString decodeName(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    const auto size = static_cast<qsizetype>(n);
    if (isAscii(p, n)) {
        return QString::fromLatin1(bytes.data(), size);
    }
    // QString::fromUtf8 drops a leading byte order mark, which in a file name is part of
    // the name; such names take the slow path.
    const bool startsWithBom = n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF;
    if (!startsWithBom && validUtf8(p, n)) {
        return QString::fromUtf8(bytes.data(), size);
    }
    return decodeWithEscapes(p, n);
}

bool isValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    return isAscii(p, bytes.size()) || validUtf8(p, bytes.size());
}

QString displayName(std::string_view bytes) {
    QByteArray utf8;
    if (isValidUtf8(bytes)) {
        // GBK that happens to be valid UTF-8 reads as rare characters of several scripts;
        // such a name is Chinese when its GB18030 reading is.
        if (looksLikeMisreadGbk(bytes) && gb18030ToUtf8(bytes, utf8) &&
            isChineseNameText({utf8.constData(), static_cast<std::size_t>(utf8.size())})) {
            return QString::fromUtf8(utf8);
        }
        return decodeName(bytes);
    }
    if (gb18030ToUtf8(bytes, utf8)) {
        return decodeName({utf8.constData(), static_cast<std::size_t>(utf8.size())});
    }
    return decodeName(bytes);
}

QByteArray encodeName(const QString& name) {
    const char16_t* units = reinterpret_cast<const char16_t*>(name.constData());
    const qsizetype n = name.size();
    bool hasSurrogate = false;
    for (qsizetype i = 0; i < n; ++i) {
        if (QChar::isSurrogate(units[i])) {
            hasSurrogate = true;
            break;
        }
    }
    if (!hasSurrogate) {
        return name.toUtf8();
    }

    QByteArray out;
    out.reserve(n * 3);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = units[i];
        if (QChar::isHighSurrogate(unit) && i + 1 < n && QChar::isLowSurrogate(units[i + 1])) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, units[i + 1]));
            ++i;
        } else if (unit >= kEscapeFirst && unit <= kEscapeLast) {
            out.append(static_cast<char>(unit - kEscapeBase));
        } else if (QChar::isSurrogate(unit)) {
            // A lone surrogate that stands for no byte: what toUtf8 would write for it.
            appendUtf8(out, QChar::ReplacementCharacter);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

} // namespace names
