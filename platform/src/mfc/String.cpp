// CString over std::string.
#include "mfc/string.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

bool inRange(const std::string& s, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < s.size();
}

} // namespace

CString::CString(LPCSTR text, int length) {
    if (text != nullptr && length > 0)
        m_text.assign(text, strnlen(text, static_cast<std::size_t>(length)));
}

CString::CString(char ch, int repeat) {
    if (repeat > 0) m_text.assign(static_cast<std::size_t>(repeat), ch);
}

CString& CString::operator=(LPCSTR text) {
    m_text = text != nullptr ? text : "";
    return *this;
}

CString& CString::operator=(char ch) {
    m_text.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& other) {
    m_text += other.m_text;
    return *this;
}

CString& CString::operator+=(LPCSTR text) {
    if (text != nullptr) m_text += text;
    return *this;
}

CString& CString::operator+=(char ch) {
    m_text += ch;
    return *this;
}

char CString::GetAt(int index) const {
    return inRange(m_text, index) ? m_text[static_cast<std::size_t>(index)] : '\0';
}

void CString::SetAt(int index, char ch) {
    if (inRange(m_text, index)) m_text[static_cast<std::size_t>(index)] = ch;
}

int CString::Compare(LPCSTR text) const {
    return std::strcmp(m_text.c_str(), text != nullptr ? text : "");
}

int CString::CompareNoCase(LPCSTR text) const {
    return strcasecmp(m_text.c_str(), text != nullptr ? text : "");
}

int CString::Find(char ch, int start) const {
    if (start < 0) start = 0;
    if (static_cast<std::size_t>(start) >= m_text.size()) return -1;
    auto at = m_text.find(ch, static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCSTR text, int start) const {
    if (text == nullptr) return -1;
    if (start < 0) start = 0;
    if (static_cast<std::size_t>(start) > m_text.size()) return -1;
    auto at = m_text.find(text, static_cast<std::size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char ch) const {
    auto at = m_text.rfind(ch);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::FindOneOf(LPCSTR characters) const {
    if (characters == nullptr) return -1;
    auto at = m_text.find_first_of(characters);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(0, static_cast<std::size_t>(count)).c_str());
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(m_text.size() - static_cast<std::size_t>(count)).c_str());
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    CString out;
    out.m_text = m_text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count));
    return out;
}

CString& CString::MakeUpper() {
    for (char& c : m_text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeLower() {
    for (char& c : m_text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(m_text.begin(), m_text.end());
    return *this;
}

CString& CString::TrimLeft() {
    std::size_t n = 0;
    while (n < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[n])))
        ++n;
    m_text.erase(0, n);
    return *this;
}

CString& CString::TrimRight() {
    while (!m_text.empty() && std::isspace(static_cast<unsigned char>(m_text.back())))
        m_text.pop_back();
    return *this;
}

CString& CString::Trim() {
    return TrimRight().TrimLeft();
}

int CString::Replace(LPCSTR from, LPCSTR to) {
    if (from == nullptr || from[0] == '\0') return 0;
    std::string replacement = to != nullptr ? to : "";
    std::size_t fromLength = std::strlen(from);
    int count = 0;
    for (std::size_t at = m_text.find(from); at != std::string::npos;
         at = m_text.find(from, at + replacement.size())) {
        m_text.replace(at, fromLength, replacement);
        ++count;
    }
    return count;
}

int CString::Replace(char from, char to) {
    int count = 0;
    for (char& c : m_text) {
        if (c == from) {
            c = to;
            ++count;
        }
    }
    return count;
}

int CString::Remove(char ch) {
    auto end = std::remove(m_text.begin(), m_text.end(), ch);
    int count = static_cast<int>(m_text.end() - end);
    m_text.erase(end, m_text.end());
    return count;
}

int CString::Insert(int index, LPCSTR text) {
    if (text != nullptr) {
        index = std::clamp(index, 0, GetLength());
        m_text.insert(static_cast<std::size_t>(index), text);
    }
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index >= 0 && index < GetLength() && count > 0)
        m_text.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(count));
    return GetLength();
}

void CString::Format(LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCSTR format, va_list args) {
    if (format == nullptr) {
        m_text.clear();
        return;
    }
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0) {
        m_text.clear();
        return;
    }
    std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    m_text.assign(buffer.data(), static_cast<std::size_t>(n));
}

void CString::AppendFormat(LPCSTR format, ...) {
    CString more;
    va_list args;
    va_start(args, format);
    more.FormatV(format, args);
    va_end(args);
    m_text += more.m_text;
}

LPSTR CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) m_text.resize(static_cast<std::size_t>(minLength));
    return m_text.data();
}

LPSTR CString::GetBufferSetLength(int length) {
    m_text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) {
        m_text.resize(std::strlen(m_text.c_str()));
    } else if (static_cast<std::size_t>(newLength) <= m_text.size()) {
        m_text.resize(static_cast<std::size_t>(newLength));
    }
}

CString operator+(const CString& a, const CString& b) {
    CString out(a);
    out += b;
    return out;
}

CString operator+(const CString& a, LPCSTR b) {
    CString out(a);
    out += b;
    return out;
}

CString operator+(LPCSTR a, const CString& b) {
    CString out(a);
    out += b;
    return out;
}

CString operator+(const CString& a, char b) {
    CString out(a);
    out += b;
    return out;
}

bool operator==(const CString& a, const CString& b) {
    return a.Compare(b) == 0;
}
bool operator==(const CString& a, LPCSTR b) {
    return a.Compare(b) == 0;
}
bool operator==(LPCSTR a, const CString& b) {
    return b.Compare(a) == 0;
}
bool operator!=(const CString& a, const CString& b) {
    return !(a == b);
}
bool operator!=(const CString& a, LPCSTR b) {
    return !(a == b);
}
bool operator!=(LPCSTR a, const CString& b) {
    return !(a == b);
}
bool operator<(const CString& a, const CString& b) {
    return a.Compare(b) < 0;
}
