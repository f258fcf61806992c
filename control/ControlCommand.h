#pragma once

// Whether the arguments name a subcommand (or ask for help or the version); anything else,
// such as Qt's own -platform, is for the tray application.
bool isControlCommand(int argc, char **argv);

// `korvella SUBCOMMAND …`: drives the tray application (or holds locks itself) from a
// terminal or a script, with no display needed. Returns the process's exit status.
int runControlCommand(int argc, char **argv);
