// The per-thread queue. Retrieval follows the system's order: posted messages, then the quit
// request, then input, then WM_PAINT for a window that waits for it.
#include "user/WindowSystem.h"
#include "winplat/input.h"

#include <cctype>
#include <deque>
#include <mutex>
#include <unordered_map>

using namespace winplat::user;

namespace {

struct ThreadQueue {
    std::deque<MSG> posted;
    bool quit = false;
    int quitCode = 0;
};

std::mutex g_queueLock;
std::unordered_map<DWORD, ThreadQueue>& queues() {
    static auto* q = new std::unordered_map<DWORD, ThreadQueue>;
    return *q;
}

thread_local POINT t_messagePos{0, 0};
thread_local DWORD t_messageTime = 0;

WinplatInputFeeder g_feeder = nullptr;
void* g_feederContext = nullptr;

bool takePosted(MSG* msg, HWND filter, UINT first, UINT last, bool remove) {
    std::lock_guard<std::mutex> guard(g_queueLock);
    auto& posted = queues()[currentThread()].posted;
    for (auto it = posted.begin(); it != posted.end(); ++it) {
        if (!matchesFilter(filter, it->hwnd) || !inRange(it->message, first, last)) continue;
        *msg = *it;
        if (remove) posted.erase(it);
        return true;
    }
    return false;
}

bool takeQuit(MSG* msg, bool remove) {
    std::lock_guard<std::mutex> guard(g_queueLock);
    ThreadQueue& q = queues()[currentThread()];
    if (!q.quit) return false;
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, winplatInputClock(), {}};
    if (remove) q.quit = false;
    return true;
}

// The character a key makes on a US keyboard, or 0.
char characterOf(UINT vk, bool shift, bool control) {
    if (vk >= 'A' && vk <= 'Z') {
        if (control) return static_cast<char>(vk - 'A' + 1);
        bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
        return static_cast<char>(shift != caps ? vk : std::tolower(static_cast<int>(vk)));
    }
    if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : static_cast<char>(vk);
    switch (vk) {
    case VK_SPACE:
        return ' ';
    case VK_RETURN:
        return '\r';
    case VK_TAB:
        return '\t';
    case VK_BACK:
        return '\b';
    case VK_ESCAPE:
        return 27;
    default:
        return 0;
    }
}

} // namespace

namespace winplat::user {

bool matchesFilter(HWND filter, HWND hwnd) {
    if (filter == nullptr) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return hwnd == nullptr;
    return hwnd == filter || IsChild(filter, hwnd);
}

bool inRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

void noteRetrieved(const MSG& msg) {
    t_messagePos = msg.pt;
    t_messageTime = msg.time;
}

void purgeQueued(HWND hwnd) {
    std::lock_guard<std::mutex> guard(g_queueLock);
    for (auto& entry : queues()) {
        auto& posted = entry.second.posted;
        for (auto it = posted.begin(); it != posted.end();) {
            it = it->hwnd == hwnd ? posted.erase(it) : it + 1;
        }
    }
}

} // namespace winplat::user

extern "C" {

void winplatSetInputFeeder(WinplatInputFeeder feeder, void* context) {
    g_feeder = feeder;
    g_feederContext = context;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD thread = currentThread();
    if (hwnd != nullptr) {
        Window* w = lookup(hwnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w != desktop()) thread = w->thread;
    }
    POINT pt;
    GetCursorPos(&pt);
    std::lock_guard<std::mutex> guard(g_queueLock);
    queues()[thread].posted.push_back(MSG{hwnd, message, wParam, lParam, winplatInputClock(), pt});
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    std::lock_guard<std::mutex> guard(g_queueLock);
    ThreadQueue& q = queues()[currentThread()];
    q.quit = true;
    q.quitCode = exitCode;
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT first, UINT last, UINT remove) {
    if (msg == nullptr) return FALSE;
    bool take = (remove & PM_REMOVE) != 0;
    bool got = takePosted(msg, hwnd, first, last, take) || takeQuit(msg, take) ||
               takeInputMessage(msg, hwnd, first, last, take);
    if (!got && inRange(WM_PAINT, first, last)) {
        if (HWND target = windowToPaint(hwnd)) {
            POINT pt;
            GetCursorPos(&pt);
            *msg = MSG{target, WM_PAINT, 0, 0, winplatInputClock(), pt};
            got = true;
        }
    }
    if (got && take) noteRetrieved(*msg);
    return got ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT first, UINT last) {
    if (msg == nullptr) return -1;
    for (;;) {
        if (PeekMessageA(msg, hwnd, first, last, PM_REMOVE)) return msg->message != WM_QUIT;
        if (g_feeder == nullptr || !g_feeder(g_feederContext)) break;
    }
    *msg = MSG{nullptr, WM_QUIT, 0, 0, winplatInputClock(), {}};
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) return 0;
    auto w = hold(msg->hwnd);
    if (!w || w->proc == nullptr) return 0;
    return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return FALSE;
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool control = GetKeyState(VK_CONTROL) < 0;
    char c = characterOf(static_cast<UINT>(msg->wParam), shift, control);
    if (c == 0) return FALSE;
    PostMessageA(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR,
                 static_cast<unsigned char>(c), msg->lParam);
    return TRUE;
}

DWORD GetMessagePos() {
    return static_cast<DWORD>(
        MAKELONG(static_cast<WORD>(t_messagePos.x), static_cast<WORD>(t_messagePos.y)));
}

LONG GetMessageTime() {
    return static_cast<LONG>(t_messageTime);
}

BOOL InSendMessage() {
    return FALSE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto w = hold(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->proc != nullptr ? w->proc(hwnd, message, wParam, lParam) : 0;
}

} // extern "C"
