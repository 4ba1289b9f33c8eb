#pragma once

#include "app/CDirquillApp.h"
#include "browser/CColumnList.h"
#include "res/resource.h"
#include "ui/CAgreementDlg.h"
#include "ui/CDirquillDlg.h"

#include <QEvent>
#include <QObject>
#include <QTimer>

// Watches the program's start-up from outside, installed on the application: accepts the
// agreement as soon as it has painted, as a quick user would, and calls mainPainted once,
// when the main window has painted column 0 with its rows.
class StartupWatch : public QObject {
public:
    using QObject::QObject;

protected:
    virtual void agreementPainted() {}
    virtual void mainPainted(CDirquillDlg& main) = 0;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) {
            return false;
        }
        if (auto* agreement = qobject_cast<CAgreementDlg*>(watched)) {
            if (!agreementAnswered_) {
                agreementAnswered_ = true;
                agreementPainted();
                QTimer::singleShot(0, agreement, [agreement] { agreement->done(IDOK); });
            }
            return false;
        }
        auto* main = qobject_cast<CDirquillDlg*>(theApp.m_pMainWnd);
        if (main != nullptr && !mainSeen_ && watched == main->Column(0).viewport() &&
            main->Column(0).GetItemCount() > 0) {
            mainSeen_ = true;
            mainPainted(*main);
        }
        return false;
    }

private:
    bool agreementAnswered_ = false;
    bool mainSeen_ = false;
};
