#include "ui/CRenameDlg.h"

#include "res/resource.h"

CRenameDlg::CRenameDlg(QWidget* parent) : CDialog(IDD_RENAME, parent) {}

void CRenameDlg::DoDataExchange(bool saveAndValidate) {
    DDX_Text(saveAndValidate, GetDlgItem(IDC_EDIT_NAME), m_strName);
}
