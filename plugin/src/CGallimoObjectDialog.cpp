#include "CGallimoObject.h"
#include "CPropertiesDlg.h"

#include <string>

int CGallimoObject::ShowPropertiesDialog(const char* helpFolder) {
    std::string help = helpFolder != nullptr ? helpFolder : "";
    while (!help.empty() && help.back() == '\\')
        help.pop_back();
    help += "\\Gallimo.htm";
    return gallimo::EditProperties(m_properties, help.c_str());
}
