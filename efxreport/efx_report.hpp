#pragma once
// The job of ferrowin: tests the opened device for EFX and prints the
// capability report (slots, sends, effect types, filter types).

// Runs once with the chosen device's context current; reads deviceHandle.
// Every OpenAL object it creates it deletes again before it returns.
void efx_report_job();
