#pragma once

class QDialog;

// Ending the program on request: the request takes effect when control returns to the event
// loop; until then every modal window asked to show returns Cancel at once.
void RequestTermination();
bool TerminationRequested();
void ResetTerminationForTests();

// exec() of a modal window, or QDialog::Rejected at once once termination was requested.
int ExecModal(QDialog& dialog);
