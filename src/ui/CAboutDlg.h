#pragma once

#include "ui/CDialog.h"

// The About box "澄枫文件助手V1.0 属性", opened from the main window's window menu.
class CAboutDlg : public CDialog {
    Q_OBJECT
public:
    CAboutDlg();
};
