#pragma once

#include <QDialog>

#include <map>

namespace res {
struct DialogTemplate;
}

// A dialog built from a template of res/DialogTemplates: its caption, size, font and
// controls come from the table. Buttons 1 and 2 end it with IDOK and IDCANCEL; Escape
// and the close box end it with IDCANCEL. Subclasses exchange their data in
// DoDataExchange and react to other buttons in OnCommand.
class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(int templateId, QWidget* parent = nullptr);

    // Initialises the dialog (once) and runs it modally; returns IDOK or IDCANCEL. Made
    // without a parent, it belongs to the window active when it opens.
    int DoModal();

    // Initialises the dialog (once) and shows it without a modal loop of its own.
    void Create();

    [[nodiscard]] QWidget* GetDlgItem(int id) const;
    [[nodiscard]] const res::DialogTemplate& Template() const { return template_; }

    // Ends the dialog with IDCANCEL, as Escape and the close box do.
    void reject() override;

protected:
    // Moves the members into the controls; the default initialisation of every dialog.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(bool saveAndValidate);
    bool UpdateData(bool saveAndValidate);
    virtual void OnOK();
    virtual void OnCancel();
    // A button other than OK and Cancel was pressed.
    virtual void OnCommand(int id);

    // The first control with a tab stop: the focus when the dialog opens.
    [[nodiscard]] QWidget* FirstTabStop() const { return firstTabStop_; }

private:
    void BuildControls();
    void EnsureInitialised();

    const res::DialogTemplate& template_;
    std::map<int, QWidget*> controls_;
    QWidget* firstTabStop_ = nullptr;
    bool initialised_ = false;
};

// Text exchange between a QString member and an edit control.
void DDX_Text(bool saveAndValidate, QWidget* edit, QString& value);
