#pragma once
// What every step of a run does at its end.

// A stop point: when the run has been stopped, logs "安装中断！" and gives
// true, and the worker ends.
bool stop_point();

// Ends the run after a failed step; the worker ends right after.
void abandon_run();

// Logs the text of string `id`.
void log_string(int id);
