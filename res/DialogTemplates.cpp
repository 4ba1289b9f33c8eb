#include "res/DialogTemplates.h"

#include "res/resource.h"

#include <stdexcept>

namespace res {
namespace {

constexpr const char* kFont = "宋体";

using K = ControlKind;

// Main window: the five browser columns.
constexpr ControlTemplate kMainControls[] = {
    {IDC_LIST0, K::ListView, "", 7, 7, 150, 486, kBorder | kTabStop},
    {IDC_LIST1, K::ListView, "", 166, 7, 150, 486, kBorder | kTabStop},
    {IDC_LIST2, K::ListView, "", 325, 7, 150, 486, kBorder | kTabStop},
    {IDC_LIST3, K::ListView, "", 484, 7, 150, 486, kBorder | kTabStop},
    {IDC_LIST4, K::ListView, "", 643, 7, 150, 486, kBorder | kTabStop},
};

// Work-directory prompt.
constexpr ControlTemplate kWorkDirControls[] = {
    {IDOK, K::DefPushButton, "OK", 233, 121, 50, 14, kTabStop},
    {IDCANCEL, K::PushButton, "Cancel", 169, 121, 50, 14, kTabStop},
    {IDC_STATIC, K::Static, "工作目录", 16, 29, 33, 8, kGroup},
    {IDC_EDIT_WORKDIR, K::Edit, "", 58, 25, 202, 14, kBorder | kTabStop | kAutoHScroll},
};

// Name prompt of the new-folder and rename commands. OK comes first, so it holds the
// focus when the prompt opens and Enter accepts the filled-in name at once.
constexpr ControlTemplate kRenameControls[] = {
    {IDOK, K::DefPushButton, "OK", 233, 117, 50, 14, kTabStop},
    {IDCANCEL, K::PushButton, "Cancel", 176, 117, 50, 14, kTabStop},
    {IDC_STATIC, K::Static, "文件名", 21, 31, 25, 8, kGroup},
    {IDC_EDIT_NAME, K::Edit, "", 64, 27, 184, 14, kBorder | kTabStop | kAutoHScroll},
};

// Agreement dialog shown at every start.
constexpr ControlTemplate kAgreementControls[] = {
    {IDOK, K::DefPushButton, "同意使用", 169, 191, 55, 14, kTabStop},
    {IDCANCEL, K::PushButton, "不同意，退出", 108, 191, 55, 14, kTabStop},
    {IDC_STATIC, K::Static, "欢迎使用澄枫文件助手V1.0！", 39, 19, 121, 8, kGroup},
    {IDC_STATIC, K::Static,
     "    大硬盘大数据时代，电脑使用久了，会有很多图片、文档以及其它的文件，可能会非常杂乱，"
     "找的时候很不方便，也可能时间久忘记了存放地点。故此，该软件应运而生。有了它，你会更直观"
     "的、更方便的使用电脑。",
     22, 58, 215, 43, kGroup},
    {IDC_STATIC, K::Static, "使用本软件之前，请您仔细阅读并同意许可协议。", 39, 40, 173, 8, kGroup},
    {IDC_STATIC, K::Static, "请阅读以下文档：", 39, 114, 65, 8, kGroup},
    {IDC_AGREEMENT_DOC, K::FlatPushButton, "澄枫文件助手V1.0软件最终用户授权使用许可协议", 22, 130,
     202, 19, kTabStop},
    {IDC_HELP_DOC, K::FlatPushButton, "澄枫文件助手V1.0软件使用帮助", 22, 157, 202, 19, kTabStop},
};

// About box.
constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, K::IconImage, "", 201, 51, 21, 21, 0},
    {IDC_STATIC, K::Static, "澄枫文件助手", 187, 96, 55, 8, kNoPrefix},
    {IDC_STATIC, K::Static, "类    型：单机版", 22, 29, 119, 8, 0},
    {IDOK, K::DefPushButton, "确定", 187, 128, 50, 14, kTabStop | kGroup},
    {IDC_STATIC, K::Static, "文件说明：文件管理", 22, 13, 73, 8, 0},
    {IDC_STATIC, K::Static, "软件版本：V1.0.0.1", 22, 61, 73, 8, 0},
    {IDC_STATIC, K::Static, "产品名称：澄枫文件助手", 22, 45, 89, 8, 0},
    {IDC_STATIC, K::Static, "版权所有：澄枫文件助手开发者", 22, 77, 145, 8, 0},
    {IDC_STATIC, K::Static, "大    小：64K", 22, 93, 53, 8, 0},
    {IDC_STATIC, K::Static, "修改日期：2017.11", 22, 109, 69, 8, 0},
    {IDC_STATIC, K::Static, "语    言：中文", 22, 125, 57, 8, 0},
    {IDC_STATIC, K::Static, "原文件名：澄枫文件助手V1.0.EXE", 22, 141, 121, 8, 0},
};

constexpr DialogTemplate kTemplates[] = {
    {IDD_ABOUTBOX, "澄枫文件助手V1.0 属性", 259, 165, kFont, 9, kSysMenu, kAboutControls},
    {IDD_AGREEMENT, "澄枫文件助手V1.0软件最终用户授权使用许可协议", 253, 232, kFont, 9, kSysMenu,
     kAgreementControls},
    {IDD_DIRQUILL_DIALOG, "澄枫文件助手V1.0", 800, 500, kFont, 9,
     kSysMenu | kMinimizeBox | kMaximizeBox | kAppWindow, kMainControls},
    {IDD_WORKDIR, "工作目录", 300, 150, kFont, 9, kSysMenu, kWorkDirControls},
    {IDD_RENAME, "修改文件或文件夹名", 300, 150, kFont, 9, kSysMenu, kRenameControls},
};

} // namespace

const DialogTemplate& dialogTemplate(int id) {
    for (const auto& dialog : kTemplates) {
        if (dialog.id == id) {
            return dialog;
        }
    }
    throw std::out_of_range("no dialog template with this id");
}

} // namespace res
