#pragma once

// Every text the program shows, in one place. UTF-8.
namespace texts {

// Main window
inline constexpr const char* kMainCaption = "澄枫文件助手V1.0";
// Column headers: 16 spaces, then the label.
inline constexpr const char* kColumnHeaders[5] = {
    "                工作目录", "                一级目录", "                二级目录",
    "                三级目录", "                四级目录"};
inline constexpr const char* kDriveHeadingRow = "----------我的电脑---------";
inline constexpr const char* kWorkDirHeadingRow = "----------自定义目录---------";

// The window menu's own commands.
inline constexpr const char* kRestore = "还原";
inline constexpr const char* kMinimize = "最小化";
inline constexpr const char* kMaximize = "最大化";
inline constexpr const char* kClose = "关闭";
inline constexpr const char* kWindowMenuName = "窗口菜单";

// Start-up
inline constexpr const char* kConnectFailed = "连接数据库失败!\r\n错误信息:%s";
inline constexpr const char* kConnectString =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=config.mdb;";

// New folder
inline constexpr const char* kNewFolderName = "新建文件夹";

// Reports of a trash or rename request the system refused; %1 is the entry, %2 the reason.
inline constexpr const char* kDeleteFailed = "无法将“%1”移到回收站：%2";
inline constexpr const char* kRenameFailed = "无法重命名“%1”：%2";
inline constexpr const char* kNewFolderFailed = "无法新建文件夹“%1”：%2";
// The reason when an NTFS or FAT volume refuses a name.
inline constexpr const char* kNameRefusedByWindowsVolume =
    "这个磁盘（NTFS 或 FAT 格式）不接受这个名称：名称中不能有 \\ : * ? \" < > | "
    "这些字符，也不能以点或空格结尾。";

// Faults of the file helper itself. The first is followed by the system's reason.
inline constexpr const char* kHelperStartFailed = "无法启动文件助手 dirquill-io：";
inline constexpr const char* kHelperEnded = "文件助手意外退出，操作是否完成未知。";
inline constexpr const char* kListingOutOfMemory = "文件夹中的项目太多，内存不足，无法全部列出。";
inline constexpr const char* kReaderNotStarted =
    "系统的线程数已达上限，无法读取文件助手的应答，操作未执行。请关闭一些程序后重试。";

// The line over a column while the program waits for the disk; %1 is the entries read.
inline constexpr const char* kReadingLine = "正在读取… 已读 %1 项（按 Esc 取消）";
inline constexpr const char* kProcessingLine = "正在处理…（按 Esc 取消）";
// %1 is the drive row being opened.
inline constexpr const char* kOpeningLine = "正在打开 %1…（按 Esc 取消）";

// Opening a drive that is not mounted yet; %1 is its row.
inline constexpr const char* kVolumeNotAllowed = "没有权限打开 %1。";
// Followed by the storage service's message.
inline constexpr const char* kVolumeFailed = "无法打开 %1：";
inline constexpr const char* kVolumeGone = "%1 已不存在：这个磁盘已被拔出或换成了另一个。";
inline constexpr const char* kVolumeLockedByWindows =
    "%1 被 Windows 锁定（休眠或快速启动），只能以只读方式打开。要在这里修改文件，请在 Windows "
    "中关闭快速启动，或用“重启”代替“关机”离开 Windows。";

// Documents opened from the agreement dialog, relative to the current folder.
inline constexpr const char* kAgreementDocument =
    "澄枫文件助手V1.0软件最终用户授权使用许可协议.doc";
inline constexpr const char* kHelpDocument = "澄枫文件助手V1.0软件使用帮助.doc";

// String table entries
const char* loadString(int id);

// Errors of the file services (errno values), in the user's words.
const char* errnoText(int error);

} // namespace texts
