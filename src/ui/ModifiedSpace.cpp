#include "ui/ModifiedSpace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

namespace ui {

namespace {

class ModifiedSpaceFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        constexpr Qt::KeyboardModifiers held =
            Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        // A button clicks when Space is released after a press it took; a press it never
        // sees leaves the release nothing to click.
        return key->key() == Qt::Key_Space && (key->modifiers() & held) != 0 &&
               qobject_cast<QAbstractButton*>(target) != nullptr;
    }
};

} // namespace

void keepModifiedSpaceFromButtons() {
    static QPointer<QObject> filter;
    if (filter == nullptr && qApp != nullptr) {
        filter = new ModifiedSpaceFilter(qApp);
        qApp->installEventFilter(filter);
    }
}

} // namespace ui
