// The plug-in's only way to the host: each function calls one Lua function of the host's
// globals in the host's state and leaves the stack as it found it. Without a state (none
// given yet) every call is a quiet no-op.
#pragma once

#include <cstddef>

struct lua_State;
class CPluginObject;

namespace gallimo {

void SetHostLastError(lua_State* L, int code);
void ResetHostLastError(lua_State* L);
void DoHostAutoTab(lua_State* L, bool forward);
// The message as the host formats script errors, into `out` (at least 1024 bytes).
void FormatSyntaxError(lua_State* L, const char* message, char* out);
void FireHostEvent(lua_State* L, const void* object, const char* eventName,
                   const char* argumentText);

// Argument checks of the script actions; a failed check raises a Lua error and does not return.
void CheckArgCount(lua_State* L, int n);
const char* CheckStringArg(lua_State* L, int i);
double GetNumberArg(lua_State* L, int i);
// A script's number as an int: truncated toward zero, held to the int range, NaN as 0.
int getIntegerArg(lua_State* L, int i);

CPluginObject* GetPluginObject(lua_State* L, const char* name);
// The name joined to the host's source folder when that file exists, else the name; empty when
// the path would not fit in kPathBuffer.
char* ResolveSourcePath(lua_State* L, const char* name, char* out);

inline constexpr std::size_t kPathBuffer = 260;

} // namespace gallimo
