// The handle table, window classes, creation and destruction. A handle is a number that is
// never reused, so that a stale handle is refused instead of reaching a newer window.
#include "user/WindowSystem.h"
#include "winplat/accounting.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>

namespace winplat::user {
namespace {

std::mutex g_tableLock;
std::unordered_map<HWND, std::shared_ptr<Window>>& table() {
    static auto* t = new std::unordered_map<HWND, std::shared_ptr<Window>>;
    return *t;
}
std::uintptr_t g_nextHandle = 0x10010;
std::atomic<std::size_t> g_liveWindows{0};

std::string foldCase(const char* s) {
    std::string out = s != nullptr ? s : "";
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

struct ClassTable {
    std::unordered_map<std::string, std::shared_ptr<WindowClass>> byName;
    std::vector<ClassRegistrar> pending;
    ATOM nextAtom = 0xC000;
};
ClassTable& classes() {
    static auto* c = new ClassTable;
    return *c;
}

std::vector<DestroyObserver>& destroyObservers() {
    static auto* v = new std::vector<DestroyObserver>;
    return *v;
}

LRESULT desktopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND newHandle() {
    std::lock_guard<std::mutex> guard(g_tableLock);
    HWND h = reinterpret_cast<HWND>(g_nextHandle);
    g_nextHandle += 4;
    return h;
}

void enterTable(const std::shared_ptr<Window>& w) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    table()[w->handle] = w;
}

void leaveTable(HWND hwnd) {
    std::lock_guard<std::mutex> guard(g_tableLock);
    table().erase(hwnd);
}

void unlinkFromParent(Window* w) {
    if (w->parent == nullptr) return;
    auto& siblings = w->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
}

// The final step for one window and its children: WM_NCDESTROY, then out of the tree.
void releaseWindow(const std::shared_ptr<Window>& w) {
    std::vector<Window*> kids = w->children;
    for (Window* child : kids) {
        auto held = hold(child->handle);
        if (held) releaseWindow(held);
    }
    send(w->handle, WM_NCDESTROY);
    for (DestroyObserver observer : destroyObservers())
        observer(w->handle);
    purgeQueued(w->handle);
    forgetInputState(w.get());
    unlinkFromParent(w.get());
    w->children.clear();
    w->destroyed = true;
    leaveTable(w->handle);
    --g_liveWindows;
}

void sendDestroy(Window* w) {
    HWND hwnd = w->handle;
    send(hwnd, WM_DESTROY);
    Window* again = lookup(hwnd);
    if (again == nullptr) return;
    std::vector<HWND> kids;
    for (Window* child : again->children)
        kids.push_back(child->handle);
    for (HWND child : kids) {
        if (Window* c = lookup(child)) {
            c->destroying = true;
            sendDestroy(c);
        }
    }
}

void ensureSystemClasses() {
    std::vector<ClassRegistrar> pending;
    pending.swap(classes().pending);
    for (ClassRegistrar registrar : pending)
        registrar();
}

} // namespace

Window* lookup(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(g_tableLock);
    auto it = table().find(hwnd);
    return it != table().end() ? it->second.get() : nullptr;
}

std::shared_ptr<Window> hold(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(g_tableLock);
    auto it = table().find(hwnd);
    return it != table().end() ? it->second : nullptr;
}

DWORD currentThread() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}

Window* desktop() {
    static Window* root = [] {
        auto cls = std::make_shared<WindowClass>();
        cls->name = "#32769";
        cls->proc = desktopProc;
        cls->background = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_BACKGROUND + 1));
        auto w = std::make_shared<Window>();
        w->handle = newHandle();
        w->cls = cls;
        w->proc = desktopProc;
        w->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN;
        w->rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        w->client = w->rect;
        w->update = w->rect;
        w->erase = true;
        enterTable(w);
        return w.get();
    }();
    return root;
}

std::vector<HWND> allWindows() {
    std::vector<HWND> out;
    std::vector<Window*> stack{desktop()};
    while (!stack.empty()) {
        Window* w = stack.back();
        stack.pop_back();
        out.push_back(w->handle);
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
            stack.push_back(*it);
    }
    return out;
}

POINT clientOrigin(const Window* w) {
    POINT p{w->client.left, w->client.top};
    for (const Window* up = w->parent; up != nullptr; up = up->parent) {
        p.x += up->client.left;
        p.y += up->client.top;
    }
    return p;
}

RECT windowRectOnScreen(const Window* w) {
    POINT base{0, 0};
    if (w->parent != nullptr) base = clientOrigin(w->parent);
    return offsetRect(w->rect, base.x, base.y);
}

RECT clientRectOnScreen(const Window* w) {
    POINT o = clientOrigin(w);
    return {o.x, o.y, o.x + (w->client.right - w->client.left),
            o.y + (w->client.bottom - w->client.top)};
}

bool isShown(const Window* w) {
    for (; w != nullptr; w = w->parent) {
        if ((w->style & WS_VISIBLE) == 0) return false;
    }
    return true;
}

bool isDisabledInChain(const Window* w) {
    for (; w != nullptr && w != desktop(); w = w->parent) {
        if ((w->style & WS_DISABLED) != 0) return true;
        if (!w->isChild()) break;
    }
    return false;
}

Window* rootOf(Window* w) {
    while (w != nullptr && w->parent != nullptr && w->parent != desktop())
        w = w->parent;
    return w;
}

bool isDescendant(const Window* ancestor, const Window* w) {
    for (; w != nullptr; w = w->parent) {
        if (w == ancestor) return true;
    }
    return false;
}

LRESULT send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto w = hold(hwnd);
    if (!w || w->proc == nullptr) return 0;
    return w->proc(hwnd, message, wParam, lParam);
}

void recalcClient(Window* w) {
    RECT r = w->rect;
    send(w->handle, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
    if (Window* again = lookup(w->handle)) {
        r.right = std::max(r.right, r.left);
        r.bottom = std::max(r.bottom, r.top);
        again->client = r;
    }
}

void addDestroyObserver(DestroyObserver observer) {
    destroyObservers().push_back(observer);
}

namespace {
Reflector g_reflector = nullptr;
}

void setReflector(Reflector reflector) {
    g_reflector = reflector;
}

LRESULT notifyParent(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* c = lookup(control);
    if (c == nullptr || !c->isChild() || c->parent == nullptr) return 0;
    HWND parent = c->parent->handle;
    LRESULT result = 0;
    if (g_reflector != nullptr && g_reflector(parent, control, message, wParam, lParam, &result))
        return result;
    return send(parent, message, wParam, lParam);
}

void addSystemClasses(ClassRegistrar registrar) {
    classes().pending.push_back(registrar);
}

std::shared_ptr<WindowClass> findClass(const char* name) {
    if (name == nullptr) return nullptr;
    auto& byName = classes().byName;
    auto it = byName.find(foldCase(name));
    if (it != byName.end()) return it->second;
    if (classes().pending.empty()) return nullptr;
    ensureSystemClasses();
    it = byName.find(foldCase(name));
    return it != byName.end() ? it->second : nullptr;
}

RECT intersectRects(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (emptyRect(r)) return RECT{0, 0, 0, 0};
    return r;
}

RECT unionRects(const RECT& a, const RECT& b) {
    if (emptyRect(a)) return b;
    if (emptyRect(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

RECT offsetRect(RECT r, int dx, int dy) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}

} // namespace winplat::user

using namespace winplat::user;

namespace {

// WH_CBT hooks of the calling thread, newest first.
struct Hook {
    HHOOK handle;
    HOOKPROC proc;
    DWORD thread;
};
std::vector<Hook>& hooks() {
    static auto* v = new std::vector<Hook>;
    return *v;
}
std::uintptr_t g_nextHook = 1;

LRESULT runCbtHooks(int code, WPARAM wParam, LPARAM lParam) {
    DWORD me = currentThread();
    for (const Hook& h : std::vector<Hook>(hooks())) {
        if (h.thread == me) return h.proc(code, wParam, lParam);
    }
    return 0;
}

ATOM registerClass(const WNDCLASSEXA& wc) {
    if (wc.lpszClassName == nullptr || wc.lpszClassName[0] == '\0' || wc.lpfnWndProc == nullptr ||
        wc.cbClsExtra < 0 || wc.cbWndExtra < 0 || wc.cbWndExtra > 40000) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& byName = classes().byName;
    std::string key = foldCase(wc.lpszClassName);
    if (byName.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc.lpszClassName;
    cls->style = wc.style;
    cls->proc = wc.lpfnWndProc;
    cls->classExtra = wc.cbClsExtra;
    cls->windowExtra = wc.cbWndExtra;
    cls->instance = wc.hInstance;
    cls->icon = wc.hIcon;
    cls->cursor = wc.hCursor;
    cls->background = wc.hbrBackground;
    cls->atom = classes().nextAtom++;
    byName[key] = cls;
    return cls->atom;
}

void placeDefault(DWORD style, int& x, int& y, int& width, int& height) {
    bool child = (style & WS_CHILD) != 0;
    if (x == CW_USEDEFAULT) {
        x = child ? 0 : 32;
        y = child ? 0 : 32;
    }
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : 640;
        height = child ? 0 : 480;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);
}

// Undoes a creation that failed before WM_CREATE ran.
void abandon(const std::shared_ptr<Window>& w, bool sendNcDestroy) {
    if (sendNcDestroy) send(w->handle, WM_NCDESTROY);
    unlinkFromParent(w.get());
    w->destroyed = true;
    leaveTable(w->handle);
    --g_liveWindows;
}

} // namespace

extern "C" {

std::size_t winplatLiveWindows() {
    return g_liveWindows.load();
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (wc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXA ex{sizeof(WNDCLASSEXA), wc->style,        wc->lpfnWndProc,   wc->cbClsExtra,
                   wc->cbWndExtra,      wc->hInstance,    wc->hIcon,         wc->hCursor,
                   wc->hbrBackground,   wc->lpszMenuName, wc->lpszClassName, nullptr};
    return registerClass(ex);
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
    if (wc == nullptr || wc->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return registerClass(*wc);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    auto& byName = classes().byName;
    auto it = byName.find(foldCase(className));
    if (it == byName.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    byName.erase(it);
    return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* out) {
    auto cls = findClass(className);
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (out != nullptr) {
        *out = WNDCLASSA{cls->style,    cls->proc,        cls->classExtra, cls->windowExtra,
                         cls->instance, cls->icon,        cls->cursor,     cls->background,
                         nullptr,       cls->name.c_str()};
    }
    return TRUE;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int size) {
    Window* w = lookup(hwnd);
    if (w == nullptr || buffer == nullptr || size <= 0) return 0;
    int n = std::min(static_cast<int>(w->cls->name.size()), size - 1);
    std::copy_n(w->cls->name.c_str(), n, buffer);
    buffer[n] = '\0';
    return n;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parentHandle, HMENU menuOrId, HINSTANCE instance,
                     LPVOID param) {
    auto cls = findClass(className);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Window* parent = desktop();
    HWND owner = nullptr;
    if ((style & WS_CHILD) != 0) {
        parent = lookup(parentHandle);
        if (parent == nullptr) {
            SetLastError(parentHandle != nullptr ? ERROR_INVALID_WINDOW_HANDLE
                                                 : ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
    } else if (parentHandle != nullptr) {
        Window* o = lookup(parentHandle);
        if (o == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        owner = rootOf(o)->handle;
    }
    if ((style & (WS_CHILD | WS_POPUP)) == 0) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    placeDefault(style, x, y, width, height);

    auto w = std::make_shared<Window>();
    w->handle = newHandle();
    w->cls = cls;
    w->proc = cls->proc;
    w->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    w->exStyle = exStyle;
    w->parent = parent;
    w->owner = owner;
    w->rect = {x, y, x + width, y + height};
    w->client = w->rect;
    w->id = (style & WS_CHILD) != 0 ? reinterpret_cast<UINT_PTR>(menuOrId) : 0;
    w->extra.assign(static_cast<std::size_t>(cls->windowExtra), 0);
    w->instance = instance;
    w->thread = currentThread();
    enterTable(w);
    ++g_liveWindows;
    // Children start at the bottom of their siblings, so that z-order is creation order and a
    // dialog's first control is the first in its tab order; other windows start on top.
    if ((style & (WS_CHILD | WS_MAXIMIZE)) == WS_CHILD)
        parent->children.push_back(w.get());
    else
        parent->children.insert(parent->children.begin(), w.get());
    HWND hwnd = w->handle;

    CREATESTRUCTA cs{param,
                     instance,
                     menuOrId,
                     parentHandle,
                     height,
                     width,
                     y,
                     x,
                     static_cast<LONG>(style),
                     windowName,
                     className,
                     exStyle};
    CBT_CREATEWNDA cbt{&cs, HWND_TOP};
    if (runCbtHooks(HCBT_CREATEWND, reinterpret_cast<WPARAM>(hwnd),
                    reinterpret_cast<LPARAM>(&cbt)) != 0) {
        abandon(w, false);
        return nullptr;
    }
    if (send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0) {
        if (lookup(hwnd) != nullptr) abandon(w, true);
        return nullptr;
    }
    recalcClient(w.get());
    if (send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (lookup(hwnd) == nullptr) return nullptr;
    const RECT& c = w->client;
    send(hwnd, WM_SIZE, SIZE_RESTORED,
         MAKELPARAM(static_cast<WORD>(c.right - c.left), static_cast<WORD>(c.bottom - c.top)));
    send(hwnd, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(c.left), static_cast<WORD>(c.top)));
    if ((style & WS_CHILD) != 0 && (exStyle & WS_EX_NOPARENTNOTIFY) == 0) {
        send(parent->handle, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, static_cast<WORD>(w->id)),
             reinterpret_cast<LPARAM>(hwnd));
    }
    if (lookup(hwnd) == nullptr) return nullptr;
    if ((style & WS_VISIBLE) != 0) ShowWindow(hwnd, SW_SHOW);
    return lookup(hwnd) != nullptr ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    auto w = hold(hwnd);
    if (!w || w.get() == desktop()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->destroying) return FALSE;
    w->destroying = true;
    if (runCbtHooks(HCBT_DESTROYWND, reinterpret_cast<WPARAM>(hwnd), 0) != 0) {
        w->destroying = false;
        return FALSE;
    }
    if ((w->style & WS_VISIBLE) != 0) {
        bool shown = isShown(w.get());
        w->style &= ~static_cast<DWORD>(WS_VISIBLE);
        if (shown) exposeBeneath(w.get(), w->rect);
    }
    moveFocusFrom(w.get());
    if (!w->isChild()) activateAfter(w.get());

    for (HWND other : allWindows()) {
        Window* o = lookup(other);
        if (o != nullptr && o->owner == hwnd && !o->destroying) DestroyWindow(other);
    }
    if (w->isChild() && (w->exStyle & WS_EX_NOPARENTNOTIFY) == 0 && w->parent != nullptr) {
        send(w->parent->handle, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, static_cast<WORD>(w->id)),
             reinterpret_cast<LPARAM>(hwnd));
    }
    if (w->destroyed) return TRUE;
    sendDestroy(w.get());
    if (!w->destroyed) releaseWindow(w);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return lookup(hwnd) != nullptr ? TRUE : FALSE;
}

HWND GetDesktopWindow() {
    return desktop()->handle;
}

HWND GetParent(HWND hwnd) {
    Window* w = lookup(hwnd);
    if (w == nullptr) return nullptr;
    if (w->isChild()) return w->parent->handle;
    return (w->style & WS_POPUP) != 0 ? w->owner : nullptr;
}

HWND GetAncestor(HWND hwnd, UINT relation) {
    Window* w = lookup(hwnd);
    if (w == nullptr || w == desktop()) return nullptr;
    switch (relation) {
    case GA_PARENT:
        return w->parent->handle;
    case GA_ROOT:
        return rootOf(w)->handle;
    case GA_ROOTOWNER: {
        Window* r = rootOf(w);
        while (Window* o = lookup(r->owner))
            r = rootOf(o);
        return r->handle;
    }
    default:
        return nullptr;
    }
}

HWND GetWindow(HWND hwnd, UINT relation) {
    Window* w = lookup(hwnd);
    if (w == nullptr) return nullptr;
    if (relation == GW_CHILD) return w->children.empty() ? nullptr : w->children.front()->handle;
    if (relation == GW_OWNER) return w->owner;
    if (w->parent == nullptr) return nullptr;
    const auto& siblings = w->parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), w);
    switch (relation) {
    case GW_HWNDFIRST:
        return siblings.front()->handle;
    case GW_HWNDLAST:
        return siblings.back()->handle;
    case GW_HWNDNEXT:
        return it + 1 != siblings.end() ? (*(it + 1))->handle : nullptr;
    case GW_HWNDPREV:
        return it != siblings.begin() ? (*(it - 1))->handle : nullptr;
    default:
        return nullptr;
    }
}

HWND GetTopWindow(HWND hwnd) {
    Window* w = hwnd != nullptr ? lookup(hwnd) : desktop();
    if (w == nullptr || w->children.empty()) return nullptr;
    return w->children.front()->handle;
}

BOOL IsChild(HWND parent, HWND hwnd) {
    Window* p = lookup(parent);
    Window* w = lookup(hwnd);
    if (p == nullptr || w == nullptr) return FALSE;
    for (; w != nullptr && w->isChild(); w = w->parent) {
        if (w->parent == p) return TRUE;
    }
    return FALSE;
}

HWND GetDlgItem(HWND dialog, int id) {
    Window* w = lookup(dialog);
    if (w == nullptr) return nullptr;
    for (Window* child : w->children) {
        if (static_cast<int>(child->id) == id) return child->handle;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    Window* w = lookup(hwnd);
    return w != nullptr && w->isChild() ? static_cast<int>(w->id) : 0;
}

BOOL IsWindowVisible(HWND hwnd) {
    Window* w = lookup(hwnd);
    return w != nullptr && isShown(w) ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    Window* w = lookup(hwnd);
    return w != nullptr && (w->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    Window* w = lookup(hwnd);
    if (w == nullptr || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = {0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    Window* w = lookup(hwnd);
    if (w == nullptr || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = windowRectOnScreen(w);
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    Window* w = lookup(hwnd);
    if (w == nullptr || point == nullptr) return FALSE;
    POINT o = clientOrigin(w);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    Window* w = lookup(hwnd);
    if (w == nullptr || point == nullptr) return FALSE;
    POINT o = clientOrigin(w);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, POINT* points, UINT count) {
    POINT a{0, 0}, b{0, 0};
    if (from != nullptr) {
        Window* w = lookup(from);
        if (w == nullptr) return 0;
        a = clientOrigin(w);
    }
    if (to != nullptr) {
        Window* w = lookup(to);
        if (w == nullptr) return 0;
        b = clientOrigin(w);
    }
    int dx = a.x - b.x, dy = a.y - b.y;
    for (UINT i = 0; points != nullptr && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    Window* w = lookup(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWL_STYLE:
        return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_ID:
        return static_cast<LONG_PTR>(w->id);
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->isChild() ? w->parent->handle : w->owner);
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR v;
    std::copy_n(w->extra.data() + index, sizeof v, reinterpret_cast<BYTE*>(&v));
    return v;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    Window* w = lookup(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = GetWindowLongPtrA(hwnd, index);
    switch (index) {
    case GWL_STYLE:
    case GWL_EXSTYLE: {
        STYLESTRUCT change{static_cast<DWORD>(old), static_cast<DWORD>(value)};
        if (index == GWL_STYLE)
            w->style = static_cast<DWORD>(value);
        else
            w->exStyle = static_cast<DWORD>(value);
        send(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&change));
        return old;
    }
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_ID:
        w->id = static_cast<UINT_PTR>(value);
        return old;
    case GWLP_USERDATA:
        w->userData = value;
        return old;
    case GWLP_HINSTANCE:
        w->instance = reinterpret_cast<HINSTANCE>(value);
        return old;
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::copy_n(reinterpret_cast<const BYTE*>(&value), sizeof value, w->extra.data() + index);
    return old;
}

LONG GetWindowLongA(HWND hwnd, int index) {
    Window* w = lookup(hwnd);
    if (w != nullptr && index >= 0) {
        if (static_cast<std::size_t>(index) + sizeof(LONG) > w->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG v;
        std::copy_n(w->extra.data() + index, sizeof v, reinterpret_cast<BYTE*>(&v));
        return v;
    }
    return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
    Window* w = lookup(hwnd);
    if (w != nullptr && index >= 0) {
        if (static_cast<std::size_t>(index) + sizeof(LONG) > w->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG old;
        std::copy_n(w->extra.data() + index, sizeof old, reinterpret_cast<BYTE*>(&old));
        std::copy_n(reinterpret_cast<const BYTE*>(&value), sizeof value, w->extra.data() + index);
        return old;
    }
    LONG_PTR v = index == GWL_STYLE || index == GWL_EXSTYLE
                     ? static_cast<LONG_PTR>(static_cast<DWORD>(value))
                     : static_cast<LONG_PTR>(value);
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, v));
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int size) {
    if (buffer == nullptr || size <= 0 || lookup(hwnd) == nullptr) return 0;
    buffer[0] = '\0';
    return static_cast<int>(
        send(hwnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
    return static_cast<int>(send(hwnd, WM_GETTEXTLENGTH));
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    if (lookup(hwnd) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

HHOOK SetWindowsHookExA(int kind, HOOKPROC proc, HINSTANCE, DWORD threadId) {
    if (kind != WH_CBT || proc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HHOOK h = reinterpret_cast<HHOOK>(g_nextHook++);
    hooks().insert(hooks().begin(), Hook{h, proc, threadId != 0 ? threadId : currentThread()});
    return h;
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
    auto& v = hooks();
    auto it = std::find_if(v.begin(), v.end(), [hook](const Hook& h) { return h.handle == hook; });
    if (it == v.end()) return FALSE;
    v.erase(it);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
    auto& v = hooks();
    auto it = std::find_if(v.begin(), v.end(), [hook](const Hook& h) { return h.handle == hook; });
    if (it == v.end()) return 0;
    DWORD me = currentThread();
    for (++it; it != v.end(); ++it) {
        if (it->thread == me) return it->proc(code, wParam, lParam);
    }
    return 0;
}

} // extern "C"
