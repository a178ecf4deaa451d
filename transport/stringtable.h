#pragma once
// The string table of the deliverable: resources/vlrAddin/strings.txt, "number<TAB>text" lines,
// compiled in.
#include <QString>

// The text of string `id`; empty when the table has none.
QString LoadResString(int id);

// The numbers the transport's dialogs use.
namespace ids {
inline constexpr int kStatusPane0 = 9014;       // the progress pane's indicator (one blank)
inline constexpr int kStatusPane1 = 9013;       // the text pane's indicator (one blank)
inline constexpr int kOperationFailed = 9015;   // "Operation Failed!"
inline constexpr int kCredentialsRejected = 9020;
}  // namespace ids
