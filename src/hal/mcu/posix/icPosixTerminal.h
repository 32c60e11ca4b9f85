// The console's terminal and the process's signal dispositions on POSIX.
//
// The terminal on standard input is in the console mode while the program
// runs and gets its own settings back on every way out: the orderly end, a
// fatal error, and every signal whose default action ends the process, after
// which that signal takes its course (no orderly stop, no exit status of our
// own). Ctrl-Z gives the terminal back before the process stops; when it is
// continued in the foreground the console mode comes back. A signal that was
// ignored when the process started stays ignored: nohup and service managers
// rely on it.
#pragma once

// Keys one by one, no echo (the shell echoes), Enter as a carriage return,
// Ctrl-C still a signal. Does nothing when standard input is not a terminal
// or the mode is on already.
void icPosixTerminalEnter();
// Gives the terminal the settings it had before icPosixTerminalEnter, for
// good. Async-signal-safe.
void icPosixTerminalRestore();

// Installs the process's dispositions, once: `onStop` for SIGINT, SIGTERM and
// SIGHUP (each blocks the others while it runs; a process that has not ended
// a second after the first of them ends with that signal's default action),
// `onContinue` after the
// process was continued (SIGCONT; the console mode is back by then), SIGPIPE
// ignored, and the terminal restored before any signal whose default action
// ends or stops the process. Both callbacks run in a signal handler.
void icPosixSignalsInstall(void (*onStop)(int signo), void (*onContinue)());
