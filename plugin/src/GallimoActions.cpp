#include "GallimoActions.h"

#include "CGallimoObject.h"
#include "CThumbsListCtrl.h"
#include "HostGlue.h"

#include <climits>
#include <lua.hpp>

namespace gallimo {
namespace {

// The common frame: reset the host's last error, check the arguments, find the object by
// name and make sure it is a thumbnail list; the action's work runs only then.
struct Action {
    lua_State* L;
    const char* name = nullptr;
    CGallimoObject* object = nullptr;
    int code = 0;

    Action(lua_State* state, int required) : L(state) {
        ResetHostLastError(L);
        CheckArgCount(L, required);
        name = CheckStringArg(L, 1);
    }

    bool find() {
        CPluginObject* found = GetPluginObject(L, name);
        char type[1000] = {};
        int length = sizeof type;
        if (found == nullptr || found->GetTypeName(type, &length) < 0 ||
            lstrcmpA(type, "QV_GALLIMO") != 0) {
            code = kNotAGallimoObject;
            return false;
        }
        object = static_cast<CGallimoObject*>(found);
        return true;
    }

    CThumbsListCtrl* list() const { return object->hasWindow() ? object->m_listCtrl : nullptr; }

    int number(int at) const { return getIntegerArg(L, at); }
    // The list view's 0-based index; the lowest script index stays out of range, not wrapped.
    int index(int at) const {
        const int n = number(at);
        return n > INT_MIN ? n - 1 : INT_MIN;
    }

    // Reports the code; the results are pushed after it.
    int finish(int results) {
        SetHostLastError(L, code);
        return results;
    }
};

int itemCount(CThumbsListCtrl* list) {
    return static_cast<int>(list->SendMessage(LVM_GETITEMCOUNT, 0, 0));
}

CThumbItem* itemAt(CThumbsListCtrl* list, int i) {
    return reinterpret_cast<CThumbItem*>(list->GetItemData(i));
}

bool selected(CThumbsListCtrl* list, int i) {
    return (list->SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) &
            LVIS_SELECTED) != 0;
}

struct FileWalk {
    CGallimoObject* object;
    bool withCallback;
    int added;
};

// The walk over the table of files, run under a protected call so that an error raised in it
// (a callback that edits the table gives "invalid key to 'next'") comes back to AddFiles, which
// turns redrawing and the cursor back before passing it on. Arguments: the table, the callback
// or nil, the walk's record.
int walkFiles(lua_State* L) {
    auto* walk = static_cast<FileWalk*>(lua_touserdata(L, 3));
    int running = 1;
    bool go = true;
    lua_pushnil(L);
    while (go && lua_next(L, 1) != 0) {
        CString text;
        text.Format("%s", lua_tostring(L, -1) != nullptr ? lua_tostring(L, -1) : "");
        char path[kPathBuffer];
        ResolveSourcePath(L, text, path);
        if (walk->withCallback) {
            lua_pushvalue(L, 2);
            lua_pushstring(L, path);
            lua_pushnumber(L, running);
            if (lua_pcall(L, 2, 1, 0) == 0 && lua_isboolean(L, -1)) go = lua_toboolean(L, -1) != 0;
            lua_remove(L, -1);
        }
        if (walk->object->AddFile(path) == 0) {
            ++walk->added;
            ++running;
        }
        lua_pop(L, 1);
    }
    return 0;
}

int AddFiles(lua_State* L) {
    Action a(L, 2);
    if (!lua_istable(L, 2)) {
        // Not a table: nothing else happens, not even the object's lookup.
        SetHostLastError(L, 0);
        lua_pushnumber(L, 0);
        return 1;
    }
    const bool withCallback = lua_gettop(L) == 3 && lua_isfunction(L, 3);
    if (!a.find()) {
        a.finish(1);
        lua_pushnumber(L, 0);
        return 1;
    }
    if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(1);
    if (CThumbsListCtrl* list = a.list()) list->SendMessage(WM_SETREDRAW, FALSE, 0);

    FileWalk walk{a.object, withCallback, 0};
    lua_pushcfunction(L, walkFiles);
    lua_pushvalue(L, 2);
    if (withCallback)
        lua_pushvalue(L, 3);
    else
        lua_pushnil(L);
    lua_pushlightuserdata(L, &walk);
    const bool failed = lua_pcall(L, 3, 0, 0) != 0;

    if (CThumbsListCtrl* list = a.list()) {
        list->Refill();
        list->SendMessage(WM_SETREDRAW, TRUE, 0);
        if (list->IsWindowVisible()) {
            const int top = static_cast<int>(list->SendMessage(LVM_GETTOPINDEX, 0, 0));
            const int page = static_cast<int>(list->SendMessage(LVM_GETCOUNTPERPAGE, 0, 0));
            list->SendMessage(LVM_REDRAWITEMS, static_cast<WPARAM>(top), top + page);
        }
    }
    if (CWinApp* app = AfxGetApp()) app->DoWaitCursor(-1);
    if (failed) return lua_error(L); // the walk's error, on the top of the stack
    a.finish(1);
    lua_pushnumber(L, walk.added);
    return 1;
}

int Clear(lua_State* L) {
    Action a(L, 1);
    if (a.find()) {
        a.object->RemoveAllItems();
        a.object->ResetImageList();
        if (CThumbsListCtrl* list = a.list()) list->Refill();
    }
    return a.finish(0);
}

int DeleteItem(lua_State* L) {
    Action a(L, 2);
    if (a.find()) {
        if (CThumbsListCtrl* list = a.list()) {
            const int i = a.index(2), count = itemCount(list);
            if (count > 0 && i >= 0 && i < count) {
                CThumbItem* item = itemAt(list, i);
                if (item != nullptr) {
                    if (POSITION pos = a.object->m_items.Find(item))
                        a.object->m_items.RemoveAt(pos);
                }
                list->SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(i), 0);
                delete item;
            }
            list->CheckSelectionChange();
        }
    }
    return a.finish(0);
}

int GetItemCount(lua_State* L) {
    Action a(L, 1);
    int count = 0;
    if (a.find()) {
        if (CThumbsListCtrl* list = a.list()) count = itemCount(list);
    }
    a.finish(1);
    lua_pushnumber(L, count);
    return 1;
}

int GetItemInfo(lua_State* L) {
    Action a(L, 2);
    CThumbItem* item = nullptr;
    bool isSelected = false;
    int i = -1;
    if (a.find()) {
        if (CThumbsListCtrl* list = a.list()) {
            i = a.index(2);
            if (i >= 0 && i < itemCount(list)) {
                item = itemAt(list, i);
                isSelected = selected(list, i);
            }
        }
    }
    a.finish(1);
    if (item == nullptr) {
        lua_pushnil(L);
        return 1;
    }
    lua_newtable(L);
    auto setNumber = [L](const char* key, double value) {
        lua_pushstring(L, key);
        lua_pushnumber(L, value);
        lua_settable(L, -3);
    };
    auto setString = [L](const char* key, const CString& value) {
        lua_pushstring(L, key);
        lua_pushstring(L, value);
        lua_settable(L, -3);
    };
    setNumber("index", i + 1);
    setString("filename", item->fileName);
    setString("filepath", item->path);
    setString("filetitle", item->fileTitle);
    setString("label", item->label);
    setNumber("image_width", item->imageWidth);
    setNumber("image_height", item->imageHeight);
    setNumber("image_bpp", item->imageBitsPerPixel);
    lua_pushstring(L, "selected");
    lua_pushboolean(L, isSelected ? 1 : 0);
    lua_settable(L, -3);
    return 1;
}

int GetSelectedItems(lua_State* L) {
    Action a(L, 1);
    CDWordArray chosen;
    if (a.find()) {
        if (CThumbsListCtrl* list = a.list()) {
            const int count = itemCount(list);
            for (int i = 0; i < count; ++i)
                if (selected(list, i)) chosen.Add(static_cast<DWORD>(i));
        }
    }
    a.finish(1);
    if (chosen.GetSize() == 0) {
        lua_pushnil(L);
        return 1;
    }
    lua_newtable(L);
    for (INT_PTR k = 0; k < chosen.GetSize(); ++k) {
        lua_pushnumber(L, static_cast<double>(k + 1));
        lua_pushnumber(L, chosen[k] + 1.0);
        lua_settable(L, -3);
    }
    return 1;
}

int SelectItem(lua_State* L) {
    Action a(L, 2);
    if (a.find()) {
        if (CThumbsListCtrl* list = a.list()) {
            const int i = a.index(2), count = itemCount(list);
            if (a.number(2) == -1) {
                for (int k = 0; k < count; ++k)
                    list->SetItemState(k, 0, LVIS_SELECTED | LVIS_FOCUSED);
            } else if (i >= 0 && i < count) {
                list->SetItemState(i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            }
            list->CheckSelectionChange();
        }
    }
    return a.finish(0);
}

int SetItemLabel(lua_State* L) {
    Action a(L, 3);
    const char* label = CheckStringArg(L, 3);
    if (a.find()) {
        if (CThumbsListCtrl* list = a.list()) {
            const int i = a.index(2);
            CThumbItem* item = i >= 0 && i < itemCount(list) ? itemAt(list, i) : nullptr;
            if (item != nullptr) {
                item->label = label;
                list->SetItemText(i, 0, label);
                list->SendMessage(LVM_UPDATE, static_cast<WPARAM>(i), 0);
                list->SortByLabel();
            }
        }
    }
    return a.finish(0);
}

// The four size and spacing actions differ only in the field they set.
template <int gallimo::GallimoProperties::*Field> int setLayout(lua_State* L) {
    Action a(L, 2);
    if (a.find() && a.object->m_listCtrl != nullptr) {
        a.object->m_properties.*Field = a.number(2);
        a.object->RebuildThumbnails();
    }
    return a.finish(0);
}

const luaL_Reg kActions[] = {
    {"AddFiles", AddFiles},
    {"Clear", Clear},
    {"DeleteItem", DeleteItem},
    {"GetItemCount", GetItemCount},
    {"GetItemInfo", GetItemInfo},
    {"GetSelectedItems", GetSelectedItems},
    {"SelectItem", SelectItem},
    {"SetItemLabel", SetItemLabel},
    {"SetThumbWidth", setLayout<&gallimo::GallimoProperties::thumbWidth>},
    {"SetThumbHeight", setLayout<&gallimo::GallimoProperties::thumbHeight>},
    {"SetVSpacing", setLayout<&gallimo::GallimoProperties::verticalSpacing>},
    {"SetHSpacing", setLayout<&gallimo::GallimoProperties::horizontalSpacing>},
};

} // namespace

void RegisterActions(lua_State* L) {
    if (L == nullptr) return;
    lua_getglobal(L, "Gallimo");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_setglobal(L, "Gallimo");
    }
    for (const luaL_Reg& r : kActions) {
        lua_pushstring(L, r.name);
        lua_pushcfunction(L, r.func);
        lua_settable(L, -3);
    }
}

} // namespace gallimo
