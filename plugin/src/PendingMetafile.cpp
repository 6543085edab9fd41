// BRANCH ONLY: stands in until the metafile loader is merged; removed before landing.
#include "imgcore.h"
extern "C" BYTE* loadMetafile(const char*, int*, int*, int, int, COLORREF, int) { return nullptr; }
