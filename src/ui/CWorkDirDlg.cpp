#include "ui/CWorkDirDlg.h"

#include "res/resource.h"

CWorkDirDlg::CWorkDirDlg(QWidget* parent) : CDialog(IDD_WORKDIR, parent) {}

void CWorkDirDlg::DoDataExchange(bool saveAndValidate) {
    DDX_Text(saveAndValidate, GetDlgItem(IDC_EDIT_WORKDIR), m_strWorkDir);
}
