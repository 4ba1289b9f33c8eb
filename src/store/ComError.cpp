#include "store/ComError.h"

#include "res/MessageTable.h"

namespace {

// Codes the system formats as errors of an automation server: FACILITY_ITF, severity
// error, low word from 0x0200 up (the first 0x200 values of the facility are reserved).
constexpr std::uint32_t kDispatchFirst = 0x80040200u;
constexpr std::uint32_t kDispatchLast = 0x8004FFFFu;
constexpr std::uint32_t kDispatchBase = 0x0200u;

} // namespace

QString errorTextFor(HRESULT code) {
    if (const char* raw = messageTextFor(code)) {
        QString text = QString::fromUtf8(raw);
        if (text.size() > 1 && text.endsWith(QLatin1Char('\n'))) {
            text.chop(1);
            if (text.endsWith(QLatin1Char('\r'))) {
                text.chop(1);
            }
        }
        return text;
    }

    const auto value = static_cast<std::uint32_t>(code);
    const std::uint32_t low = value & 0xFFFFu;
    if (value >= kDispatchFirst && value <= kDispatchLast && low != kDispatchBase) {
        return QStringLiteral("IDispatch error #%1").arg(low - kDispatchBase);
    }
    return QStringLiteral("Unknown error 0x%1").arg(QString::number(value, 16).toUpper());
}
