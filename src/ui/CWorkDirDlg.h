#pragma once

#include "ui/CDialog.h"

// The prompt "工作目录" in which the user types a work directory to store.
class CWorkDirDlg : public CDialog {
    Q_OBJECT
public:
    explicit CWorkDirDlg(QWidget* parent = nullptr);
    [[nodiscard]] QString GetWorkDir() const { return m_strWorkDir; }

protected:
    void DoDataExchange(bool saveAndValidate) override;

private:
    QString m_strWorkDir;
};
