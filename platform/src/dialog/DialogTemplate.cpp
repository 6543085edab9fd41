// Reading dialog templates and initialisation data written as a resource script writes them.
#include "dialog/DialogTemplate.h"
#include "win32/commonctrls.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>

namespace winplat::dialog {
namespace {

const std::map<std::string, DWORD>& styleNames() {
    static const std::map<std::string, DWORD> names = {
        {"WS_POPUP", WS_POPUP},
        {"WS_CHILD", WS_CHILD},
        {"WS_VISIBLE", WS_VISIBLE},
        {"WS_DISABLED", WS_DISABLED},
        {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
        {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
        {"WS_CAPTION", WS_CAPTION},
        {"WS_BORDER", WS_BORDER},
        {"WS_DLGFRAME", WS_DLGFRAME},
        {"WS_VSCROLL", WS_VSCROLL},
        {"WS_HSCROLL", WS_HSCROLL},
        {"WS_SYSMENU", WS_SYSMENU},
        {"WS_THICKFRAME", WS_THICKFRAME},
        {"WS_GROUP", WS_GROUP},
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE},
        {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
        {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME},
        {"WS_EX_TOOLWINDOW", WS_EX_TOOLWINDOW},
        {"WS_EX_TOPMOST", WS_EX_TOPMOST},
        {"DS_ABSALIGN", DS_ABSALIGN},
        {"DS_SYSMODAL", DS_SYSMODAL},
        {"DS_SETFONT", DS_SETFONT},
        {"DS_MODALFRAME", DS_MODALFRAME},
        {"DS_NOIDLEMSG", DS_NOIDLEMSG},
        {"DS_SETFOREGROUND", DS_SETFOREGROUND},
        {"DS_3DLOOK", DS_3DLOOK},
        {"DS_CONTROL", DS_CONTROL},
        {"DS_CENTER", DS_CENTER},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
        {"BS_CHECKBOX", BS_CHECKBOX},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"BS_GROUPBOX", BS_GROUPBOX},
        {"BS_OWNERDRAW", BS_OWNERDRAW},
        {"BS_LEFTTEXT", BS_LEFTTEXT},
        {"SS_LEFT", SS_LEFT},
        {"SS_CENTER", SS_CENTER},
        {"SS_RIGHT", SS_RIGHT},
        {"SS_NOPREFIX", SS_NOPREFIX},
        {"SS_NOTIFY", SS_NOTIFY},
        {"ES_LEFT", ES_LEFT},
        {"ES_NUMBER", ES_NUMBER},
        {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
        {"ES_READONLY", ES_READONLY},
        {"CBS_SIMPLE", CBS_SIMPLE},
        {"CBS_DROPDOWN", CBS_DROPDOWN},
        {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
        {"CBS_SORT", CBS_SORT},
        {"CBS_HASSTRINGS", CBS_HASSTRINGS},
        {"UDS_WRAP", UDS_WRAP},
        {"UDS_SETBUDDYINT", UDS_SETBUDDYINT},
        {"UDS_ALIGNRIGHT", UDS_ALIGNRIGHT},
        {"UDS_ALIGNLEFT", UDS_ALIGNLEFT},
        {"UDS_AUTOBUDDY", UDS_AUTOBUDDY},
        {"UDS_ARROWKEYS", UDS_ARROWKEYS},
        {"UDS_HORZ", UDS_HORZ},
        {"UDS_NOTHOUSANDS", UDS_NOTHOUSANDS},
    };
    return names;
}

// The words of one statement: names, numbers, strings (kept with their quotes), commas and |.
class Scanner {
public:
    explicit Scanner(const std::string& line) : m_line(line) {}

    bool atEnd() {
        skipSpace();
        return m_at >= m_line.size();
    }
    bool take(char c) {
        skipSpace();
        if (m_at < m_line.size() && m_line[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool word(std::string* out) {
        skipSpace();
        const std::size_t start = m_at;
        while (m_at < m_line.size() &&
               (std::isalnum(static_cast<unsigned char>(m_line[m_at])) || m_line[m_at] == '_' ||
                m_line[m_at] == '-' || m_line[m_at] == '+'))
            ++m_at;
        *out = m_line.substr(start, m_at - start);
        return !out->empty();
    }
    bool quoted(std::string* out) {
        skipSpace();
        if (m_at >= m_line.size() || m_line[m_at] != '"') return false;
        out->clear();
        for (++m_at; m_at < m_line.size(); ++m_at) {
            if (m_line[m_at] == '\\' && m_at + 1 < m_line.size()) {
                const char next = m_line[++m_at];
                out->push_back(next == 'n' ? '\n' : next == 't' ? '\t' : next);
                continue;
            }
            if (m_line[m_at] != '"') {
                out->push_back(m_line[m_at]);
                continue;
            }
            if (m_at + 1 < m_line.size() && m_line[m_at + 1] == '"') {
                out->push_back('"');
                ++m_at;
                continue;
            }
            ++m_at;
            return true;
        }
        return false;
    }
    bool number(int* out) {
        std::string w;
        if (!word(&w)) return false;
        char* end = nullptr;
        const long v = std::strtol(w.c_str(), &end, 0);
        if (end == nullptr || *end != '\0') return false;
        *out = static_cast<int>(v);
        return true;
    }
    // Names and numbers joined with |; NOT before a name takes its bits away.
    bool styles(DWORD* value, DWORD* removed) {
        *value = 0;
        if (removed != nullptr) *removed = 0;
        do {
            std::string w;
            if (!word(&w)) return false;
            bool negate = false;
            if (w == "NOT") {
                negate = true;
                if (!word(&w)) return false;
            }
            DWORD bits = 0;
            auto named = styleNames().find(w);
            if (named != styleNames().end()) {
                bits = named->second;
            } else {
                char* end = nullptr;
                bits = static_cast<DWORD>(std::strtoul(w.c_str(), &end, 0));
                if (end == nullptr || *end != '\0') return false;
            }
            if (negate && removed != nullptr)
                *removed |= bits;
            else
                *value |= bits;
        } while (take('|'));
        return true;
    }

private:
    void skipSpace() {
        while (m_at < m_line.size() && std::isspace(static_cast<unsigned char>(m_line[m_at])))
            ++m_at;
    }
    const std::string& m_line;
    std::size_t m_at = 0;
};

bool fourNumbers(Scanner& s, int* a, int* b, int* c, int* d) {
    return s.number(a) && s.take(',') && s.number(b) && s.take(',') && s.number(c) && s.take(',') &&
           s.number(d);
}

bool readControl(Scanner& s, DialogItem* item) {
    DWORD removed = 0;
    if (!s.quoted(&item->text) || !s.take(',') || !s.number(&item->id) || !s.take(',') ||
        !s.quoted(&item->className) || !s.take(',') || !s.styles(&item->style, &removed) ||
        !s.take(',') || !fourNumbers(s, &item->x, &item->y, &item->cx, &item->cy))
        return false;
    item->id &= 0xFFFF;
    item->style = (item->style | WS_CHILD | WS_VISIBLE) & ~removed;
    if (s.take(',') && !s.styles(&item->exStyle, nullptr)) return false;
    return s.atEnd();
}

bool fail(std::string* error, const std::string& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

template <class Statement> bool eachStatement(const char* text, std::string* error, Statement&& f) {
    if (text == nullptr) return fail(error, "no template");
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line.compare(first, 2, "//") == 0) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!f(line)) return fail(error, "cannot read: " + line);
    }
    return true;
}

} // namespace

bool parseDialogTemplate(const char* text, DialogTemplate* out, std::string* error) {
    *out = DialogTemplate{};
    bool sawDialog = false;
    const bool ok = eachStatement(text, error, [&](const std::string& line) {
        Scanner s(line);
        std::string keyword;
        if (!s.word(&keyword)) return false;
        if (keyword == "DIALOG") {
            sawDialog = true;
            return fourNumbers(s, &out->x, &out->y, &out->cx, &out->cy) && s.atEnd();
        }
        if (keyword == "STYLE") return s.styles(&out->style, nullptr) && s.atEnd();
        if (keyword == "EXSTYLE") return s.styles(&out->exStyle, nullptr) && s.atEnd();
        if (keyword == "CAPTION") return s.quoted(&out->caption) && s.atEnd();
        if (keyword == "CLASS") return s.quoted(&out->className) && s.atEnd();
        if (keyword == "FONT")
            return s.number(&out->pointSize) && s.take(',') && s.quoted(&out->face) && s.atEnd();
        if (keyword == "CONTROL") {
            DialogItem item;
            if (!readControl(s, &item)) return false;
            out->items.push_back(item);
            return true;
        }
        return false;
    });
    if (!ok) return false;
    if (!sawDialog) return fail(error, "no DIALOG statement");
    if (out->cx < 0 || out->cy < 0) return fail(error, "negative dialog size");
    return true;
}

bool parseDialogInit(const char* text, std::vector<InitEntry>* out, std::string* error) {
    out->clear();
    return eachStatement(text, error, [&](const std::string& line) {
        Scanner s(line);
        InitEntry e;
        std::string message;
        if (!s.number(&e.id) || !s.take(',') || !s.word(&message) || !s.take(',') ||
            !s.quoted(&e.text) || !s.atEnd())
            return false;
        if (message != "CB_ADDSTRING") return false;
        e.message = CB_ADDSTRING;
        e.id &= 0xFFFF;
        out->push_back(e);
        return true;
    });
}

} // namespace winplat::dialog
