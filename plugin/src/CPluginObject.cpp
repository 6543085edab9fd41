#include "CPluginObject.h"

#include "HostGlue.h"
#include "StringOut.h"

#include <cstring>

CPluginObject::CPluginObject() : m_luaState(nullptr), m_typeString{} {}

CPluginObject::~CPluginObject() = default;

SIZE CPluginObject::GetDefaultSize() {
    return {100, 100};
}
int CPluginObject::GetFlagA() {
    return 0;
}
HWND CPluginObject::GetWindowHandle() {
    return nullptr;
}
void CPluginObject::PositionDesignWindow(int, HWND, int, int, int, int, int, int) {}
void CPluginObject::PositionRunWindow(int, HWND, int, int, int, int, int, int) {}
void CPluginObject::DestroyObjectWindow() {}
int CPluginObject::GetProperties(char* buffer, int* length) {
    return gallimo::copyStringOut("", buffer, length);
}
void CPluginObject::SetProperties(char*) {}
int CPluginObject::ShowPropertiesDialog(const char*) {
    return 1;
}
int CPluginObject::GetEventInfo(int, char*) {
    return 0;
}
int CPluginObject::GetEventCount() {
    return 0;
}
int CPluginObject::SetLuaState(lua_State* L) {
    m_luaState = L;
    return 0;
}
int CPluginObject::GetFlagB() {
    return 1;
}
int CPluginObject::GetFlagC() {
    return 1;
}
int CPluginObject::GetFlagD() {
    return 1;
}
int CPluginObject::GetFlagE() {
    return 0;
}
void CPluginObject::FocusWindow() {}
void CPluginObject::ShowObjectWindow(int) {}
void CPluginObject::Reserved1(int, int, int, int, int, int, int) {}
void CPluginObject::Reserved2(int, int, int, int, int, int, int) {}
void CPluginObject::Reserved3(int, int, int, int, int, int, int) {}
void CPluginObject::Reserved4(int, int, int, int, int, int, int) {}
void CPluginObject::Reserved5(int, int, int, int, int, int, int) {}
void CPluginObject::Reserved6(int, int, int, int, int, int, int) {}
void CPluginObject::Reserved7(int, int, int, int, int, int, int) {}
void CPluginObject::Reserved8(int, int, int, int, int, int, int) {}

void CPluginObject::FireEvent(const char* eventName, const char* argumentText) {
    if (m_luaState == nullptr) return;
    gallimo::FireHostEvent(m_luaState, this, eventName, argumentText);
}

int CPluginObject::GetTypeName(char* buffer, int* length) {
    return gallimo::copyStringOut(m_typeString, buffer, length);
}
