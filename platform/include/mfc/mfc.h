// Everything of the MFC stand-in that the system's code includes.
#pragma once

#include "mfc/app.h"
#include "mfc/collections.h"
#include "mfc/controls.h"
#include "mfc/dialog.h"
#include "mfc/dialogcontrols.h"
#include "mfc/gdi.h"
#include "mfc/geometry.h"
#include "mfc/msgmap.h"
#include "mfc/object.h"
#include "mfc/string.h"
#include "mfc/wnd.h"
