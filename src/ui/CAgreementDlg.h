#pragma once

#include "ui/CDialog.h"

// The agreement shown at every start: "同意使用" goes on to the main window, "不同意，退出"
// ends the program. Two buttons open the license and the help document.
class CAgreementDlg : public CDialog {
    Q_OBJECT
public:
    explicit CAgreementDlg(QWidget* parent = nullptr);

    void OnOpenAgreementDoc();
    void OnOpenHelpDoc();

protected:
    void OnCommand(int id) override;
};
