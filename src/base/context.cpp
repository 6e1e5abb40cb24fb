#include "base/context.h"

SetupContext setupContext = {};

InstallOptions installOptions = {"C:\\Program Files\\Velk Modular", {0, 0, 0, 0, 0, 0, 0}, 1, 0};

RunSwitches runSwitches = {};

int32_t runFailure = 0;
