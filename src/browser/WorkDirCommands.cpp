// The commands of column 0's menu: add and delete a work directory.

#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "res/resource.h"
#include "store/CWorkspaceStore.h"
#include "store/ComError.h"
#include "ui/CDirquillDlg.h"
#include "ui/CWorkDirDlg.h"
#include "ui/MessageBox.h"

void CDirquillDlg::OnAddWorkDir() {
    CWorkDirDlg prompt;
    if (prompt.DoModal() != IDOK) {
        return;
    }
    const QString dir = prompt.GetWorkDir();
    try {
        CWorkspaceStore(theApp.m_pConnection).AddWorkDir(dir);
    } catch (const ComError& error) {
        AfxMessageBox(error.ErrorMessage());
        return;
    }
    // Shown at the end of column 0 at once; the other columns stay as they are.
    Column(0).InsertItem(dir);
}

void CDirquillDlg::OnDeleteWorkDir() {
    const int row = SelectedRow(0);
    if (row < 0) {
        return;
    }
    const QString text = Column(0).GetItemText(row);
    try {
        CWorkspaceStore(theApp.m_pConnection).DeleteWorkDir(text);
    } catch (const ComError& error) {
        AfxMessageBox(error.ErrorMessage());
        return;
    }
    FillRootColumn();
    RefillColumnsFrom(1);
}
