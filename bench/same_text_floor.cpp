// same_text_floor: the start-up floor that paints what the program paints. It builds the
// program's two windows from plain Qt widgets, with the same texts, sizes, fonts, icon
// and rows: the agreement, accepted as soon as it has painted, then the main window with
// its five headed columns and column 0's rows, which it reads from the file named on its
// command line (bench_startup has the program write them). It opens no database, starts
// no helper and runs no name code. Once column 0 has painted it writes "painted" and
// ends, as startup_probe does.

#include "res/DialogTemplates.h"
#include "res/Texts.h"
#include "res/resource.h"
#include "ui/DialogUnits.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

using res::ControlKind;

// A dialog as the program's dialog class lays out a template.
void buildDialog(QDialog& dialog, const res::DialogTemplate& form,
                 std::vector<QTableWidget*>& lists) {
    dialog.setWindowTitle(QString::fromUtf8(form.caption));
    dialog.setAccessibleName(dialog.windowTitle());
    dialog.setFont(templateFont(form));
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    if ((form.style & res::kMinimizeBox) != 0) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    if ((form.style & res::kMaximizeBox) != 0) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    dialog.setWindowFlags(flags);
    const DialogUnits units(dialog.font());
    dialog.setFixedSize(units.toPixelsX(form.cx), units.toPixelsY(form.cy));
    QWidget* first = nullptr;
    QWidget* previous = nullptr;
    for (const auto& control : form.controls) {
        const QString text = QString::fromUtf8(control.text);
        QWidget* widget = nullptr;
        switch (control.kind) {
        case ControlKind::DefPushButton:
        case ControlKind::PushButton:
        case ControlKind::FlatPushButton: {
            auto* button = new QPushButton(text, &dialog);
            button->setDefault(control.kind == ControlKind::DefPushButton);
            button->setFlat(control.kind == ControlKind::FlatPushButton);
            widget = button;
            break;
        }
        case ControlKind::Static: {
            auto* label = new QLabel(text, &dialog);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(control.cy > 8);
            widget = label;
            break;
        }
        case ControlKind::ListView:
            lists.push_back(new QTableWidget(&dialog));
            widget = lists.back();
            break;
        default:
            widget = new QWidget(&dialog);
            break;
        }
        widget->setGeometry(units.toPixels(control.x, control.y, control.cx, control.cy));
        if ((control.style & res::kTabStop) != 0) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previous != nullptr) {
                QWidget::setTabOrder(previous, widget);
            } else {
                first = widget;
            }
            previous = widget;
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
    }
    if (first != nullptr) {
        first->setFocus(Qt::OtherFocusReason);
    }
}

// A column as the browser sets one up: one headed column, report style with grid lines,
// full-row single selection that stays visible without the focus.
void setUpColumn(QTableWidget& list, const QString& heading, const QStringList& rows) {
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setWordWrap(false);
    list.setTabKeyNavigation(false);
    list.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list.setFrameShape(QFrame::StyledPanel);
    QHeaderView* rowsHeader = list.verticalHeader();
    rowsHeader->hide();
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(list.fontMetrics().height() + 4);
    rowsHeader->setMinimumSectionSize(1);
    QHeaderView* header = list.horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsClickable(false);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    QPalette colours = list.palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Active, QPalette::Highlight));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::HighlightedText));
    list.setPalette(colours);

    list.setColumnCount(1);
    list.setHorizontalHeaderLabels({heading});
    list.horizontalHeader()->resizeSection(0, 220);
    list.setAccessibleName(heading.trimmed());
    list.setShowGrid(true);
    list.setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        list.setItem(r, 0, new QTableWidgetItem(rows.at(r)));
    }
}

class PaintWatch : public QObject {
public:
    PaintWatch(QDialog& agreement, QWidget*& column0) : agreement_(agreement), column0_(column0) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) {
            return false;
        }
        if (watched == &agreement_ && !agreementSeen_) {
            agreementSeen_ = true;
            QTimer::singleShot(0, &agreement_, [this] { agreement_.done(QDialog::Accepted); });
        } else if (column0_ != nullptr && watched == column0_ && !mainSeen_) {
            mainSeen_ = true;
            QTimer::singleShot(0, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                ::_exit(0);
            });
        }
        return false;
    }

private:
    QDialog& agreement_;
    QWidget*& column0_;
    bool agreementSeen_ = false;
    bool mainSeen_ = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QStringList rows;
    if (argc > 1) {
        QFile file(QString::fromLocal8Bit(argv[1]));
        if (file.open(QIODevice::ReadOnly)) {
            rows = QString::fromUtf8(file.readAll()).split('\n');
            if (!rows.isEmpty() && rows.last().isEmpty()) {
                rows.removeLast();
            }
        }
    }

    QWidget* column0 = nullptr;
    QDialog agreement;
    PaintWatch watch(agreement, column0);
    application.installEventFilter(&watch);
    std::vector<QTableWidget*> none;
    buildDialog(agreement, res::dialogTemplate(IDD_AGREEMENT), none);
    agreement.exec();

    QDialog main;
    std::vector<QTableWidget*> lists;
    buildDialog(main, res::dialogTemplate(IDD_DIRQUILL_DIALOG), lists);
    main.setWindowIcon(QIcon(QStringLiteral(":/icons/dirquill-48.png")));
    main.setMinimumSize(0, 0);
    main.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    main.setSizeGripEnabled(false);
    if (const QScreen* display = main.screen()) {
        const QSize room = display->availableSize();
        main.resize(std::min(main.width(), room.width()), std::min(main.height(), room.height()));
    }
    // The columns' places as the main window lays them out.
    const QRect client = main.rect();
    const int width = (client.width() - 60) / 5;
    const int height = client.height() - 20;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        lists[i]->setGeometry(10 + static_cast<int>(i) * (width + 10), 10, width, height);
        setUpColumn(*lists[i], QString::fromUtf8(texts::kColumnHeaders[i]),
                    i == 0 ? rows : QStringList());
    }
    column0 = lists.front()->viewport();
    main.exec();
    return 0;
}
