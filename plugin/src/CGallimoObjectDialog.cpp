#include "CGallimoObject.h"

// The properties dialog arrives with its own window classes; until then the object keeps its
// settings, as after Cancel.
int CGallimoObject::ShowPropertiesDialog(const char*) { return 0; }
