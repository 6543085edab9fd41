// The twelve script actions, registered in the host's Lua state as the table Gallimo.
#pragma once

struct lua_State;

namespace gallimo {

// Reuses an existing global Gallimo table and replaces its functions; leaves the table on the
// top of the stack.
void RegisterActions(lua_State* L);

inline constexpr int kNotAGallimoObject = 1100;

} // namespace gallimo
