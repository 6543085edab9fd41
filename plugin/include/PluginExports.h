// The plug-in's exports, bound by name by the host.
#pragma once

#include "CPluginObject.h"

// Only these leave the module; everything else is hidden.
#define QVPLG_EXPORT __attribute__((visibility("default")))

extern "C" {

QVPLG_EXPORT CPluginObject* qvPlg_Object_CreateObject();
QVPLG_EXPORT void qvPlg_Object_DeleteObject(CPluginObject* object);
QVPLG_EXPORT int qvPlg_GetPluginName(char* buffer, int* length);
QVPLG_EXPORT int qvPlg_GetPluginVersion(char* buffer, int* length);
QVPLG_EXPORT int qvPlg_GetQVPluginObjectVersion();
QVPLG_EXPORT int qvPlg_GetAuthorInfo(char* buffer, int* length);
QVPLG_EXPORT int qvPlg_GetPluginActionXML(char* buffer, int* length);
QVPLG_EXPORT const char* qvPlg_GetLuaVersion();
QVPLG_EXPORT int qvPlg_GetDependencies(char* buffer, int* length);
QVPLG_EXPORT BOOL qvPlg_ShowHelpForAction(const char* actionName, const char* folder, HWND owner);
QVPLG_EXPORT BOOL qvPlg_ShowHelpForPlugin(const char* folder, HWND owner);

} // extern "C"
