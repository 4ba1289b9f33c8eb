#include "ui/CDirquillDlg.h"

#include "browser/CColumnList.h"
#include "platform/helper/HelperCall.h"
#include "res/Icon.h"
#include "res/Texts.h"
#include "res/resource.h"
#include "ui/CAboutDlg.h"
#include "ui/WindowFit.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include <array>

namespace {

// The command map: each menu command id and the handler that carries it out.
struct CommandEntry {
    int id;
    void (CDirquillDlg::*handler)();
};

constexpr std::array kCommandMap{
    CommandEntry{ID_ADD_WORKDIR, &CDirquillDlg::OnAddWorkDir},
    CommandEntry{ID_DELETE_WORKDIR, &CDirquillDlg::OnDeleteWorkDir},
    CommandEntry{ID_NEWFOLDER1, &CDirquillDlg::OnNewFolder1},
    CommandEntry{ID_NEWFOLDER2, &CDirquillDlg::OnNewFolder2},
    CommandEntry{ID_NEWFOLDER3, &CDirquillDlg::OnNewFolder3},
    CommandEntry{ID_NEWFOLDER4, &CDirquillDlg::OnNewFolder4},
    CommandEntry{ID_DELETE1, &CDirquillDlg::OnDelete1},
    CommandEntry{ID_DELETE2, &CDirquillDlg::OnDelete2},
    CommandEntry{ID_DELETE3, &CDirquillDlg::OnDelete3},
    CommandEntry{ID_DELETE4, &CDirquillDlg::OnDelete4},
    CommandEntry{ID_RENAME1, &CDirquillDlg::OnRename1},
    CommandEntry{ID_RENAME2, &CDirquillDlg::OnRename2},
    CommandEntry{ID_RENAME3, &CDirquillDlg::OnRename3},
    CommandEntry{ID_RENAME4, &CDirquillDlg::OnRename4},
};

// Columns 0 to 4 are the controls in this order.
constexpr std::array kColumnIds{IDC_LIST0, IDC_LIST1, IDC_LIST2, IDC_LIST3, IDC_LIST4};

// Layout constants in pixels.
constexpr int kMargin = 10;
constexpr int kGap = 10;
constexpr int kHorizontalAllowance = 60;
constexpr int kVerticalAllowance = 20;
constexpr int kColumnInset = 5;

} // namespace

CDirquillDlg::CDirquillDlg(QWidget* parent)
    : CDialog(IDD_DIRQUILL_DIALOG, parent), m_hIcon(res::appIcon()) {
    m_list4 = qobject_cast<CColumnList*>(GetDlgItem(IDC_LIST4));
    m_list3 = qobject_cast<CColumnList*>(GetDlgItem(IDC_LIST3));
    m_list2 = qobject_cast<CColumnList*>(GetDlgItem(IDC_LIST2));
    m_list1 = qobject_cast<CColumnList*>(GetDlgItem(IDC_LIST1));
    m_list0 = qobject_cast<CColumnList*>(GetDlgItem(IDC_LIST0));
    for (int k = 1; k < kColumnCount; ++k) {
        Column(k).SetShowsFileNames(true);
    }
    ConnectColumns();
    // Alt+Space opens the window menu wherever the focus is, as a system menu would.
    auto* windowMenuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(windowMenuKey, &QShortcut::activated, this,
            [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
}

void CDirquillDlg::ConnectColumns() {
    for (int k = 0; k < kColumnCount; ++k) {
        CColumnList* list = &Column(k);
        connect(list, &CColumnList::leftClicked, this, [this, k] { OnColumnClick(k); });
        connect(list, &CColumnList::leftDoubleClicked, this, [this, k] { OnColumnDblClk(k); });
        connect(list, &CColumnList::rightClicked, this, [this, k] { OnColumnRClick(k); });
    }
}

CColumnList& CDirquillDlg::Column(int c) const {
    std::array<CColumnList*, kColumnCount> columns{m_list0, m_list1, m_list2, m_list3, m_list4};
    return *columns.at(static_cast<std::size_t>(c));
}

bool CDirquillDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    setWindowIcon(m_hIcon);
    // The window can be resized from here on.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(false);
    // Made now, the native window knows its frame before it shows where the platform
    // can tell (offscreen; not X11 or Wayland, see showEvent).
    create();
    FitOnScreen();
    LayoutColumns();
    SetUpColumns();
    return true;
}

void CDirquillDlg::FitOnScreen() {
    // Tall CJK fonts make the template larger than some screens; the window then
    // starts as large as the screen allows instead of running off its edge. Its frame
    // counts too (the title bar and borders, which Qt draws itself on Wayland), but is
    // known only once the window shows: until then the client area is fitted.
    const QScreen* display = screen();
    if (display == nullptr) {
        return;
    }
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    const QRect outer = geometry().marginsAdded(frame);
    const QRect fitted = ui::frameInside(outer, display->availableGeometry());
    if (fitted.size() != outer.size()) {
        resize(fitted.size().shrunkBy(frame));
    }
    // Before it shows, the window is placed by Qt (centred) or the window manager.
    if (!frame.isNull()) {
        m_frameFitted = true;
        if (fitted.topLeft() != outer.topLeft()) {
            move(fitted.topLeft());
        }
    }
}

void CDirquillDlg::showEvent(QShowEvent* event) {
    CDialog::showEvent(event);
    // On Wayland the frame is known as soon as the window shows; under an X11 window
    // manager, when it has framed the window, which moves it (moveEvent).
    if (!m_frameFitted) {
        QTimer::singleShot(0, this, [this] {
            if (!m_frameFitted) {
                FitOnScreen();
            }
        });
    }
}

void CDirquillDlg::moveEvent(QMoveEvent* event) {
    CDialog::moveEvent(event);
    if (!m_frameFitted && isVisible()) {
        FitOnScreen();
    }
}

void CDirquillDlg::LayoutColumns() {
    const QRect client = rect();
    m_laidOutSize = client.size();
    const int width = (client.width() - kHorizontalAllowance) / 5;
    const int height = client.height() - kVerticalAllowance;
    for (int i = 0; i < kColumnCount; ++i) {
        auto* list = qobject_cast<CColumnList*>(GetDlgItem(kColumnIds.at(i)));
        if (list == nullptr) {
            continue;
        }
        list->setGeometry(kMargin + i * (width + kGap), kMargin, width, height);
        if (list->HeaderItemCount() > 0) {
            list->SetColumnWidth(width - kColumnInset);
        }
    }
}

void CDirquillDlg::OnSize(int type, int /*cx*/, int /*cy*/) {
    if (type != kSizeMinimized) {
        LayoutColumns();
    }
}

void CDirquillDlg::paintEvent(QPaintEvent* event) {
    CDialog::paintEvent(event);
    // The file helper starts once the window is on screen, so that starting it takes
    // nothing from the start-up, and is ready long before a first click.
    if (!m_helperPrepared) {
        m_helperPrepared = true;
        QTimer::singleShot(0, this, [] { platform::prepareHelper(); });
    }
}

void CDirquillDlg::resizeEvent(QResizeEvent* event) {
    CDialog::resizeEvent(event);
    // When the window is first shown, Qt delivers the size it already has as a resize
    // event without an old size. The initialisation laid that size out before the header
    // columns existed, and they keep their initial width until the window really changes
    // size, so this repeat lays nothing out.
    if (!event->oldSize().isValid() && event->size() == m_laidOutSize) {
        return;
    }
    OnSize(isMinimized() ? kSizeMinimized : kSizeRestored, event->size().width(),
           event->size().height());
}

void CDirquillDlg::changeEvent(QEvent* event) {
    CDialog::changeEvent(event);
    // A window manager activates the window once it has framed it; with none, the frame
    // stays unknown, and the window is left as large as it is from then on.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_frameFitted) {
        FitOnScreen();
        m_frameFitted = true;
    }
    if (event->type() == QEvent::WindowStateChange) {
        OnSize(isMinimized() ? kSizeMinimized : kSizeRestored, width(), height());
    }
}

void CDirquillDlg::keyPressEvent(QKeyEvent* event) {
    // The window has no buttons: Enter closes it like OK, Escape like Cancel.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            OnOK();
            return;
        }
    }
    CDialog::keyPressEvent(event);
}

bool CDirquillDlg::OnCommandId(int id) {
    for (const auto& entry : kCommandMap) {
        if (entry.id == id) {
            (this->*entry.handler)();
            return true;
        }
    }
    return false;
}

void CDirquillDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The columns take their own right clicks; one that reaches the window landed on its
    // background.
    ShowSystemMenu(event->globalPos());
}

void CDirquillDlg::ShowSystemMenu(const QPoint& globalPos) {
    QMenu menu(this);
    menu.setTitle(QString::fromUtf8(texts::kWindowMenuName));
    menu.setAccessibleName(menu.title());
    const auto addCommand = [&menu](const char* text, int id, bool enabled) {
        QAction* action = menu.addAction(QString::fromUtf8(text));
        action->setData(id);
        action->setEnabled(enabled);
    };
    const bool normal = !isMinimized() && !isMaximized();
    addCommand(texts::kRestore, SC_RESTORE, !normal);
    addCommand(texts::kMinimize, SC_MINIMIZE, !isMinimized());
    addCommand(texts::kMaximize, SC_MAXIMIZE, !isMaximized());
    addCommand(texts::kClose, SC_CLOSE, true);
    if (const QString about = QString::fromUtf8(texts::loadString(IDS_ABOUTBOX));
        !about.isEmpty()) {
        menu.addSeparator();
        QAction* action = menu.addAction(about);
        action->setData(IDM_ABOUTBOX);
    }
    if (const QAction* chosen = menu.exec(globalPos); chosen != nullptr) {
        OnSysCommand(chosen->data().toInt());
    }
}

void CDirquillDlg::OnSysCommand(int id) {
    switch (id & 0xFFF0) {
    case IDM_ABOUTBOX: {
        CAboutDlg about;
        about.DoModal();
        break;
    }
    case SC_RESTORE:
        showNormal();
        break;
    case SC_MINIMIZE:
        showMinimized();
        break;
    case SC_MAXIMIZE:
        showMaximized();
        break;
    case SC_CLOSE:
        OnCancel();
        break;
    default:
        break;
    }
}
