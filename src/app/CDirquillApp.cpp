#include "app/CDirquillApp.h"

#include "platform/volumes/StorageService.h"
#include "res/Texts.h"
#include "res/resource.h"
#include "store/ComError.h"
#include "ui/CAgreementDlg.h"
#include "ui/CDirquillDlg.h"
#include "ui/MessageBox.h"

CDirquillApp theApp;

CDirquillApp::CDirquillApp() : m_strConnect(QString::fromUtf8(texts::kConnectString)) {}

CDirquillApp::~CDirquillApp() = default;

bool CDirquillApp::OpenConnection() {
    constexpr int kConnectionTimeoutSeconds = 8;
    try {
        m_pConnection = std::make_shared<CConnection>();
        Deref(m_pConnection).SetConnectionTimeout(kConnectionTimeoutSeconds);
        Deref(m_pConnection).Open(m_strConnect);
    } catch (const ComError& error) {
        QString message = QString::fromUtf8(texts::kConnectFailed);
        message.replace(QStringLiteral("%s"), error.ErrorMessage());
        AfxMessageBox(message);
        return false;
    }
    return true;
}

bool CDirquillApp::InitInstance() {
    // The storage service answers while the database opens and the agreement shows, so
    // that column 0 finds its volumes without waiting.
    platform::volumes::requestObjects();
    if (!OpenConnection()) {
        platform::volumes::finishRequests();
        return false;
    }
    CAgreementDlg agreement;
    if (agreement.DoModal() != IDCANCEL) {
        CDirquillDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    platform::volumes::finishRequests();
    return false;
}
