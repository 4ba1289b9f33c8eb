#include "res/MessageTable.h"

namespace {

struct MessageEntry {
    std::uint32_t code;
    const char* text;
};

// Only codes the workspace store can raise. The OLE DB codes 0x80040E14, 0x80040E2F and
// 0x80040E37 are deliberately absent: the system has no text for them either, so they
// are shown in their "IDispatch error #n" form.
constexpr MessageEntry kMessages[] = {
    {0x80004003u, "无效指针\r\n"},
    {0x80004005u, "未指定的错误\r\n"},
    {0x80070002u, "系统找不到指定的文件。\r\n"},
    {0x80070003u, "系统找不到指定的路径。\r\n"},
    {0x80070005u, "拒绝访问。\r\n"},
    {0x8007000Eu, "内存资源不足，无法处理此命令。\r\n"},
    {0x80070013u, "介质受写入保护。\r\n"},
    {0x80070020u, "另一个程序正在使用此文件，进程无法访问。\r\n"},
    {0x80070050u, "文件存在。\r\n"},
    {0x80070070u, "磁盘空间不足。\r\n"},
};

} // namespace

const char* messageTextFor(std::int32_t code) {
    const auto key = static_cast<std::uint32_t>(code);
    for (const MessageEntry& entry : kMessages) {
        if (entry.code == key) {
            return entry.text;
        }
    }
    return nullptr;
}
