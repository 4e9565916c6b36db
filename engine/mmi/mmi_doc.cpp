#include "mmi_doc.h"

MmiDoc* gv_pDoc = nullptr;
