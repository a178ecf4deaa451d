#pragma once
// The event interfaces that Outlook, Office and Word objects source through connection points,
// with the dispatch ids of their events, and the interface ids clients ask objects for.
#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

namespace outlook {

// Outlook.
inline constexpr IID IID_ApplicationEvents = com::GuidLiteral("0006304E-0000-0000-C000-000000000046");
inline constexpr IID IID_ExplorerEvents = com::GuidLiteral("0006304F-0000-0000-C000-000000000046");
inline constexpr IID IID_InspectorsEvents = com::GuidLiteral("00063079-0000-0000-C000-000000000046");
inline constexpr IID IID_InspectorEvents = com::GuidLiteral("0006307D-0000-0000-C000-000000000046");
inline constexpr IID IID_ExplorersEvents = com::GuidLiteral("00063078-0000-0000-C000-000000000046");
inline constexpr IID IID_ItemEvents = com::GuidLiteral("0006302B-0000-0000-C000-000000000046");
inline constexpr IID IID_ItemsEvents = com::GuidLiteral("00063077-0000-0000-C000-000000000046");
inline constexpr IID IID_PropertyPages = com::GuidLiteral("00063080-0000-0000-C000-000000000046");

// ApplicationEvents.
constexpr DISPID DISPID_OptionsPagesAdd = 0xF005;
// ExplorerEvents.
constexpr DISPID DISPID_ExplorerActivate = 0xF001;
constexpr DISPID DISPID_FolderSwitch = 0xF002;
constexpr DISPID DISPID_BeforeFolderSwitch = 0xF003;
constexpr DISPID DISPID_SelectionChange = 0xF007;
constexpr DISPID DISPID_ExplorerClose = 0xF008;
// InspectorsEvents and ExplorersEvents.
constexpr DISPID DISPID_NewInspector = 0xF001;
constexpr DISPID DISPID_NewExplorer = 0xF001;
// InspectorEvents.
constexpr DISPID DISPID_InspectorActivate = 0xF001;
constexpr DISPID DISPID_InspectorClose = 0xF008;
// ItemEvents.
constexpr DISPID DISPID_ItemOpen = 0xF003;
constexpr DISPID DISPID_ItemClose = 0xF004;
constexpr DISPID DISPID_ItemWrite = 0xF00A;
// ItemsEvents.
constexpr DISPID DISPID_ItemAdd = 0xF001;
constexpr DISPID DISPID_ItemChange = 0xF002;
constexpr DISPID DISPID_ItemRemove = 0xF003;

// Office command-bar buttons.
inline constexpr IID IID_CommandBarButtonEvents = com::GuidLiteral("000C0351-0000-0000-C000-000000000046");
constexpr DISPID DISPID_Click = 1;

// Word.
inline constexpr IID IID_WordApplicationEvents2 = com::GuidLiteral("000209FE-0000-0000-C000-000000000046");
constexpr DISPID DISPID_WindowActivate = 10;
constexpr DISPID DISPID_WindowDeactivate = 11;

// Class ids of the creatable applications.
inline constexpr CLSID CLSID_OutlookApplication = com::GuidLiteral("0006F03A-0000-0000-C000-000000000046");
inline constexpr CLSID CLSID_WordApplication = com::GuidLiteral("000209FF-0000-0000-C000-000000000046");

}  // namespace outlook
