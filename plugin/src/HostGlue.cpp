#include "HostGlue.h"

#include "Saturating.h"
#include "win32/win32.h"

#include <cstdint>
#include <cstring>
#include <lua.hpp>
#include <string>

namespace gallimo {
namespace {

constexpr std::size_t kErrorHalf = 1024;

// Pushes Table.function, or pops whatever was found and says there is nothing to call.
bool pushHostFunction(lua_State* L, const char* table, const char* function) {
    if (L == nullptr) return false;
    lua_pushstring(L, table);
    lua_gettable(L, LUA_GLOBALSINDEX);
    if (lua_type(L, -1) != LUA_TTABLE) {
        lua_remove(L, -1);
        return false;
    }
    lua_pushstring(L, function);
    lua_gettable(L, -2);
    lua_remove(L, -2);
    if (lua_type(L, -1) == LUA_TFUNCTION) return true;
    lua_remove(L, -1);
    return false;
}

// The one discipline of every host call: arguments already pushed above the function, a
// protected call without a handler, and a failure or a result popped before returning.
template <class Read> void callHost(lua_State* L, int arguments, int results, Read read) {
    if (lua_pcall(L, arguments, results, 0) != 0) {
        lua_remove(L, -1);
        return;
    }
    if (results > 0) {
        read();
        lua_remove(L, -1);
    }
}

void callHost(lua_State* L, int arguments) {
    callHost(L, arguments, 0, [] {});
}

[[noreturn]] void raiseArgumentError(lua_State* L, const char* message) {
    char buffer[2 * kErrorHalf];
    lstrcpynA(buffer, message, static_cast<int>(kErrorHalf));
    FormatSyntaxError(L, buffer, buffer + kErrorHalf);
    lua_pushstring(L, buffer + kErrorHalf);
    lua_error(L);
    __builtin_unreachable(); // lua_error unwinds to the host's protected call
}

} // namespace

void SetHostLastError(lua_State* L, int code) {
    if (!pushHostFunction(L, "Application", "SetLastError")) return;
    lua_pushnumber(L, code);
    callHost(L, 1);
}

void ResetHostLastError(lua_State* L) {
    if (!pushHostFunction(L, "Application", "ResetLastError")) return;
    callHost(L, 0);
}

void DoHostAutoTab(lua_State* L, bool forward) {
    if (!pushHostFunction(L, "Page", "DoAutoTab")) return;
    lua_pushboolean(L, forward ? 1 : 0);
    callHost(L, 1);
}

void FormatSyntaxError(lua_State* L, const char* message, char* out) {
    // Without the host's formatter the message itself is raised.
    lstrcpynA(out, message, static_cast<int>(kErrorHalf));
    if (!pushHostFunction(L, "Debug", "GetSyntaxErrorString")) return;
    lua_pushstring(L, message);
    callHost(L, 1, 1, [&] {
        const char* text = lua_tostring(L, -1);
        if (text == nullptr) return;
        if (std::strlen(text) < kErrorHalf)
            std::strcpy(out, text);
        else
            std::strcpy(out, "Formatted error string is too long for buffer.");
    });
}

void FireHostEvent(lua_State* L, const void* object, const char* eventName,
                   const char* argumentText) {
    if (!pushHostFunction(L, "Page", "FireEvent")) return;
    lua_pushnumber(L, static_cast<lua_Number>(reinterpret_cast<std::uintptr_t>(object)));
    lua_pushstring(L, eventName);
    lua_pushstring(L, argumentText);
    callHost(L, 3);
}

void CheckArgCount(lua_State* L, int n) {
    if (lua_gettop(L) >= n) return;
    char message[kErrorHalf];
    wsprintfA(message, "%d arguments required.", n);
    raiseArgumentError(L, message);
}

const char* CheckStringArg(lua_State* L, int i) {
    if (const char* text = lua_tostring(L, i)) return text;
    char message[kErrorHalf];
    wsprintfA(message, "Argument %d must be a string.", i);
    raiseArgumentError(L, message);
}

double GetNumberArg(lua_State* L, int i) {
    return lua_tonumber(L, i);
}

int getIntegerArg(lua_State* L, int i) {
    return saturatingInt(GetNumberArg(L, i));
}

CPluginObject* GetPluginObject(lua_State* L, const char* name) {
    if (L == nullptr) return nullptr;
    if (!pushHostFunction(L, "Page", "GetPluginObjectPtr")) return nullptr;
    lua_pushstring(L, name);
    CPluginObject* object = nullptr;
    callHost(L, 1, 1, [&] {
        // The whole address travels in the number: a user-space pointer fits exactly.
        if (lua_isnumber(L, -1))
            object = reinterpret_cast<CPluginObject*>(
                static_cast<std::uintptr_t>(static_cast<std::int64_t>(lua_tonumber(L, -1))));
    });
    return object;
}

char* ResolveSourcePath(lua_State* L, const char* name, char* out) {
    std::string folder;
    if (L != nullptr) {
        lua_pushstring(L, "_SourceFolder");
        lua_gettable(L, LUA_GLOBALSINDEX);
        if (lua_isstring(L, -1)) folder = lua_tostring(L, -1);
        lua_remove(L, -1);
    }

    const char* result = name;
    char joined[kPathBuffer];
    const std::size_t nameLength = std::strlen(name);
    if (nameLength > 0 && folder.size() > 2) {
        if (folder.back() != '\\') folder += '\\';
        // Only a join that fits whole is tried: a cut one could name another file.
        if (folder.size() + nameLength < sizeof joined) {
            std::memcpy(joined, folder.data(), folder.size());
            std::memcpy(joined + folder.size(), name, nameLength + 1);
            if (_access(joined, 0) == 0) result = joined;
        }
    }
    // A name too long for the buffer names no file: cut, it could name another one.
    if (std::strlen(result) >= kPathBuffer) result = "";
    lstrcpynA(out, result, static_cast<int>(kPathBuffer));
    return out;
}

} // namespace gallimo
