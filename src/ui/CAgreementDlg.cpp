#include "ui/CAgreementDlg.h"

#include "platform/DesktopOpen.h"
#include "res/Texts.h"
#include "res/resource.h"

CAgreementDlg::CAgreementDlg(QWidget* parent) : CDialog(IDD_AGREEMENT, parent) {}

void CAgreementDlg::OnCommand(int id) {
    if (id == IDC_AGREEMENT_DOC) {
        OnOpenAgreementDoc();
    } else if (id == IDC_HELP_DOC) {
        OnOpenHelpDoc();
    }
}

// A missing document brings no message of the program's own: whatever the desktop shows
// is the desktop's.
void CAgreementDlg::OnOpenAgreementDoc() {
    platform::openWithDesktop(QString::fromUtf8(texts::kAgreementDocument));
}

void CAgreementDlg::OnOpenHelpDoc() {
    platform::openWithDesktop(QString::fromUtf8(texts::kHelpDocument));
}
