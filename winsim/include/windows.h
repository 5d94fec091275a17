// Host stand-in for <windows.h>: only what VeskInfo uses, with Windows' data model.
#pragma once
#include "winsim/base.h"
#include "winsim/kernel.h"
#include "winsim/ole.h"
#include "winsim/registry.h"
