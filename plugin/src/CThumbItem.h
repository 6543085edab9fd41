// One thumbnail's record: what the list shows and what the scripts ask about.
#pragma once

#include "mfc/mfc.h"
#include "win32/win32.h"

class CThumbItem : public CObject {
public:
    CThumbItem() = default;
    ~CThumbItem() override = default;

    CString path;
    CString fileName;
    CString fileTitle;
    CString label;
    UINT imageWidth = 0;
    UINT imageHeight = 0;
    int imageBitsPerPixel = 0;
    int imageIndex = -1;
};
