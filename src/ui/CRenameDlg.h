#pragma once

#include "ui/CDialog.h"

// The name prompt "修改文件或文件夹名" of the new-folder and rename commands. Its OK
// button holds the focus when it opens, so Enter accepts the filled-in name at once.
class CRenameDlg : public CDialog {
    Q_OBJECT
public:
    explicit CRenameDlg(QWidget* parent = nullptr);
    void SetName(const QString& name) { m_strName = name; }
    [[nodiscard]] QString GetName() const { return m_strName; }

protected:
    void DoDataExchange(bool saveAndValidate) override;

private:
    QString m_strName;
};
