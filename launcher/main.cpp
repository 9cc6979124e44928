// Autorun: the start program of an installation medium.
#include "launcher/Launcher.h"

int main() { return kv::LauncherMain(); }
