// CObject and run-time classes. Classes are listed by their modules' static initialisation
// and taken off again when a module unloads, so that FromName never returns a dangling class.
#include "mfc/object.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

std::mutex g_classLock;
std::vector<CRuntimeClass*>& registeredClasses() {
    static auto* v = new std::vector<CRuntimeClass*>;
    return *v;
}

} // namespace

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};
static const AFX_CLASSINIT g_initCObject(&CObject::classCObject);

CRuntimeClass* CObject::GetRuntimeClass() const {
    return &classCObject;
}

BOOL CObject::IsKindOf(const CRuntimeClass* cls) const {
    return GetRuntimeClass()->IsDerivedFrom(cls);
}

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject != nullptr ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    if (base == nullptr) return FALSE;
    for (const CRuntimeClass* c = this; c != nullptr; c = c->m_pBaseClass) {
        if (c == base) return TRUE;
    }
    return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR className) {
    if (className == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(g_classLock);
    for (CRuntimeClass* c : registeredClasses()) {
        if (std::strcmp(c->m_lpszClassName, className) == 0) return c;
    }
    return nullptr;
}

AFX_CLASSINIT::AFX_CLASSINIT(CRuntimeClass* cls) : m_class(cls) {
    std::lock_guard<std::mutex> guard(g_classLock);
    registeredClasses().push_back(cls);
}

AFX_CLASSINIT::~AFX_CLASSINIT() {
    std::lock_guard<std::mutex> guard(g_classLock);
    auto& v = registeredClasses();
    v.erase(std::remove(v.begin(), v.end(), m_class), v.end());
}
