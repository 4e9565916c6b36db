// Interim command handlers of the message screen, in use until the compose
// file defines the full ones and removes them from here.
#include "shortmsg.h"

#include "jetdatabase.h"
#include "smsdatabase.h"
#include "srclist.h"
#include "zorqmmidoc.h"

#include <QPushButton>

// ---- Compose, open and send ----------------------------------------------------------------------

void CShortMsg::OnBCompose() {}
void CShortMsg::OnBOpen() {}
void CShortMsg::OnBReadNew() {}
