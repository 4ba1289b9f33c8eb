#include "res/Texts.h"

#include "res/resource.h"

#include <cerrno>

namespace texts {

const char* loadString(int id) {
    switch (id) {
    case IDS_ABOUTBOX:
        return "关于 Dirquill(&A)...";
    default:
        return "";
    }
}

namespace {
struct ErrnoText {
    int error;
    const char* text;
};

constexpr ErrnoText kErrnoTexts[] = {
    {ENOENT, "找不到该文件或文件夹，它可能已被移动或删除。"},
    {EACCES, "拒绝访问，没有足够的权限。"},
    {EPERM, "不允许执行此操作。"},
    {EEXIST, "已存在同名的文件或文件夹。"},
    {ENOTEMPTY, "已存在同名的文件夹。"},
    {EINVAL, "文件名无效。"},
    {EXDEV, "该文件所在的磁盘上没有可用的回收站。"},
    {EROFS, "该磁盘是只读的。"},
    {ENOSPC, "磁盘空间不足。"},
    {EDQUOT, "超出了磁盘配额。"},
    {ENAMETOOLONG, "文件名或路径太长。"},
    {EBUSY, "该文件或文件夹正在使用中。"},
    {ENOTDIR, "路径中的某一部分不是文件夹。"},
    {EISDIR, "目标是一个文件夹。"},
    {ELOOP, "路径中的符号链接太多。"},
    {EIO, "读写磁盘时出错。"},
    {ECANCELED, "操作已取消：磁盘没有应答。磁盘恢复应答后，该操作仍可能完成。"},
    {ECHILD, "无法启动文件助手程序 dirquill-io。"},
};
} // namespace

const char* errnoText(int error) {
    for (const auto& entry : kErrnoTexts) {
        if (entry.error == error) {
            return entry.text;
        }
    }
    return "发生了未知错误。";
}

} // namespace texts
