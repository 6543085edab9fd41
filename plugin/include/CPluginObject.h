// The object interface that the host drives: one table of virtual operations, in slot order.
// Host and plug-in share this declaration, so the host calls operations by name, never by slot.
#pragma once

#include "win32/win32.h"

struct lua_State;

class CPluginObject {
public:
    CPluginObject();
    virtual ~CPluginObject();

    virtual SIZE GetDefaultSize();
    virtual int GetFlagA();
    virtual HWND GetWindowHandle();
    virtual void PositionDesignWindow(int ignored, HWND parent, int left, int top, int right,
                                      int bottom, int show, int ignored2);
    virtual void PositionRunWindow(int ignored, HWND parent, int left, int top, int right,
                                   int bottom, int visible, int enabled);
    virtual void DestroyObjectWindow();
    virtual int GetProperties(char* buffer, int* length);
    virtual void SetProperties(char* text);
    virtual int ShowPropertiesDialog(const char* helpFolder);
    virtual int GetEventInfo(int index, char* buffer);
    virtual int GetEventCount();
    virtual int SetLuaState(lua_State* L);
    virtual int GetFlagB();
    virtual int GetFlagC();
    virtual int GetFlagD();
    virtual int GetFlagE();
    virtual void FocusWindow();
    virtual void ShowObjectWindow(int show);
    virtual void Reserved1(int, int, int, int, int, int, int);
    virtual void Reserved2(int, int, int, int, int, int, int);
    virtual void Reserved3(int, int, int, int, int, int, int);
    virtual void Reserved4(int, int, int, int, int, int, int);
    virtual void Reserved5(int, int, int, int, int, int, int);
    virtual void Reserved6(int, int, int, int, int, int, int);
    virtual void Reserved7(int, int, int, int, int, int, int);
    virtual void Reserved8(int, int, int, int, int, int, int);

    void FireEvent(const char* eventName, const char* argumentText);
    int GetTypeName(char* buffer, int* length);

protected:
    lua_State* m_luaState;
    char m_typeString[100];
};
