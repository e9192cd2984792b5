#include "gui/host/effect_wnd.h"

#include "app/command_ids.h"
#include "gui/app/images.h"
#include "gui/app/main_frame.h"
#include "gui/host/child_frame.h"
#include "gui/host/program_dialogs.h"
#include "gui/host/windows_keys.h"
#include "host/editor_keys.h"
#include "host/seq_effect.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMetaObject>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>

#include <X11/Xlib.h>

#include <array>
#include <mutex>

namespace zorvil {

namespace {

// Text the plug-in writes for a name (its own limits are smaller; we read this much back).
constexpr std::size_t kNameLength = 255;

// The editor's size while a plug-in that has an editor gives its rectangle only once it is open.
constexpr ERect kProvisionalRect{.top = 0, .left = 0, .bottom = 200, .right = 300};

int Width(const ERect& rect) noexcept {
    return rect.right - rect.left;
}
int Height(const ERect& rect) noexcept {
    return rect.bottom - rect.top;
}

bool SameRect(const std::optional<ERect>& a, const std::optional<ERect>& b) noexcept {
    if (!a || !b) return a.has_value() == b.has_value();
    return a->top == b->top && a->left == b->left && a->bottom == b->bottom && a->right == b->right;
}

// The name a window shows for a library: its file name without the last extension.
std::string LibraryName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    return name;
}

// The plug-in's own X connection must find the window Qt made for it: Qt's requests may still
// sit in its output buffer.
void SyncWithXServer() {
    if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        if (Display* display = x11->display()) XSync(display, False);
    }
}

// The system menu's own items: (id, text), in order, with 0 for a separator.
constexpr std::array<std::pair<uint32_t, const char*>, 7> kSystemMenuItems{{
    {command::kFirstProgram, "Presets..."},
    {command::kRenamePreset, "Rename preset..."},
    {0, nullptr},
    {command::kLoadBank, "Load Bank..."},
    {command::kSaveBank, "Save Bank"},
    {command::kSaveBankAs, "Save Bank &As..."},
    {0, nullptr},
}};

} // namespace

CEffectWnd::CEffectWnd(CZorvilApp& app, CChildFrame& owner) : m_app(app), m_owner(owner) {
    // No minimise and maximise boxes: the window is as large as its editor, never larger.
    setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
}

CEffectWnd::~CEffectWnd() = default;

CEffectWnd* CEffectWnd::OpenEditorWindow(CChildFrame& owner) {
    CSeqEffect* const effect = owner.App().Host().GetSeqEffect(owner.EffectIndex());
    if (effect == nullptr) return nullptr;
    ERect* given = nullptr;
    effect->Dispatch(effEditGetRect, 0, 0, &given);
    // A plug-in that says it has an editor but gives its rectangle only once the editor is open
    // gets a provisional size, corrected right after opening.
    if (given == nullptr && !effect->HasFlag(effFlagsHasEditor)) return nullptr;
    const ERect rect = given != nullptr ? *given : kProvisionalRect;

    auto* window = new CEffectWnd(owner.App(), owner);
    if (!window->Create()) {
        delete window;
        return nullptr;
    }
    owner.MainFrame().MdiArea()->addSubWindow(window);
    window->showNormal();
    window->SetEffectIndex(owner.EffectIndex());
    window->BuildSystemMenu();
    window->FitToEditor(&rect);

    SyncWithXServer();
    const auto parent = static_cast<uintptr_t>(window->m_pEditorParent->winId());
    if (effect->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) > 0)
        effect->m_bEditorOpen.store(true, std::memory_order_release);
    // Plug-ins that know their true size only once open.
    window->FitToEditor(nullptr);
    window->PlaceInView();
    window->UpdateTitle();
    return window;
}

void CEffectWnd::PlaceInView() {
    // Qt puts a new child after the last one, which can lie past the visible part of the child
    // area: a window the user cannot see opened for nothing.
    const QMdiArea* area = mdiArea();
    if (area == nullptr) return;
    const QSize room = area->viewport()->size();
    const QPoint at(std::max(0, std::min(x(), room.width() - width())),
                    std::max(0, std::min(y(), room.height() - height())));
    if (at != pos()) move(at);
}

bool CEffectWnd::Create() {
    if (HasChildView()) {
        QWidget* const view = CreateChildView();
        if (view == nullptr) return false;
        setWidget(view);
    } else {
        // The plug-in's editor becomes an X child window of this one, so it must be a native
        // window, and so must its ancestors: X moves a child with its native parent, while a
        // native window inside widgets Qt only draws stays put when the sub-window moves.
        m_pEditorParent = new QWidget;
        m_pEditorParent->setAttribute(Qt::WA_NativeWindow);
        m_pEditorParent->setFocusPolicy(Qt::StrongFocus);
        m_pEditorParent->setAutoFillBackground(true);
        setWidget(m_pEditorParent);
        setFocusProxy(m_pEditorParent);
    }
    setWindowIcon(WindowIcon());
    return true;
}

void CEffectWnd::SetEffectIndex(int slot) {
    m_nEffect = slot;
}

void CEffectWnd::RefreshDisplay() {
    UpdateTitle();
    update();
}

bool CEffectWnd::OnParameterChanged(int) {
    return false;
}

bool CEffectWnd::ComputeRects(const ERect* rect) {
    ERect editor{};
    if (rect != nullptr) {
        editor = *rect;
    } else {
        if (HasChildView()) return false;
        const std::optional<ERect> given = PluginRect();
        if (m_sizeRequest && SameRect(m_sizeRequest->reported, given)) {
            editor = {.top = 0,
                      .left = 0,
                      .bottom = static_cast<int16_t>(m_sizeRequest->height),
                      .right = static_cast<int16_t>(m_sizeRequest->width)};
        } else {
            m_sizeRequest.reset();
            if (!given) return false;
            editor = *given;
        }
    }
    // The frame is the sub-window's own: its title bar and borders as the style draws them.
    const QMargins margins = contentsMargins();
    m_rcClient = QRect(0, 0, Width(editor), Height(editor));
    m_rcFrame = QRect(editor.left, editor.top, Width(editor) + margins.left() + margins.right(),
                      Height(editor) + margins.top() + margins.bottom());
    return true;
}

void CEffectWnd::FitToEditor(const ERect* rect) {
    if (!ComputeRects(rect) && m_rcFrame.isEmpty()) return;
    setMaximumSize(m_rcFrame.size());
    resize(m_rcFrame.size());
    if (QWidget* const view = widget()) view->resize(m_rcClient.size());
}

std::optional<ERect> CEffectWnd::PluginRect() const {
    CSeqEffect* const effect = m_app.Host().GetSeqEffect(m_nEffect);
    if (effect == nullptr) return std::nullopt;
    ERect* given = nullptr;
    effect->Dispatch(effEditGetRect, 0, 0, &given);
    if (given == nullptr) return std::nullopt;
    return *given;
}

void CEffectWnd::ResizeClient(int width, int height) {
    if (!HasChildView()) m_sizeRequest = SizeRequest{width, height, PluginRect()};
    const ERect rect{.top = static_cast<int16_t>(y()),
                     .left = static_cast<int16_t>(x()),
                     .bottom = static_cast<int16_t>(y() + height),
                     .right = static_cast<int16_t>(x() + width)};
    FitToEditor(&rect);
}

void CEffectWnd::CheckSize() {
    ComputeRects(nullptr);
    if (m_rcFrame.isEmpty()) return;
    setMaximumSize(m_rcFrame.size());
    if (width() > m_rcFrame.width() || height() > m_rcFrame.height())
        resize(std::min(width(), m_rcFrame.width()), std::min(height(), m_rcFrame.height()));
}

void CEffectWnd::UpdateTitle() {
    CSeqEffect* const effect = m_app.Host().GetSeqEffect(m_nEffect);
    if (effect == nullptr) {
        setWindowTitle({});
        return;
    }
    std::string name;
    if (effect->DispatchString(effGetProductString, 0, name, kNameLength) == 0 || name.empty())
        name = LibraryName(effect->GetPath());
    std::string program;
    effect->DispatchString(effGetProgramName, 0, program, kNameLength);
    setWindowTitle(QString::fromStdString(name + " - Preset : " + program));
}

void CEffectWnd::BuildSystemMenu() {
    QMenu* const menu = systemMenu();
    if (menu == nullptr) return;
    // Of the sub-window's own items only Move and Close stay.
    for (QAction* action : menu->actions()) {
        const QString text = action->text().remove(u'&');
        if (text != QStringLiteral("Move") && text != QStringLiteral("Close"))
            menu->removeAction(action);
    }
    QAction* const first = menu->actions().value(0);
    for (const auto& [id, text] : kSystemMenuItems) {
        QAction* action = nullptr;
        if (id == 0) {
            action = new QAction(menu);
            action->setSeparator(true);
        } else {
            action = new QAction(QString::fromLatin1(text), menu);
            action->setData(id);
            connect(action, &QAction::triggered, this, [this, command = id] {
                if (command == command::kFirstProgram) {
                    ShowProgramsPopup(Owner());
                } else if (command == command::kRenamePreset) {
                    RenamePreset(*this);
                } else {
                    Owner().OnEffectCommand(command);
                }
            });
        }
        menu->insertAction(first, action);
    }
}

QIcon CEffectWnd::WindowIcon() const {
    return images::EditorWindowIcon();
}

bool CEffectWnd::ForwardKey(const QKeyEvent& event, bool down) {
    CSeqEffect* const effect = m_app.Host().GetSeqEffect(m_nEffect);
    if (effect == nullptr) return false;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const EditorKey key = TranslateEditorKey(WindowsVirtualKey(event.key(), modifiers),
                                             {.shift = modifiers.testFlag(Qt::ShiftModifier),
                                              .control = modifiers.testFlag(Qt::ControlModifier),
                                              .alt = modifiers.testFlag(Qt::AltModifier)});
    return effect->Dispatch(down ? effEditKeyDown : effEditKeyUp, key.character, key.virtualKey,
                            nullptr, static_cast<float>(key.modifiers)) == 1;
}

bool CEffectWnd::event(QEvent* event) {
    // Every key press is first offered as a shortcut override: the plug-in sees it here, before
    // the main frame's shortcuts could take it, and keeps it when it answers that it took it.
    if (event->type() == QEvent::ShortcutOverride && !HasChildView()) {
        auto* const key = static_cast<QKeyEvent*>(event);
        const bool taken = ForwardKey(*key, true);
        m_offeredKey = OfferedKey{key->key(), key->nativeScanCode(), taken};
        if (taken) {
            event->accept();
            return true;
        }
        return QMdiSubWindow::event(event);
    }
    return QMdiSubWindow::event(event);
}

void CEffectWnd::keyPressEvent(QKeyEvent* event) {
    bool taken = false;
    if (m_offeredKey && m_offeredKey->key == event->key() &&
        m_offeredKey->scanCode == event->nativeScanCode()) {
        taken = m_offeredKey->taken;
    } else {
        taken = ForwardKey(*event, true);
    }
    m_offeredKey.reset();
    if (taken) {
        event->accept();
        return;
    }
    QMdiSubWindow::keyPressEvent(event);
}

void CEffectWnd::keyReleaseEvent(QKeyEvent* event) {
    if (ForwardKey(*event, false)) {
        event->accept();
        return;
    }
    QMdiSubWindow::keyReleaseEvent(event);
}

void CEffectWnd::resizeEvent(QResizeEvent* event) {
    QMdiSubWindow::resizeEvent(event);
    if (!isMinimized() && !isMaximized() && width() > 0 && height() > 0) {
        // As a posted command: the size change that caused it completes first.
        QMetaObject::invokeMethod(this, &CEffectWnd::CheckSize, Qt::QueuedConnection);
    }
}

void CEffectWnd::closeEvent(QCloseEvent* event) {
    if (CSeqEffect* const effect = m_app.Host().GetSeqEffect(m_nEffect)) {
        std::lock_guard lock(effect->GetLock());
        effect->Dispatch(effEditClose);
        effect->m_bEditorOpen.store(false, std::memory_order_release);
    }
    // Unloads the effect and closes the information window.
    m_owner.OnEditorClosed();
    QMdiSubWindow::closeEvent(event);
}

} // namespace zorvil
