#include "ui/DialogOwner.h"

#include "app/CDirquillApp.h"

#include <QApplication>
#include <QWidget>

namespace ui {

QWidget* dialogOwner() {
    for (QWidget* window :
         {QApplication::activeWindow(), QApplication::activeModalWidget(), theApp.m_pMainWnd}) {
        // A window that was closed but not yet destroyed (the agreement dialog while the
        // main window opens) owns nothing.
        if (window != nullptr && window->isVisible() &&
            (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog)) {
            return window;
        }
    }
    return nullptr;
}

} // namespace ui
