// Everything of the Win32 stand-in that the system's code includes.
#pragma once

#include "win32/commdlg.h"
#include "win32/commonctrls.h"
#include "win32/controls.h"
#include "win32/dialogs.h"
#include "win32/files.h"
#include "win32/gdi.h"
#include "win32/icons.h"
#include "win32/kernel.h"
#include "win32/metafile.h"
#include "win32/module.h"
#include "win32/resources.h"
#include "win32/shell.h"
#include "win32/types.h"
#include "win32/user.h"
