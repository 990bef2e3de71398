// The program: start-up, the one-second main loop, and the orderly end.
//
// PackvaultMain is the whole of main (app/main.cc only forwards to it):
//   1. the machine-wide library lock "ZRCRITSEC";
//   2. the log handler ("Packvault.log"), registered with SetLog;
//   3. InitApp: banner, server link and controller, arguments, connection,
//      main settings; then the copiers, the check period, their databases,
//      the interval in progress and the first disk-usage refresh;
//   4. one pass per second: shutdown object, one key (ESC ends the loop
//      unless the command line was exactly "<projectfile> /Esc", compared
//      without case), SIGINT/SIGTERM, and every passes-per-check passes the
//      clock check (a forced run instead while the last zip run failed);
//   5. a forced run for the interval in progress, ExitApp, the log handler.
// Exit code 0 after a loop end, 1 when start-up failed (then without a
// forced run).
#ifndef PV_APP_APP_MAIN_H_
#define PV_APP_APP_MAIN_H_

// Creates the server link and the controller (reached through GetEciObjects
// and GetZipData), checks the arguments, connects and reads the main
// settings. False ends the program with exit code 1.
bool InitApp(int argc, char** argv);

// Releases what InitApp and the run created, in order; safe after a failed
// InitApp.
void ExitApp();

int PackvaultMain(int argc, char** argv);

#endif  // PV_APP_APP_MAIN_H_
