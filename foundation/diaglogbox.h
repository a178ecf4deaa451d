#pragma once
// Routes the diagnostic log's message-box output (flag 32) to a Qt message box captioned
// "Vellora" when the process runs a QApplication; without one the output is dropped.
void InstallDiagLogMessageBox();
