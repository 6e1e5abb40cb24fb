#include "base/context.h"

SetupContext setupContext = {};

InstallOptions installOptions = {"C:\\Program Files\\Velk Modular", {0, 0, 0, 0, 0, 0, 0}, 1, 0};
