#include "ui/CDialog.h"

#include "browser/CColumnList.h"
#include "res/DialogTemplates.h"
#include "res/Icon.h"
#include "res/resource.h"
#include "ui/DialogOwner.h"
#include "ui/DialogUnits.h"
#include "ui/ModifiedSpace.h"
#include "ui/PlainText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using res::ControlKind;

CDialog::CDialog(int templateId, QWidget* parent)
    : QDialog(parent), template_(res::dialogTemplate(templateId)) {
    setWindowTitle(QString::fromUtf8(template_.caption));
    setAccessibleName(windowTitle());
    setFont(templateFont(template_));
    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if ((template_.style & res::kSysMenu) != 0) {
        flags |= Qt::WindowSystemMenuHint;
    }
    if ((template_.style & res::kMinimizeBox) != 0) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    if ((template_.style & res::kMaximizeBox) != 0) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    setWindowFlags(flags);
    BuildControls();
    ui::keepModifiedSpaceFromButtons();
}

void CDialog::BuildControls() {
    const DialogUnits units(font());
    setFixedSize(units.toPixelsX(template_.cx), units.toPixelsY(template_.cy));
    QWidget* previousTab = nullptr;
    QString lastLabel;
    for (const auto& control : template_.controls) {
        const QString text = QString::fromUtf8(control.text);
        QWidget* widget = nullptr;
        switch (control.kind) {
        case ControlKind::DefPushButton:
        case ControlKind::PushButton:
        case ControlKind::FlatPushButton: {
            auto* button = new QPushButton(text, this);
            button->setDefault(control.kind == ControlKind::DefPushButton);
            button->setFlat(control.kind == ControlKind::FlatPushButton);
            const int id = control.id;
            connect(button, &QPushButton::clicked, this, [this, id] {
                if (id == IDOK) {
                    OnOK();
                } else if (id == IDCANCEL) {
                    OnCancel();
                } else {
                    OnCommand(id);
                }
            });
            widget = button;
            break;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(this);
            SetPlainText(*label, text);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(control.cy > 8);
            lastLabel = text;
            widget = label;
            break;
        }
        case ControlKind::IconImage: {
            auto* label = new QLabel(this);
            label->setPixmap(res::appIcon().pixmap(48, 48));
            label->setAccessibleName(windowTitle());
            widget = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(this);
            edit->setAccessibleName(lastLabel);
            widget = edit;
            break;
        }
        case ControlKind::ListView:
            widget = new CColumnList(this);
            break;
        }
        widget->setGeometry(units.toPixels(control.x, control.y, control.cx, control.cy));
        if (control.id != IDC_STATIC) {
            controls_[control.id] = widget;
        }
        if ((control.style & res::kTabStop) != 0) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previousTab != nullptr) {
                setTabOrder(previousTab, widget);
            } else {
                firstTabStop_ = widget;
            }
            previousTab = widget;
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
    }
}

QWidget* CDialog::GetDlgItem(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

void CDialog::EnsureInitialised() {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
}

int CDialog::DoModal() {
    EnsureInitialised();
    // A dialog made without a parent belongs to the window that opens it, which tells
    // the desktop to keep it above that window (on Wayland, a dialog without one slips
    // behind the window it blocks).
    if (parentWidget() == nullptr) {
        if (QWidget* owner = ui::dialogOwner(); owner != nullptr && owner != this) {
            setParent(owner, windowFlags());
        }
    }
    return exec();
}

void CDialog::Create() {
    EnsureInitialised();
    show();
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    if (firstTabStop_ != nullptr) {
        firstTabStop_->setFocus(Qt::OtherFocusReason);
    }
    return true;
}

void CDialog::DoDataExchange(bool /*saveAndValidate*/) {}

bool CDialog::UpdateData(bool saveAndValidate) {
    DoDataExchange(saveAndValidate);
    return true;
}

void CDialog::OnOK() {
    UpdateData(true);
    done(IDOK);
}

void CDialog::OnCancel() {
    done(IDCANCEL);
}

void CDialog::reject() {
    OnCancel();
}

void CDialog::OnCommand(int /*id*/) {}

void DDX_Text(bool saveAndValidate, QWidget* edit, QString& value) {
    auto* lineEdit = qobject_cast<QLineEdit*>(edit);
    if (lineEdit == nullptr) {
        return;
    }
    if (saveAndValidate) {
        value = lineEdit->text();
    } else {
        lineEdit->setText(value);
    }
}
