#pragma once
// The Outlook Bar: the explorer's shortcut pane, its groups and their shortcuts. Groups and
// shortcuts belong to the profile (they are there again at the next start); whether the pane
// shows belongs to the explorer.
#include "platform/com/dispatchobject.h"
#include "platform/outlook/explorer.h"

namespace outlook {

// The "OutlookBar" pane of an explorer (Name, Visible, Contents.Groups).
com::ComPtr<IDispatch> MakeOutlookBarPane(com::ComPtr<ExplorerObject> explorer);

}  // namespace outlook
