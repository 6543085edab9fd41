// Message maps and CCmdTarget. A map is a table of entries, each naming a message (or a
// command or notification code and a range of control identifiers) and a small function that
// unpacks the message's parameters and calls the handler of the class that wrote the map.
// A class's map ends by pointing at its base class's map, so lookups walk up the hierarchy.
#pragma once

#include "mfc/object.h"
#include "win32/user.h"

#ifndef afx_msg
#define afx_msg
#endif

class CCmdTarget;

// Unpacks and calls one handler; false when the handler declined the message (the _EX forms).
using AFX_PMSG = bool (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage; // the message, or WM_COMMAND, WM_NOTIFY, or a reflected form
    UINT nCode;    // the command or notification code
    UINT nID;      // first control identifier
    UINT nLastID;  // last control identifier
    AFX_PMSG pfn;  // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Notifications and commands come back to the control that sent them as these messages.
#define WM_REFLECT_BASE 0xBC00

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    CCmdTarget() = default;

    // The first entry of this object's maps that matches, walking from its class to the root.
    const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id) const;
    // Runs the handler that matches a command or notification; false when there is none or it
    // declined.
    virtual BOOL OnCmdMsg(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam,
                          LRESULT* result);

    void BeginWaitCursor();
    void EndWaitCursor();
    void RestoreWaitCursor();

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

#define DECLARE_MESSAGE_MAP()                                                                      \
protected:                                                                                         \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        using ThisClass = theClass;                                                                \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, 0, nullptr }                                                                        \
    }                                                                                              \
    ;                                                                                              \
    static_assert(sizeof(ThisClass) > 0, "the map's class is complete");                           \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};  \
    return &messageMap;                                                                            \
    }

// The handler's class, seen from inside a map.
#define AFX_THIS(target) static_cast<ThisClass*>(target)

// LRESULT fn(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn)                                                             \
    {static_cast<UINT>(message), 0, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l, LRESULT* r) {      \
         *r = AFX_THIS(t)->memberFxn(w, l);                                                        \
         return true;                                                                              \
     }},

// void fn(): WM_COMMAND with the code 0 from control or menu item `id`.
#define ON_COMMAND(id, memberFxn) ON_CONTROL(0, id, memberFxn)

// void fn(): WM_COMMAND with `code` from control `id`.
#define ON_CONTROL(code, id, memberFxn)                                                            \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),            \
     [](CCmdTarget* t, WPARAM, LPARAM, LRESULT*) {                                                 \
         AFX_THIS(t)->memberFxn();                                                                 \
         return true;                                                                              \
     }},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)

// void fn(): the control's own WM_COMMAND notification `code`, reflected back to it.
#define ON_CONTROL_REFLECT(code, memberFxn)                                                        \
    {WM_REFLECT_BASE + WM_COMMAND, static_cast<UINT>(code), 0, 0,                                  \
     [](CCmdTarget* t, WPARAM, LPARAM, LRESULT*) {                                                 \
         AFX_THIS(t)->memberFxn();                                                                 \
         return true;                                                                              \
     }},

// BOOL fn(): as above, and the parent sees the notification too unless fn returns TRUE.
#define ON_CONTROL_REFLECT_EX(code, memberFxn)                                                     \
    {WM_REFLECT_BASE + WM_COMMAND, static_cast<UINT>(code), 0, 0,                                  \
     [](CCmdTarget* t, WPARAM, LPARAM, LRESULT*) { return AFX_THIS(t)->memberFxn() != FALSE; }},

// void fn(NMHDR*, LRESULT*): WM_NOTIFY with `code` from control `id`.
#define ON_NOTIFY(code, id, memberFxn)                                                             \
    {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),             \
     [](CCmdTarget* t, WPARAM, LPARAM l, LRESULT* r) {                                             \
         AFX_THIS(t)->memberFxn(reinterpret_cast<NMHDR*>(l), r);                                   \
         return true;                                                                              \
     }},

// void fn(NMHDR*, LRESULT*): the control's own notification `code`, reflected back to it; the
// parent does not see it.
#define ON_NOTIFY_REFLECT(code, memberFxn)                                                         \
    {WM_REFLECT_BASE + WM_NOTIFY, static_cast<UINT>(code), 0, 0,                                   \
     [](CCmdTarget* t, WPARAM, LPARAM l, LRESULT* r) {                                             \
         AFX_THIS(t)->memberFxn(reinterpret_cast<NMHDR*>(l), r);                                   \
         return true;                                                                              \
     }},

// BOOL fn(NMHDR*, LRESULT*): as above, and the parent sees it too unless fn returns TRUE.
#define ON_NOTIFY_REFLECT_EX(code, memberFxn)                                                      \
    {WM_REFLECT_BASE + WM_NOTIFY, static_cast<UINT>(code), 0, 0,                                   \
     [](CCmdTarget* t, WPARAM, LPARAM l, LRESULT* r) {                                             \
         return AFX_THIS(t)->memberFxn(reinterpret_cast<NMHDR*>(l), r) != FALSE;                   \
     }},
