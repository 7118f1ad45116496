// The launch hooks pointed at the desktop (Qt): the program installs them when it starts.
#pragma once
#include "app/core/Launcher.h"

TLaunchHooks DesktopLaunchHooks();
// Points every unset launch hook at the desktop.
void InstallDesktopLaunchHooks();
// Points the explorer widgets' shell operations ("open", "run", ...) at the launch hooks.
void InstallShellLaunch();
